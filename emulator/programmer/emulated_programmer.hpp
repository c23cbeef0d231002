#pragma once
// The emulated QUBRIX Tool as the host meets it: a device on the bus behind the same qx::Interface
// as the real one. Requests arrive enciphered with the transport key and replies leave enciphered,
// so the host's framing runs unchanged. Every exchange is logged deciphered, faults can be
// injected, and the device can be unplugged. A restart (0xE4) makes it re-enumerate: transports
// attached before are gone, attach() gives a new one with the serial number of the new mode.
//
// Tests create one directly and attach transports; the bench (bench.hpp) keeps one per process
// whose state lives in the state directory.
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "device/interface.hpp"
#include "emulator/programmer/clock.hpp"
#include "emulator/programmer/faults.hpp"
#include "emulator/programmer/programmer_model.hpp"

namespace emulator::programmer {

struct LoggedExchange {
  Bytes request;  // the 64 payload bytes as the device deciphered them
  Bytes reply;    // the 64 bytes it answered, before enciphering; empty when it sent none
};

class EmulatedProgrammer : public std::enable_shared_from_this<EmulatedProgrammer> {
 public:
  // Without a clock, time passes on a manual clock: time-outs cost no real time.
  static std::shared_ptr<EmulatedProgrammer> create(Config config = {}, std::shared_ptr<Clock> clock = nullptr);
  ~EmulatedProgrammer();
  EmulatedProgrammer(const EmulatedProgrammer&) = delete;
  EmulatedProgrammer& operator=(const EmulatedProgrammer&) = delete;

  // A transport as enumeration finds the device now; null while it is unplugged.
  std::shared_ptr<qx::Interface> attach();
  void unplug();
  // Plugging in powers the programmer up again: what it held in RAM is gone.
  void plugIn();

  void addFault(Fault fault);
  void unplugAfter(int exchanges);

  std::vector<LoggedExchange> log() const;
  void clearLog();
  void setLogging(bool on);

  // The device's inner state, for a look or a change between exchanges.
  void inspect(const std::function<void(ProgrammerModel&)>& look);
  Clock& clock() { return *clock_; }

  // Loads the state kept in `dir` (if any) and keeps it there from now on: when the last transport
  // closes, on a restart, when the device is unplugged and when it is destroyed.
  void persistIn(const std::filesystem::path& dir);

  // The transport's side.
  bool isCurrent(unsigned generation) const;
  int send(unsigned generation, const std::uint8_t* report, std::size_t length);
  int receive(unsigned generation, std::uint8_t* buffer, std::size_t length, int timeoutMs);
  void opened();
  void closed();

 private:
  EmulatedProgrammer(Config config, std::shared_ptr<Clock> clock);
  void dropOffBus();
  void saveLocked();

  struct Pending {
    std::array<std::uint8_t, qx::kReportSize> report;
    std::size_t length;
    Millis readyAt{0};  // a slow reply is not there before this time
  };
  // Unplugged, the programmer no longer feeds its target: the target is unpowered.
  void loseBusPower();

  mutable std::mutex mutex_;
  ProgrammerModel model_;
  std::shared_ptr<Clock> clock_;
  FaultPlan faults_;
  std::vector<LoggedExchange> log_;
  bool logging_ = true;
  std::deque<Pending> pending_;
  std::optional<Pending> late_;  // a reply held back until the next request
  unsigned generation_ = 1;
  bool plugged_ = true;
  int openTransports_ = 0;
  std::optional<std::filesystem::path> stateDir_;
};

}  // namespace emulator::programmer
