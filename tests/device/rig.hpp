#pragma once
// A host handle on a fresh emulated programmer, with the exchange log at hand.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

#include "device/frame.hpp"
#include "emulator/programmer/emulated_programmer.hpp"

namespace rig {

namespace ep = emulator::programmer;

// The 64-byte payload that begins with `head`.
inline qx::Bytes frame(std::initializer_list<int> head) {
  qx::Bytes f(qx::kReportSize, 0);
  std::size_t i = 0;
  for (int b : head) f[i++] = static_cast<std::uint8_t>(b);
  return f;
}

inline qx::Bytes frame(const qx::Bytes& head) {
  qx::Bytes f = head;
  f.resize(qx::kReportSize, 0);
  return f;
}

// A reply for the Tamper fault: the whole frame replaced.
inline ep::Fault replyWith(qx::Bytes reply, std::optional<std::uint8_t> command = std::nullopt, int times = 1) {
  ep::Fault f;
  f.kind = ep::FaultKind::Tamper;
  f.command = command;
  f.times = times;
  f.tamper = [reply = frame(reply)](qx::Bytes& r) { r = reply; };
  return f;
}

inline ep::Fault fault(ep::FaultKind kind, std::optional<std::uint8_t> command, unsigned value = 0, int times = 1) {
  ep::Fault f;
  f.kind = kind;
  f.command = command;
  f.value = value;
  f.times = times;
  return f;
}

template <typename Handle>
struct Rig {
  explicit Rig(ep::Config config = {}) : device(ep::EmulatedProgrammer::create(std::move(config))) {
    link = device->attach();
    link->open();
    handle = std::make_shared<Handle>(link);
  }

  std::vector<qx::Bytes> requests() const {
    std::vector<qx::Bytes> out;
    for (const auto& e : device->log()) out.push_back(e.request);
    return out;
  }
  // Requests whose id is `id`, in order.
  std::vector<qx::Bytes> requests(std::uint8_t id) const {
    std::vector<qx::Bytes> out;
    for (const auto& e : device->log()) {
      if (e.request[0] == id) out.push_back(e.request);
    }
    return out;
  }
  qx::Bytes lastRequest() const {
    const auto log = device->log();
    return log.empty() ? qx::Bytes{} : log.back().request;
  }
  std::size_t exchanges() const { return device->log().size(); }
  ep::ManualClock& clock() { return static_cast<ep::ManualClock&>(device->clock()); }

  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::shared_ptr<qx::Interface> link;
  std::shared_ptr<Handle> handle;
};

}  // namespace rig
