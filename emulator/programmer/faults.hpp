#pragma once
// Faults the emulated programmer can be told to show, for tests of the host's reply handling:
// silence, another echoed id, a chosen status, a short input report, a reply altered at will, a
// reply lost after the device acted, a reply that comes late (during the next exchange), a slow
// reply, and the device unplugged after a number of exchanges or during an erase. The same faults
// can be written as text (`qubrix-emulator --set fault=...`), so tests of the built programs use them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/interface.hpp"

namespace emulator::programmer {

enum class FaultKind {
  Silence,      // the request is lost: no reply, the device does nothing
  WrongId,      // the reply echoes `value` as its id
  Status,       // the command is refused with status `value` and not carried out
  ShortReport,  // only the first `value` bytes of the input report arrive
  Tamper,       // `tamper` edits the reply (deciphered) before it is sent
  Lost,         // the device acts, but its reply never arrives
  Late,         // the device acts; its reply arrives only after the next request
  Delay,        // the reply arrives `value` milliseconds after the request
  UnplugOnErase,  // the device starts an erase (ID_EraseTgtFlash unless told) and drops off the bus
};

struct Fault {
  FaultKind kind = FaultKind::Silence;
  std::optional<std::uint8_t> command;  // none: any command
  unsigned value = 0;
  int times = 1;  // exchanges it applies to; negative: every one
  std::function<void(qx::Bytes&)> tamper;
};

class FaultPlan {
 public:
  // The faults written as text: items separated by ',', each KIND[:VALUE][@COMMAND][*TIMES] with
  // KIND one of silence, wrong-id, status, short, lost, late, delay, unplug-on-erase and
  // unplug-after (VALUE exchanges), COMMAND the command id in hex and TIMES a count or "all"
  // (default 1). "none" or an empty text is no fault. Nothing, with a reason in `error`, for a text
  // that does not read.
  static std::optional<FaultPlan> parse(std::string_view text, std::string& error);

  void add(Fault fault) { faults_.push_back(std::move(fault)); }
  // The faults for this request, each used up once; at most one of each kind.
  std::vector<Fault> take(std::uint8_t command);
  // The device drops off the bus after `exchanges` more exchanges: the next request fails.
  void unplugAfter(int exchanges) { unplugAfter_ = exchanges; }
  // Counts one request; true when the device is to drop off the bus instead of taking it.
  bool unplugNow();
  bool empty() const { return faults_.empty() && unplugAfter_ < 0; }

 private:
  std::vector<Fault> faults_;
  int unplugAfter_ = -1;
};

}  // namespace emulator::programmer
