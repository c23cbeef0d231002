#pragma once
// An emulated programmer as the only attached device, a sink that records what a job shows, and
// the jobs' images built for a catalogue model.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/jobs/job.hpp"
#include "device/jobs/sink.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "tests/support/temp_home.hpp"

namespace usbjobstest {

namespace ep = emulator::programmer;

struct LogEntry {
  std::string line;
  base::LogColour colour;
};

class RecordingSink : public usbjobs::UsbJobSink {
 public:
  void onLog(const std::string& line, base::LogColour colour) override { log.push_back({line, colour}); }
  void onProgress(int percent) override {
    progress.push_back(percent);
    if (onPercent) onPercent(percent);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    messages.push_back(caption + ": " + text);
    lastIcon = icon;
  }
  void onPowerButton(usbjobs::PowerIcon icon, const std::string& caption) override { power.emplace_back(icon, caption); }
  void onControlsEnabled(bool enabled) override { controls.push_back(enabled); }

  bool has(const std::string& line) const;
  bool hasError(const std::string& line) const;
  // Every line, one per row, for failure messages.
  std::string text() const;

  std::vector<LogEntry> log;
  std::vector<int> progress;
  std::vector<std::string> messages;
  base::MessageIcon lastIcon = base::MessageIcon::Information;
  std::vector<std::pair<usbjobs::PowerIcon, std::string>> power;
  std::vector<bool> controls;
  std::function<void(int)> onPercent;
};

class Rig {
 public:
  explicit Rig(ep::Config config = {});
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  // No device at all on the bus.
  void detach() { attached_ = false; }

  // Request ids the programmer was sent, in order, and those of one command.
  std::vector<std::uint8_t> ids() const;
  std::vector<ep::LoggedExchange> requests(std::uint8_t id) const;
  bool targetPowered();
  // Whether a transport the jobs were handed is still open.
  bool anyTransportOpen() const;
  std::vector<std::uint8_t> targetFlash(std::size_t from, std::size_t n);

  testsupport::TempHome home;
  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::atomic<bool> running{true};

 private:
  int provider_;
  bool attached_ = true;
  std::vector<std::weak_ptr<qx::Interface>> handedOut_;
};

// An image of the model's flash size with `dataLength` bytes of a pattern at 0 and `programLength`
// as the loader would have set it.
usbjobs::UsbJob jobFor(const std::string& model, std::size_t dataLength, std::int64_t programLength);

// Little-endian fields of a logged request.
std::uint32_t u32(const qx::Bytes& b, std::size_t at);
std::uint16_t u16(const qx::Bytes& b, std::size_t at);

inline constexpr std::uint8_t kConnect = 0x08;
inline constexpr std::uint8_t kDisconnect = 0x09;
inline constexpr std::uint8_t kErase = 0x0B;
inline constexpr std::uint8_t kBurn = 0x0C;
inline constexpr std::uint8_t kVerify = 0x0D;
inline constexpr std::uint8_t kWriteCache = 0x0F;
inline constexpr std::uint8_t kScreen = 0x10;
inline constexpr std::uint8_t kPower = 0x11;
inline constexpr std::uint8_t kEvent = 0x13;
inline constexpr std::uint8_t kSetLimit = 0x6C;
inline constexpr std::uint8_t kGetLimit = 0x6D;
inline constexpr std::uint8_t kLimitInc = 0x6E;

}  // namespace usbjobstest
