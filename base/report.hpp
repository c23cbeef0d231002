#pragma once
// The one vocabulary in which every core operation reports to whoever shows it: log lines with
// their colour, message boxes with caption and icon, a progress bar, and whether the controls that
// could start another operation are enabled. Each subsystem's sink extends Reporter with the few
// calls of its own (a power button, a checksum label, a channel cell), so one front end, the
// window's or the command line's, serves them all. Sinks extend it virtually (`public virtual
// base::Reporter`): a front end that is the sink of several subsystems at once has one onLog.
#include <string>

namespace base {

enum class LogColour { Normal, Error };

enum class MessageIcon { Information, Warning, Error, Question };

// How an operation ended.
enum class Outcome { Success, Failed, Cancelled };

class Reporter {
 public:
  virtual ~Reporter() = default;
  // One finished line; it already starts with "--> " where the log wants it.
  virtual void onLog(const std::string& line, LogColour colour) = 0;
  virtual void onMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
  // The progress bar's range (0..100 unless an operation says otherwise) and position.
  virtual void onProgressRange(int /*low*/, int /*high*/) {}
  virtual void onProgress(int /*position*/) {}
  // False while an operation runs: the controls that could start another are disabled.
  virtual void onControlsEnabled(bool /*enabled*/) {}
};

}  // namespace base
