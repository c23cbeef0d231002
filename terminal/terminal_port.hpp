#pragma once
// The serial line as the terminal sees it: the window's shared port, the panel's own, or the
// command line's. Messages about the line itself ("串口通信出错", a driver problem) are the port's
// to show; the terminal only asks.
#include <cstdint>
#include <span>
#include <string>

namespace terminal {

class TerminalPort {
 public:
  virtual ~TerminalPort() = default;
  // The device path and rate the next open() uses.
  virtual void setLine(const std::string& path, std::uint32_t baud) = 0;
  virtual std::string path() const = 0;
  virtual std::uint32_t baud() const = 0;
  virtual bool open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Set after a failed write or a vanished line (an adapter pulled) until the next write.
  virtual bool hasError() const = 0;
  // Queues all of `bytes`, in order after earlier writes, whatever their length.
  virtual bool write(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace terminal
