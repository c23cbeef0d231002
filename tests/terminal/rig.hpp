#pragma once
// A terminal core on a fake port, manual timers and a manual clock; the sink records everything
// and keeps the pane's text as a view would.
#include <cstdint>
#include <string>
#include <vector>

#include "base/manual_timers.hpp"
#include "terminal/terminal_core.hpp"

namespace termtest {

class FakePort final : public terminal::TerminalPort {
 public:
  void setLine(const std::string& path, std::uint32_t rate) override {
    pathText = path;
    baudRate = rate;
  }
  std::string path() const override { return pathText; }
  std::uint32_t baud() const override { return baudRate; }
  bool open() override {
    ++opens;
    opened = canOpen;
    return opened;
  }
  void close() override { opened = false; }
  bool isOpen() const override { return opened; }
  bool hasError() const override { return error; }
  bool write(std::span<const std::uint8_t> bytes) override {
    if (!opened) {
      error = true;
      return false;
    }
    writes.emplace_back(bytes.begin(), bytes.end());
    return true;
  }

  std::string pathText = "/dev/ttyUSB0";
  std::uint32_t baudRate = 115200;
  bool canOpen = true;
  bool opened = false;
  bool error = false;
  int opens = 0;
  std::vector<std::vector<std::uint8_t>> writes;
};

class ManualClock final : public terminal::LocalClock {
 public:
  terminal::LocalTime now() const override { return time; }
  terminal::LocalTime time{2026, 3, 7, 9, 5, 59, 990};
};

struct Message {
  std::string caption;
  std::string text;
};

class RecordingSink final : public terminal::TerminalSink {
 public:
  void onLog(const std::string& line, base::LogColour) override { logs.push_back(line); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    messages.push_back({caption, text});
  }
  void onDisplay(const terminal::DisplayUpdate& update) override {
    ++displayCalls;
    if (update.replaced) {
      pane = update.replacement;
      headers.clear();
    }
    for (const auto& run : update.runs) {
      pane += run.text;
      if (run.header) headers.push_back(run.text);
    }
  }
  void onPortOpenChanged(bool open) override { portOpen = open; }
  void onTimedSendChanged(bool on) override { timedSend.push_back(on); }
  void onSaved(const std::filesystem::path& file) override { saved = file; }

  std::vector<std::string> logs;
  std::vector<Message> messages;
  std::string pane;
  std::vector<std::string> headers;
  int displayCalls = 0;
  bool portOpen = false;
  std::vector<bool> timedSend;
  std::filesystem::path saved;
};

struct Rig {
  Rig() { timers.setHandler([this](int id) { core.onTimer(id); }); }

  // Bytes arriving `afterMs` after the previous ones, the local clock moving with them.
  void receive(const std::vector<std::uint8_t>& bytes, int afterMs = 0) {
    advanceClock(afterMs);
    timers.advance(base::Millis{afterMs});
    core.onBytes(bytes);
  }
  void receiveText(const std::string& text, int afterMs = 0) {
    receive(std::vector<std::uint8_t>(text.begin(), text.end()), afterMs);
  }
  void advanceClock(int ms) {
    auto& t = clock.time;
    long total = ((t.hour * 60L + t.minute) * 60 + t.second) * 1000 + t.millisecond + ms;
    t.millisecond = static_cast<int>(total % 1000);
    total /= 1000;
    t.second = static_cast<int>(total % 60);
    total /= 60;
    t.minute = static_cast<int>(total % 60);
    t.hour = static_cast<int>(total / 60 % 24);
  }

  FakePort port;
  ManualClock clock;
  RecordingSink sink;
  base::ManualTimers timers;
  terminal::TerminalCore core{sink, port, timers, clock};
};

}  // namespace termtest
