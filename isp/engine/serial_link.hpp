#pragma once
// IspLink over the window's CSerialPort: the port chosen by path, 8N1, its reader started on open.
#include <string>

#include "isp/engine/sink.hpp"
#include "isp/serial_port.hpp"

namespace isp::engine {

class SerialPortLink final : public IspLink {
 public:
  // `owner` receives the port's bytes and must hand them to the engine's thread in order.
  SerialPortLink(CSerialPort& port, SerialPortSink& owner) : port_(port), owner_(owner) {}

  void setPath(std::string path) { path_ = std::move(path); }
  const std::string& path() const { return path_; }

  bool configured() const override { return !path_.empty(); }
  bool isOpen() const override { return port_.IsOpen(); }
  bool open(std::uint32_t baud) override;
  void close() override { port_.Stop(); }
  bool send(Bytes frame) override { return port_.SendRaw(frame); }
  bool hasError() const override { return port_.HasError(); }

 private:
  CSerialPort& port_;
  SerialPortSink& owner_;
  std::string path_;
};

}  // namespace isp::engine
