#pragma once
// The serial port as the touch link uses it: opened at a rate on the chosen port, closed, written
// frame by frame, and the port layer's error flag. The window's CSerialPort, the command line's own
// port and the tests' fake ports stand behind it.
#include <cstdint>
#include <span>
#include <string>

namespace touch {

class SerialLink {
 public:
  virtual ~SerialLink() = default;
  // The port box's entry for this link.
  virtual void setPort(std::string name) = 0;
  // (Re)opens the chosen port at `baud`, 8N1; received bytes reach the transport's onByte in order.
  virtual bool open(std::uint32_t baud) = 0;
  // Ends the port's reader and closes the line.
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual bool send(std::span<const std::uint8_t> frame) = 0;
  // Set by a failed read or write and a vanished adapter.
  virtual bool hasError() const = 0;
  virtual void clearError() = 0;
};

}  // namespace touch
