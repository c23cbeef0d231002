#pragma once
// What the USB verbs print: the log lines on stdout (errors in red on a terminal), message boxes
// on stderr, the progress bar on stderr; or, with --json, one result object on stdout at the end.
// The jobs call it from their worker thread while the main thread only waits.
#include <string>
#include <vector>

#include "app/cli/terminal_progress.hpp"
#include "device/jobs/sink.hpp"
#include "firmware/loader.hpp"

namespace cli {

class UsbOutput final : public usbjobs::UsbJobSink, public firmware::LineLoadSink {
 public:
  explicit UsbOutput(bool json);

  // The job.
  void onLog(const std::string& line, base::LogColour colour) override;
  void onProgress(int percent) override;
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  void onPowerButton(usbjobs::PowerIcon, const std::string&) override {}
  void onPhase(usbjobs::Phase phase, std::uint64_t bytes) override;
  void onPowerOffFailed() override { powerOffFailed_ = true; }
  bool powerOffFailed() const { return powerOffFailed_; }

  // With --json: the object with the verb's fields, its result and everything it showed.
  void printJson(const std::string& verb, const std::string& model, const std::string& file,
                 const std::string& result, int exitStatus) const;

 private:
  struct Line {
    std::string text;
    bool error;
  };

  bool json_;
  bool colour_;
  TerminalProgress bar_;
  bool inPhase_ = false;
  bool powerOffFailed_ = false;
  std::vector<Line> lines_;
  std::vector<std::string> messages_;
};

}  // namespace cli
