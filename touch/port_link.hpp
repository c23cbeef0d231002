#pragma once
// The touch link over a CSerialPort: the port chosen by its path, 8N1, its reader started on open.
#include <functional>
#include <string>

#include "isp/serial_port.hpp"
#include "touch/serial_link.hpp"

namespace touch {

class PortLink final : public SerialLink {
 public:
  // `owner` receives the port's bytes and must hand them to the transport's thread in order.
  // `release` runs before an open while the port is still open for someone else (the window's one
  // port, which another mode may have left open).
  PortLink(isp::CSerialPort& port, isp::SerialPortSink& owner, std::function<void()> release = {})
      : port_(port), owner_(owner), release_(std::move(release)) {}

  void setPort(std::string name) override { path_ = std::move(name); }
  bool open(std::uint32_t baud) override;
  void close() override { port_.Stop(); }
  bool isOpen() const override { return port_.IsOpen(); }
  bool send(std::span<const std::uint8_t> frame) override { return port_.SendRaw(frame); }
  bool hasError() const override { return port_.HasError(); }
  void clearError() override { port_.ClearError(); }

 private:
  isp::CSerialPort& port_;
  isp::SerialPortSink& owner_;
  std::function<void()> release_;
  std::string path_;
};

}  // namespace touch
