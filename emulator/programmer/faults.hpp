#pragma once
// Faults the emulated programmer can be told to show, for tests of the host's reply handling:
// silence, another echoed id, a chosen status, a short input report, a reply altered at will, and
// the device unplugged after a number of exchanges.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/interface.hpp"

namespace emulator::programmer {

enum class FaultKind {
  Silence,      // the request is lost: no reply, the device does nothing
  WrongId,      // the reply echoes `value` as its id
  Status,       // the command is refused with status `value` and not carried out
  ShortReport,  // only the first `value` bytes of the input report arrive
  Tamper,       // `tamper` edits the reply (deciphered) before it is sent
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
  void add(Fault fault) { faults_.push_back(std::move(fault)); }
  // The faults for this request, each used up once; at most one of each kind.
  std::vector<Fault> take(std::uint8_t command);
  // The device drops off the bus after `exchanges` more exchanges: the next request fails.
  void unplugAfter(int exchanges) { unplugAfter_ = exchanges; }
  // Counts one request; true when the device is to drop off the bus instead of taking it.
  bool unplugNow();

 private:
  std::vector<Fault> faults_;
  int unplugAfter_ = -1;
};

}  // namespace emulator::programmer
