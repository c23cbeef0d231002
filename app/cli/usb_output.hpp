#pragma once
// What the USB verbs print: the log lines on stdout (errors in red on a terminal), message boxes
// on stderr, the progress bar on stderr; or, with --json, one result object on stdout at the end.
// Given a progress callback it prints nothing and only keeps what it saw (`program --all`).
// The jobs call it from their worker thread while the main thread only waits.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/terminal_progress.hpp"
#include "device/jobs/sink.hpp"
#include "firmware/loader.hpp"

namespace cli {

class UsbOutput final : public usbjobs::UsbJobSink, public firmware::LineLoadSink {
 public:
  using ProgressCallback = std::function<void(usbjobs::Phase phase, int percent)>;

  explicit UsbOutput(bool json, ProgressCallback progress = {});

  // The job.
  void onLog(const std::string& line, base::LogColour colour) override;
  void onProgress(int percent) override;
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  void onPowerButton(usbjobs::PowerIcon, const std::string&) override {}
  void onPhase(usbjobs::Phase phase, std::uint64_t bytes) override;
  void onPowerOffFailed() override { powerOffFailed_ = true; }
  bool powerOffFailed() const { return powerOffFailed_; }
  void onFacts(const usbjobs::RunFacts& facts) override { facts_ = facts; }

  // The loaded image, for the result object.
  void setImage(std::uint32_t checksum, std::uint64_t size);
  const usbjobs::RunFacts& facts() const { return facts_; }
  // The last error line, or the last message, or nothing.
  std::string lastComplaint() const;

  struct Result {
    std::string verb;
    std::string model;
    std::string file;
    std::string result;
    int exitStatus = 0;
    double seconds = 0;
  };
  // The object with the verb's fields, the run's facts, its result and everything it showed.
  std::string json(const Result& result) const;

 private:
  struct Line {
    std::string text;
    bool error;
  };

  bool json_;
  ProgressCallback progress_;
  usbjobs::Phase phase_ = usbjobs::Phase::Programming;
  std::optional<std::uint32_t> checksum_;
  std::optional<std::uint64_t> size_;
  usbjobs::RunFacts facts_;
  bool colour_;
  TerminalProgress bar_;
  bool inPhase_ = false;
  bool powerOffFailed_ = false;
  std::vector<Line> lines_;
  std::vector<std::string> messages_;
};

}  // namespace cli
