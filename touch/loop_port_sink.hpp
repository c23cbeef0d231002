#pragma once
// The port's side of a serial touch link run on a base::EventLoop (the command line, tests, the
// bench): the reader thread's bytes, messages and error flag are posted to the loop in order and
// handed to the transport there, as the window's bridge does on its user-interface thread.
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/event_loop.hpp"
#include "base/report.hpp"
#include "isp/serial_port.hpp"
#include "touch/serial_transport.hpp"

namespace touch {

class LoopPortSink final : public isp::SerialPortSink {
 public:
  LoopPortSink(base::EventLoop& loop, base::Reporter& reporter) : loop_(loop), reporter_(reporter) {}
  // The transport that takes the bytes, set once it exists; null drops them.
  void attach(SerialTransport* transport) { transport_ = transport; }

  void onSerialByte(std::uint8_t byte) override;
  void onSerialMessage(const isp::SerialMessage& message) override;
  void onSerialErrorChanged(bool error) override;

 private:
  void drain();

  base::EventLoop& loop_;
  base::Reporter& reporter_;
  SerialTransport* transport_ = nullptr;
  std::mutex mutex_;
  std::vector<std::uint8_t> pending_;
};

}  // namespace touch
