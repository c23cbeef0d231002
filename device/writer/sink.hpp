#pragma once
// What the Writer download reports: the common vocabulary (log lines, message boxes, progress by
// packets, Download enabled while idle) plus the two calls of its own. Calls come from the receive
// thread; a window marshals them to its own thread in order.
#include "base/report.hpp"

namespace qx::writer {

class WriterSink : public virtual base::Reporter {
 public:
  // The Writer starts a new round of offline programming: the log starts afresh.
  virtual void onClearLog() {}
  // A download has ended; onControlsEnabled(true) came just before.
  virtual void onDownloadEnded(base::Outcome /*outcome*/) {}
};

}  // namespace qx::writer
