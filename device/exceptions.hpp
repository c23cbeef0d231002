#pragma once
// The failures of the programmer layer. Callers catch them (or std::exception) and show what().
#include <exception>
#include <string>

namespace qx {

// Status codes the host tells apart or raises itself.
inline constexpr int kStatusSuccess = 0;
inline constexpr int kStatusFailed = 1;
inline constexpr int kStatusOutOfRange = 11;
inline constexpr int kStatusVerifyFailed = 12;
inline constexpr int kStatusTouchDataLost = 24;
inline constexpr int kStatusNameTooLong = 162;
inline constexpr int kStatusReadTimeout = 165;
// The code of transport errors and id mismatches, which nothing reads.
inline constexpr int kTransportErrorCode = -1;

// The status text in the calling thread's language; codes without a row give "读数据超时。".
std::string statusMessage(int code);

class DeviceException : public std::exception {
 public:
  explicit DeviceException(std::string message, int code = kTransportErrorCode);
  const char* what() const noexcept override { return message_.c_str(); }
  int code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  int code_;
  std::string message_;
};

// A rejected status or a host-side argument limit; the message follows the raising thread's language.
class CommandException : public DeviceException {
 public:
  explicit CommandException(int status);
};

class ReadTimeoutException : public DeviceException {
 public:
  ReadTimeoutException();
};

}  // namespace qx
