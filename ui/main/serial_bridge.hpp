#pragma once
// The window's side of its CSerialPort: the reader thread's bytes, messages and error changes are
// queued to the user-interface thread in order, never blocking the reader.
#include <QObject>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "isp/serial_port.hpp"

namespace mainwin {

class SerialBridge final : public QObject, public isp::SerialPortSink {
 public:
  struct Handlers {
    std::function<void(std::uint8_t)> byte;
    std::function<void(const isp::SerialMessage&)> message;
    std::function<void()> error;
  };

  explicit SerialBridge(Handlers handlers, QObject* parent = nullptr);

  void onSerialByte(std::uint8_t byte) override;
  void onSerialMessage(const isp::SerialMessage& message) override;
  void onSerialErrorChanged(bool error) override;

 private:
  void drain();

  Handlers handlers_;
  std::mutex mutex_;
  std::vector<std::uint8_t> pending_;
};

}  // namespace mainwin
