#pragma once
// A Wire without a line: what a device sends is collected with the processing time before it.
#include <vector>

#include "emulator/serial/device.hpp"

namespace emuserialtest {

class FakeWire final : public emulator::serial::Wire {
 public:
  struct Out {
    isp::Frame bytes;
    std::uint32_t rate;
    emulator::serial::Micros at;  // processing time spent before it
  };

  void send(isp::Bytes bytes) override { out.push_back({isp::Frame(bytes.begin(), bytes.end()), rate_, clock}); }
  void busy(emulator::serial::Micros d) override { clock += d; }
  void setRate(std::uint32_t baud) override { rate_ = baud; }
  std::uint32_t rate() const override { return rate_; }
  void setAutobaud(bool on) override { autobaud = on; }
  std::uint32_t hostRate() const override { return host; }
  void discardQueued() override {
    out.clear();
    ++discards;
  }
  void noteRequest(isp::Bytes frame) override { requests.emplace_back(frame.begin(), frame.end()); }
  void unplug() override { unplugged = true; }

  // Feeds a frame byte by byte and returns what the device sent for it.
  std::vector<isp::Frame> feed(emulator::serial::SerialDevice& device, const isp::Frame& frame) {
    out.clear();
    for (std::uint8_t b : frame) device.onByte(b, *this);
    std::vector<isp::Frame> sent;
    for (const Out& o : out) sent.push_back(o.bytes);
    return sent;
  }

  std::uint32_t rate_ = 1200;
  std::uint32_t host = 1200;
  bool autobaud = false;
  bool unplugged = false;
  int discards = 0;
  emulator::serial::Micros clock{0};
  std::vector<Out> out;
  std::vector<isp::Frame> requests;
};

}  // namespace emuserialtest
