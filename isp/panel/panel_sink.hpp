#pragma once
// What the ISP panel shows besides the window's log and progress bar: the Power button and the end
// of a run. Called on the user-interface thread only; the USB workers reach it through a sink that
// the front end marshals (queued, in order).
#include <string>

#include "base/report.hpp"
#include "device/jobs/sink.hpp"

namespace isppanel {

class IspPanelSink : public virtual base::Reporter {
 public:
  virtual void onPowerButton(usbjobs::PowerIcon icon, const std::string& caption) = 0;
  // A USB or serial run has ended; the panel may start another.
  virtual void onRunEnded(base::Outcome outcome) = 0;
};

}  // namespace isppanel
