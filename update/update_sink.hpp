#pragma once
// What the firmware update's check and procedures show: the reporting vocabulary (message boxes,
// progress) plus the update window's own fields. Called from the worker thread; the window
// marshals every call to its user-interface thread, in order.
#include <string>

#include "base/report.hpp"

namespace update {

class UpdateSink : public virtual base::Reporter {
 public:
  // The one-line status text.
  virtual void onStatus(const std::string& text) = 0;
  // A Yes/No question; true only for Yes.
  virtual bool onQuestion(const std::string& caption, const std::string& text) = 0;
  // An update run begins / ends (the window's busy state and its controls).
  virtual void onStarted() {}
  virtual void onFinished() {}
  // The check's fields: "v…" texts and "SN: %08X"; an empty text clears the field.
  virtual void onCurrentVersion(const std::string& /*text*/) {}
  virtual void onSerialNumber(const std::string& /*text*/) {}
  virtual void onLatestVersion(const std::string& /*text*/) {}
  virtual void onUpdateEnabled(bool /*enabled*/) {}
  virtual void onCheckEnabled(bool /*enabled*/) {}
};

}  // namespace update
