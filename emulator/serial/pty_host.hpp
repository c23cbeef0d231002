#pragma once
// Serves one emulated device on a pseudo-terminal, in real time, from a thread of its own. The host
// side opens the slave by its path like any serial port. Bytes take their wire time at the
// device's current rate (10 bits each): a request counts as arrived when its last byte would have,
// and an answer reaches the host when its bytes would have crossed the line. A byte sent at a rate
// other than the device's is lost on the way in and turns into 0x00 on the way out, so the host
// must really reopen its port at the rate the device switched to.
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulator/serial/device.hpp"
#include "isp/frames.hpp"

namespace emulator::serial {

struct Exchange {
  enum class Direction { ToDevice, FromDevice };
  Direction direction;
  isp::Frame bytes;
  std::uint32_t rate;
  std::chrono::steady_clock::time_point at;  // when it was recognised, or queued
};

struct HostOptions {
  bool pacing = true;
  // Silence after which the device ends a session it was left in.
  std::chrono::milliseconds idleTimeout{2000};
};

class PtyHost {
 public:
  explicit PtyHost(std::unique_ptr<SerialDevice> device, HostOptions options = {});
  ~PtyHost();
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  // Makes the pseudo-terminal and starts serving; false when no pseudo-terminal could be made.
  bool start();
  void stop();

  // The slave's path, e.g. /dev/pts/7.
  const std::string& path() const { return path_; }
  const char* productName() const { return device_->productName(); }
  bool unplugged() const;
  std::uint32_t deviceRate() const;
  // Bytes lost because they came at a rate other than the device's.
  std::size_t garbledBytes() const;
  // Bytes the device sent that the pseudo-terminal could not take (a host that reads too slowly).
  std::uint64_t overflowedBytes() const;
  // Whether the device's target board is powered; nothing for a device without one, or before it
  // first switched it.
  std::optional<bool> targetPowered() const;

  std::vector<Exchange> exchanges() const;
  // The requests the device recognised, in order.
  std::vector<isp::Frame> requests() const;
  void clearExchanges();

  // Runs `f` on the device between two of its steps (to look at its flash or change a fault).
  template <class F>
  void withDevice(F&& f) {
    std::lock_guard lock(mutex_);
    f(*device_);
  }

 private:
  class HostWire;
  using Clock = std::chrono::steady_clock;
  struct TxItem {
    isp::Frame bytes;
    std::uint32_t rate;
    Clock::time_point notBefore;
    bool started = false;
    Clock::time_point start{};
    std::size_t written = 0;
  };

  void run();
  void receive(Clock::time_point now);
  void transmit(Clock::time_point now, std::uint32_t hostRate);
  Clock::time_point nextWake(Clock::time_point now) const;
  std::chrono::nanoseconds byteTime(std::uint32_t rate) const;
  void record(Exchange::Direction direction, isp::Bytes bytes);
  void closeLine();

  std::unique_ptr<SerialDevice> device_;
  std::unique_ptr<HostWire> wire_;
  HostOptions options_;
  std::string path_;
  int master_ = -1;
  int slave_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
  bool stopping_ = false;

  mutable std::mutex mutex_;
  std::uint32_t rate_ = 0;
  std::uint32_t hostRate_ = 0;
  bool autobaud_ = false;
  Clock::time_point rxFreeAt_{};
  Clock::time_point deviceFreeAt_{};
  Clock::time_point cursor_{};
  Clock::time_point txFreeAt_{};
  Clock::time_point lastActivity_{};
  std::deque<TxItem> tx_;
  std::deque<Exchange> log_;
  std::size_t garbled_ = 0;
  std::uint64_t lost_ = 0;
  std::optional<bool> targetPowered_;
  bool unplugRequested_ = false;
  bool unplugged_ = false;
};

}  // namespace emulator::serial
