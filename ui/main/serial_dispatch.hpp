#pragma once
// How a mode's panel takes the bytes of the window's one serial port. The window hands every byte,
// on the user-interface thread and in order, to the consumer registered for the current mode
// (ISP engine in mode 0, touch link in mode 2, serial assistant in mode 3); bytes that arrive in a
// mode without one are dropped.
#include <cstdint>

namespace mainwin {

class SerialByteConsumer {
 public:
  virtual ~SerialByteConsumer() = default;
  virtual void onSerialByte(std::uint8_t byte) = 0;
  // The port layer flagged an error (an adapter pulled, a failed write): end what uses the port.
  virtual void onSerialPortError() {}
};

}  // namespace mainwin
