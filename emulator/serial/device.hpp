#pragma once
// An emulated serial device as the pty host runs it: the model sees one intact byte at a time and
// answers through a Wire, which puts the answer on the line at the device's own rate. Everything
// a model does happens on the host's thread.
#include <chrono>
#include <cstdint>
#include <optional>

#include "isp/frames.hpp"

namespace emulator::serial {

using Micros = std::chrono::microseconds;

class Wire {
 public:
  virtual ~Wire() = default;
  // Queues bytes behind everything queued before, once the processing time of this step is over.
  virtual void send(isp::Bytes bytes) = 0;
  // Processing time (a flash erase, a checksum) before anything this step sends later.
  virtual void busy(Micros duration) = 0;
  // The device's UART rate from now on; bytes already queued keep the rate they were queued at.
  virtual void setRate(std::uint32_t baud) = 0;
  virtual std::uint32_t rate() const = 0;
  // While on, the device takes whatever rate the host's bytes come at (a bootloader measuring its
  // synchronisation bytes); off, bytes at another rate are lost.
  virtual void setAutobaud(bool on) = 0;
  // The rate the host's end is set to, for devices that measure it on the synchronisation bytes.
  virtual std::uint32_t hostRate() const = 0;
  // Drops what is queued and not yet begun (a tool told to stop reporting).
  virtual void discardQueued() = 0;
  // Records a request the device recognised, for tests that assert the exact bytes.
  virtual void noteRequest(isp::Bytes frame) = 0;
  // The cable is pulled: the line goes away once the current step is over.
  virtual void unplug() = 0;
  // A device that powers a target board says when it switches it.
  virtual void noteTargetPower(bool /*on*/) {}
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  virtual std::uint32_t initialRate() const = 0;
  // One byte that arrived intact at the device's rate.
  virtual void onByte(std::uint8_t byte, Wire& wire) = 0;
  // The line came up, or nothing intact arrived for a while and nothing is queued (the device's
  // session time-out): back to waiting for a host.
  virtual void onReset(Wire& wire) = 0;
  // The product name for the port list.
  virtual const char* productName() const = 0;
  // Nothing is left to send: a device that talks by itself queues its next piece here.
  virtual void onSendQueueEmpty(Wire& /*wire*/) {}
  // Whether what the device sends goes into the exchange log; a device that streams by itself
  // would only fill it.
  virtual bool logsWhatItSends() const { return true; }
};

// Requests a device refuses once with a negative acknowledgement.
struct NakFaults {
  std::optional<std::uint32_t> loaderBlock;  // a block of the loader into XDATA
  bool erasePage = false;
  bool erase = false;  // Erase of any area (short frames), EraseApplication (32-bit)
  bool run = false;
};

// Bytes that a noisy line puts in front of an answer; none of them can start one.
inline constexpr std::uint8_t kNoise[] = {0x00, 0xF0, 0x13, 0x7E, 0x00, 0x81, 0x3C, 0xFF};

}  // namespace emulator::serial
