#include "app/cli/terminal_progress.hpp"

#include <unistd.h>

#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace cli {
namespace {

constexpr int kBarWidth = 30;
constexpr int kLineWidth = 80;

}  // namespace

TerminalProgress::TerminalProgress(bool plainLines) : terminal_(::isatty(STDERR_FILENO) != 0), plain_(plainLines) {}

void TerminalProgress::start(const std::string& label, std::uint64_t bytes) {
  clear();
  label_ = label;
  bytes_ = bytes;
  percent_ = 0;
  lastPlain_ = 0;
  start_ = std::chrono::steady_clock::now();
}

void TerminalProgress::update(int percent) {
  percent_ = percent;
  if (terminal_) {
    draw();
  } else if (plain_ && percent / 10 > lastPlain_ / 10) {
    lastPlain_ = percent;
    std::fprintf(stderr, "%s%s%3d%%\n", label_.c_str(), label_.empty() ? "" : ": ", percent);
    std::fflush(stderr);
  }
}

void TerminalProgress::draw() {
  const int filled = percent_ * kBarWidth / 100;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string line =
      base::format("%s%s[%s%s] %3d%%  %s", label_.c_str(), label_.empty() ? "" : " ",
                   std::string(static_cast<std::size_t>(filled), '#').c_str(),
                   std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(), percent_,
                   rateAndTimeLeft(bytes_, percent_, seconds).c_str());
  std::fprintf(stderr, "\r%-*s", kLineWidth - 1, line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void TerminalProgress::clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%*s\r", kLineWidth - 1, "");
  std::fflush(stderr);
  shown_ = false;
}

std::string rateAndTimeLeft(std::uint64_t bytes, int percent, double seconds) {
  if (bytes == 0 || percent <= 0 || seconds <= 0) return {};
  const double done = static_cast<double>(bytes) * percent / 100.0;
  const double left = seconds * (100 - percent) / percent;
  const auto s = static_cast<long>(left + 0.5);
  return base::format("%.1f KiB/s  %ld:%02ld %s", done / 1024.0 / seconds, s / 60, s % 60,
                      base::text("usb.cli.left").c_str());
}

}  // namespace cli
