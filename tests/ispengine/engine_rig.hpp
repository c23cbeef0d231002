#pragma once
// The engine on a manual clock with a fake port and a recording sink. Replies are queued by the
// test (or by a responder that looks at each frame sent) and delivered after the engine's call
// returns, as the port's reader would deliver them.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/manual_timers.hpp"
#include "isp/engine/engine.hpp"
#include "isp/frames.hpp"

namespace ispenginetest {

struct Sent {
  isp::Frame bytes;
  std::uint32_t baud;  // the rate the port was open at
  base::Millis at;
};

class FakeLink final : public isp::engine::IspLink {
 public:
  bool configured() const override { return configuredPort; }
  bool isOpen() const override { return baud != 0; }
  bool open(std::uint32_t rate) override {
    opens.push_back(rate);
    if (failOpen) return false;
    baud = rate;
    return true;
  }
  void close() override {
    if (baud != 0) ++closes;
    baud = 0;
  }
  bool send(isp::Bytes frame) override {
    if (baud == 0) return false;
    sent.push_back({isp::Frame(frame.begin(), frame.end()), baud, clock ? clock->now() : base::Millis{0}});
    if (onSend) onSend(sent.back().bytes);
    return true;
  }
  bool hasError() const override { return error; }

  const base::TimerService* clock = nullptr;
  bool configuredPort = true;
  bool failOpen = false;
  bool error = false;
  std::uint32_t baud = 0;
  int closes = 0;
  std::vector<std::uint32_t> opens;
  std::vector<Sent> sent;
  std::function<void(const isp::Frame&)> onSend;
};

struct LogLine {
  std::string text;
  base::LogColour colour;
};

class RecordingSink final : public isp::engine::IspSink {
 public:
  void onLog(const std::string& line, base::LogColour colour) override { lines.push_back({line, colour}); }
  void onProgressRange(int low, int high) override { range = {low, high}; }
  void onProgress(int position) override { progress = position; }
  void onControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
  void onMessage(const std::string&, const std::string& text, base::MessageIcon) override {
    messages.push_back(text);
  }
  void onFinished(base::Outcome o) override { outcome = o; }
  void onImageReleased() override { ++imageReleases; }
  void onProgrammerInfo(const isp::ProgrammerInfo& i, isp::engine::VersionQuery asker) override {
    info = i;
    infoAsker = asker;
  }

  bool logged(const std::string& text) const;
  bool loggedError(const std::string& text) const;
  std::vector<std::string> texts() const;

  std::vector<LogLine> lines;
  std::pair<int, int> range{0, 0};
  int progress = -1;
  bool controlsEnabled = true;
  std::vector<std::string> messages;
  std::optional<base::Outcome> outcome;
  int imageReleases = 0;
  std::optional<isp::ProgrammerInfo> info;
  isp::engine::VersionQuery infoAsker = isp::engine::VersionQuery::None;
};

// ImageChecksum: byte sum + 2n + 1.
std::uint32_t imageChecksum(const std::vector<std::uint8_t>& bytes, std::size_t n);

// A consistent job of a 16 KiB short-frame model of `familyType` with `dataLength` bytes of data.
isp::engine::IspJob shortJob(std::uint16_t familyType, std::size_t dataLength = 300);
// A 32-bit model (128 KiB) whose file holds the 4 KiB boot area and `appLength` bytes behind it.
isp::engine::IspJob longJob(std::size_t appLength = 1500);

class Rig {
 public:
  Rig();

  // Replies that reach the engine byte by byte once the current call has returned.
  void reply(const isp::Frame& bytes);
  void deliver();
  // Delivers replies and fires timers until the run ends or `limit` of clock time has passed.
  void runUntilIdle(base::Millis limit = base::Millis{20000});
  // Fires timers up to `duration` from now, delivering replies in between.
  void advance(base::Millis duration);

  // The frames sent so far with a given command byte (short or long dialect).
  std::vector<isp::Frame> framesWithCommand(std::uint8_t cmd, bool longFrame = false) const;
  std::vector<std::string> lines() const { return sink.texts(); }

  base::ManualTimers timers;
  FakeLink link;
  RecordingSink sink;
  isp::engine::IspEngine engine;

 private:
  std::deque<std::uint8_t> pending_;
};

// The frames a well-behaved device answers with, queued on the rig for each frame the engine sends.
// Hooks let a test bend single answers.
class Responder {
 public:
  Responder(Rig& rig, const isp::engine::IspJob& job, bool downloader = false);

  bool downloader;
  std::uint8_t syncByte = 0x5A;
  std::uint8_t baudCode = 8;               // the code the device switches to
  std::uint8_t baudStatus = 0;
  std::optional<std::size_t> lineTestFault;  // index of a wrong byte
  std::uint8_t programStartStatus = 0;
  std::uint8_t eraseFlashStatus = 0;
  std::uint8_t xdataStatus = 0;
  std::optional<std::uint32_t> nakBlockOnce;  // a flash block whose first write is refused
  std::uint16_t checksumDelta = 0;          // added to the checksum report
  std::vector<isp::Frame> afterEnd;              // the tool's reports after End or ToolVerify
  // 32-bit family.
  bool presence = true;                     // answers PowerCycleTarget
  bool powerOff = true;                     // false: "power not off"
  std::uint8_t longSyncStatus = 0;
  std::uint16_t identifyModel;
  std::uint8_t eraseAppStatus = 0;
  std::uint32_t longChecksumDelta = 0;

 private:
  void onFrame(const isp::Frame& f);
  void onShort(const isp::Frame& f);
  void onLong(const isp::Frame& f);

  Rig& rig_;
  isp::engine::IspJob job_;
  bool nakDone_ = false;
};

}  // namespace ispenginetest
