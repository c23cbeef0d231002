#include "app/cli/program_all.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "app/cli/programmer_choice.hpp"
#include "app/cli/usb_output.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/worker.hpp"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// One line per programmer on stderr: redrawn in place on a terminal, otherwise a plain line each
// time a programmer passes ten percent of a phase. The workers call update() from their threads.
class ProgressBoard {
 public:
  ProgressBoard(const std::vector<AttachedProgrammer>& programmers, bool quiet)
      : terminal_(::isatty(STDERR_FILENO) != 0), quiet_(quiet), rows_(programmers.size()) {
    for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i].sn = snText(programmers[i].serial);
    if (terminal_ && !quiet_) {
      for (const Row& row : rows_) std::fprintf(stderr, "%s\n", row.sn.c_str());
      drawn_ = true;
    }
  }

  void update(std::size_t index, usbjobs::Phase phase, int percent) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    Row& row = rows_[index];
    const bool newPhase = row.phase != phase || !row.started;
    row.started = true;
    row.phase = phase;
    row.percent = percent;
    if (terminal_) {
      redraw();
    } else if (newPhase ? percent == 0 : percent / 10 > row.printed / 10) {
      row.printed = percent;
      std::fprintf(stderr, "%s\n", text(row).c_str());
      std::fflush(stderr);
    }
  }

 private:
  struct Row {
    std::string sn;
    bool started = false;
    usbjobs::Phase phase = usbjobs::Phase::Programming;
    int percent = 0;
    int printed = 0;
  };

  static std::string text(const Row& row) {
    if (!row.started) return row.sn;
    const std::string label =
        base::text(row.phase == usbjobs::Phase::Programming ? "usb.cli.programming" : "usb.cli.verifying");
    const int filled = row.percent * 20 / 100;
    return base::format("%s  %-8s [%s%s] %3d%%", row.sn.c_str(), label.c_str(),
                        std::string(static_cast<std::size_t>(filled), '#').c_str(),
                        std::string(static_cast<std::size_t>(20 - filled), '.').c_str(), row.percent);
  }

  void redraw() {
    if (drawn_) std::fprintf(stderr, "\033[%zuA", rows_.size());
    for (const Row& row : rows_) std::fprintf(stderr, "\r\033[K%s\n", text(row).c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool terminal_;
  bool quiet_;
  bool drawn_ = false;
  std::mutex mutex_;
  std::vector<Row> rows_;
};

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

const char* resultName(base::Outcome o) {
  switch (o) {
    case base::Outcome::Success:
      return "success";
    case base::Outcome::Cancelled:
      return "cancelled";
    case base::Outcome::Failed:
      break;
  }
  return "failed";
}

int programAll(const usbjobs::UsbJob& job, const std::string& model, const std::string& file, bool json,
               app::JobSignals& signals) {
  const Clock::time_point started = Clock::now();
  const std::vector<AttachedProgrammer> programmers = attachedProgrammers();
  if (programmers.empty()) {
    std::fprintf(stderr, "%s\n", base::text(104).c_str());
    if (json) std::printf("{\"verb\": \"program\", \"all\": true, \"result\": \"failed\", \"exitStatus\": 1, \"programmers\": []}\n");
    return kExitFailed;
  }
  const std::size_t count = programmers.size();
  ProgressBoard board(programmers, json);
  std::vector<std::unique_ptr<UsbOutput>> outputs;
  std::vector<usbjobs::UsbJob> jobs(count, job);
  std::vector<Clock::time_point> ended(count, started);
  for (std::size_t i = 0; i < count; ++i) {
    outputs.push_back(std::make_unique<UsbOutput>(
        json, [&board, i](usbjobs::Phase phase, int percent) { board.update(i, phase, percent); }));
    outputs[i]->setImage(job.totalChecksum, job.dataLength);
    jobs[i].programmerSerial = programmers[i].serial;
  }

  std::vector<std::unique_ptr<usbjobs::JobThread>> workers;
  workers.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    workers.push_back(std::make_unique<usbjobs::JobThread>(
        base::threadLanguage(), [&, i](const std::atomic<bool>& running) {
          const base::Outcome outcome = usbjobs::runProgram(jobs[i], *outputs[i], running);
          ended[i] = Clock::now();
          return outcome;
        }));
  }
  signals.onCancel([&workers] {
    for (const auto& w : workers) w->cancel();
  });
  std::vector<base::Outcome> outcomes(count, base::Outcome::Failed);
  for (std::size_t i = 0; i < count; ++i) outcomes[i] = workers[i]->wait();
  signals.clearCancel();

  std::size_t succeeded = 0;
  for (base::Outcome o : outcomes) succeeded += o == base::Outcome::Success ? 1 : 0;
  const int status = signals.exitStatus(succeeded == count ? kExitOk : kExitFailed);
  const double seconds = secondsBetween(started, Clock::now());
  if (json) {
    std::printf("{\"verb\": \"program\", \"all\": true, \"model\": %s, \"file\": %s, \"result\": %s, \"exitStatus\": %d, "
                "\"seconds\": %.3f, \"succeeded\": %zu, \"programmers\": [",
                jsonString(model).c_str(), jsonString(file).c_str(), jsonString(status == kExitOk ? "success" : "failed").c_str(),
                status, seconds, succeeded);
    for (std::size_t i = 0; i < count; ++i) {
      const int own = outcomes[i] == base::Outcome::Success ? kExitOk : kExitFailed;
      std::printf("%s\n  %s", i == 0 ? "" : ",",
                  outputs[i]->json({"program", model, file, resultName(outcomes[i]), own, secondsBetween(started, ended[i])})
                      .c_str());
    }
    std::printf("\n]}\n");
    return status;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const bool ok = outcomes[i] == base::Outcome::Success;
    std::string line = base::format("%s  %-9s %6.2fs", snText(programmers[i].serial).c_str(), resultName(outcomes[i]),
                                    secondsBetween(started, ended[i]));
    if (!ok) line += "  " + outputs[i]->lastComplaint();
    std::printf("%s\n", line.c_str());
  }
  std::printf("%s\n", base::format(base::text("usb.cli.summary").c_str(), static_cast<int>(succeeded),
                                   static_cast<int>(count)).c_str());
  return status;
}

}  // namespace cli
