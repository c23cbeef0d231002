#pragma once
// The progress of a long run on stderr: a bar with percent, speed and time left while stderr is a
// terminal; otherwise, when asked for, a plain line every ten percent. Other output calls clear()
// first, and the next update draws the bar again below it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

class TerminalProgress {
 public:
  explicit TerminalProgress(bool plainLines);
  ~TerminalProgress() { clear(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  bool onTerminal() const { return terminal_; }
  // A new phase: `bytes` 0 shows no speed or time left.
  void start(const std::string& label, std::uint64_t bytes);
  void update(int percent);
  void clear();

 private:
  void draw();

  bool terminal_;
  bool plain_;
  bool shown_ = false;
  std::string label_;
  std::uint64_t bytes_ = 0;
  int percent_ = 0;
  int lastPlain_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "12.5 KiB/s  0:03 left" from the bytes done and the time taken; empty before any progress.
std::string rateAndTimeLeft(std::uint64_t bytes, int percent, double seconds);

}  // namespace cli
