#pragma once
// The report framing every backend shares: report id 0, zero padding to 64 payload bytes, TEA over
// the payload as eight blocks of little-endian words under the transport key, and the read rule
// (three waits of the caller's time-out, traced as "read timeout, retry=%d.").
#include <array>
#include <cstdint>
#include <string>

#include "device/interface.hpp"
#include "firmware/cipher/tea.hpp"

namespace qx {

inline constexpr std::size_t kOutputReportSize = kReportSize + 1;  // with the report id
using OutputReport = std::array<std::uint8_t, kOutputReportSize>;

// The transport key as TEA key words.
const cipher::TeaKey& transportKey();

// Builds the enciphered output report of a payload of at most 64 bytes.
OutputReport encodeReport(const Bytes& payload, const cipher::TeaKey& key);
// In place over 64 bytes.
void encipherPayload(std::uint8_t* payload64, const cipher::TeaKey& key);
void decipherPayload(std::uint8_t* payload64, const cipher::TeaKey& key);

// A backend that moves raw reports; it supplies the three primitives with hidapi's result
// conventions and inherits the framing and the read rule.
class ReportTransport : public Interface {
 public:
  bool write(Bytes payload) final;
  Bytes read(int timeoutMs) final;

 protected:
  ReportTransport();

  // The 65 bytes of one output report; returns -1 on error.
  virtual int sendReport(const std::uint8_t* report, std::size_t length) = 0;
  // Waits up to `timeoutMs` for one input report into `buffer`; -1 error, 0 nothing, else the
  // number of bytes received.
  virtual int receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) = 0;
  virtual std::string lastError() const = 0;

 private:
  cipher::TeaKey key_;
};

}  // namespace qx
