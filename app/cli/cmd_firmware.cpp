// qubrix firmware check|update: the programmer firmware update of the update window, through the
// first attached QUBRIX Tool (--usb, the default) or a programmer's system bootloader on a serial
// port (--port PATH). "update" checks first unless --local names an image. Ctrl+C is held off
// while the programmer's flash is rewritten: a half-written programmer is the worst outcome.
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/terminal_progress.hpp"
#include "base/event_loop.hpp"
#include "base/texts.hpp"
#include "update/firmware_check.hpp"
#include "update/firmware_update.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis = "check|update [--usb | --port PATH] [--local FILE] [--yes]";

class TerminalUpdateSink final : public update::UpdateSink {
 public:
  explicit TerminalUpdateSink(bool assumeYes) : assumeYes_(assumeYes) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    progress_.clear();
    std::fprintf(colour == base::LogColour::Error ? stderr : stdout, "%s\n", line.c_str());
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    progress_.clear();
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  void onProgress(int position) override {
    if (position > 0) progress_.update(position);
  }
  void onStatus(const std::string& text) override {
    if (text.empty() || text == lastStatus_) return;
    lastStatus_ = text;
    progress_.clear();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    progress_.clear();
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    if (assumeYes_) return true;
    if (!::isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "qubrix firmware: no answer without a terminal; --yes answers Yes\n");
      return false;
    }
    std::fprintf(stderr, "[y/N] ");
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
  }
  void onCurrentVersion(const std::string& text) override { field("current", text); }
  void onSerialNumber(const std::string& text) override { field("serial", text); }
  void onLatestVersion(const std::string& text) override { field("latest", text); }

 private:
  void field(const char* name, const std::string& text) {
    if (text.empty()) return;
    progress_.clear();
    std::printf("%-8s %s\n", name, text.c_str());
  }

  bool assumeYes_;
  std::string lastStatus_;
  TerminalProgress progress_{false};
};

// Ctrl+C, a kill and a closed terminal are ignored while the programmer's flash is being rewritten:
// stopping half-way would leave it without firmware until the next update.
class HoldInterrupts {
 public:
  HoldInterrupts() {
    for (std::size_t i = 0; i < kHeld.size(); ++i) previous_[i] = std::signal(kHeld[i], SIG_IGN);
  }
  ~HoldInterrupts() {
    for (std::size_t i = 0; i < kHeld.size(); ++i) std::signal(kHeld[i], previous_[i]);
  }
  HoldInterrupts(const HoldInterrupts&) = delete;
  HoldInterrupts& operator=(const HoldInterrupts&) = delete;

 private:
  static constexpr std::array<int, 3> kHeld{SIGINT, SIGTERM, SIGHUP};
  std::array<void (*)(int), 3> previous_{};
};

}  // namespace

int runFirmware(const std::vector<std::string>& args) {
  Args a(args, {{"usb", 0, false, "the QUBRIX Tool on USB (the default)"},
                {"port", 'p', true, "PATH  a programmer's system bootloader on this serial port"},
                {"local", 0, true, "FILE  update from this .bin image instead of the published one"},
                {"yes", 'y', false, "answer Yes to the confirmation question"}});
  if (auto done = finishParsing(a, "firmware", kSynopsis)) return *done;
  const auto& words = a.positional();
  const bool check = words.size() == 1 && words[0] == "check";
  const bool install = words.size() == 1 && words[0] == "update";
  const auto port = a.value("port");
  if ((!check && !install) || (port && a.has("usb")) || (check && a.has("local"))) {
    std::fprintf(stderr, "%s", a.usage("firmware", kSynopsis).c_str());
    return kExitUsage;
  }
  TerminalUpdateSink sink(a.has("yes"));
  const std::filesystem::path workDir = std::filesystem::current_path();
  update::UpdateRequest request;
  request.workDir = workDir;
  if (const auto local = a.value("local")) request.localFile = *local;

  if (!request.localFile) {
    const auto found = port ? update::checkCom(*port, sink, workDir, [](const std::string& path) {
      update::sendQueryVersion(path);
    })
                            : update::checkUsb(sink, workDir);
    if (!found) return kExitFailed;
    if (check) return kExitOk;
    if (!found->updateOffered) return kExitOk;
    request.record = found->record;
  }
  base::Outcome outcome;
  {
    HoldInterrupts hold;
    if (port) {
      outcome = update::updateOverSerial(request, *port, sink);
    } else {
      base::EventLoop timers;
      outcome = update::updateOverUsb(request, sink, timers);
    }
  }
  return outcome == base::Outcome::Success ? kExitOk : kExitFailed;
}

}  // namespace cli
