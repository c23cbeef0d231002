// qubrix self-update [--check] [--yes]: the program's own update from the update server, as the
// window's "Check for update" does it. After a successful update the new program is started and
// this one ends with status 0.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/terminal_progress.hpp"
#include "base/texts.hpp"
#include "update/self_update.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis = "[--check] [--yes]";

class TerminalSelfUpdateSink final : public update::SelfUpdateSink {
 public:
  explicit TerminalSelfUpdateSink(bool assumeYes) : assumeYes_(assumeYes) {}
  void onLog(const std::string& line, base::LogColour) override {
    progress_.clear();
    std::printf("%s\n", line.c_str());
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    progress_.clear();
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  void onProgress(int percent) override {
    if (percent > 0) progress_.update(percent);
  }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    if (assumeYes_) return true;
    if (!::isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "qubrix self-update: no answer without a terminal; --yes answers Yes\n");
      return false;
    }
    std::fprintf(stderr, "[y/N] ");
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
  }

 private:
  bool assumeYes_;
  TerminalProgress progress_{false};
};

}  // namespace

int runSelfUpdate(const std::vector<std::string>& args) {
  Args a(args, {{"check", 0, false, "only tell whether a newer program is published (status 0 either way)"},
                {"yes", 'y', false, "answer Yes to the question"}});
  if (auto done = finishParsing(a, "self-update", kSynopsis)) return *done;
  if (!a.positional().empty()) {
    std::fprintf(stderr, "%s", a.usage("self-update", kSynopsis).c_str());
    return kExitUsage;
  }
  TerminalSelfUpdateSink sink(a.has("yes"));
  const auto result = update::selfUpdate(QUBRIX_VERSION, update::ownExecutable(), sink, a.has("check"));
  if (result.outcome != base::Outcome::Success) return kExitFailed;
  if (a.has("check")) {
    if (result.newer) std::printf("A newer program is published.\n");
    return kExitOk;
  }
  if (result.successor.empty()) return kExitOk;
  if (!update::startProgram(result.successor)) {
    std::fprintf(stderr, "[%s] %s\n", base::text("update.self.caption").c_str(),
                 base::text("update.self.not_started").c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace cli
