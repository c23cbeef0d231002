#pragma once
// qubrix program --all: one job per attached programmer, all at once, for production lines.
#include <string>

#include "app/common/job_signals.hpp"
#include "device/jobs/job.hpp"
#include "device/jobs/sink.hpp"

namespace cli {

// "success", "failed" or "cancelled".
const char* resultName(base::Outcome outcome);

// Programs `job` into every attached programmer in parallel: one progress line each while it runs,
// then a summary line per programmer (or, with `json`, one object holding each one's result).
// 0 only when every programmer succeeded; a signal cancels every run and the exit is 128 + it.
int programAll(const usbjobs::UsbJob& job, const std::string& model, const std::string& file, bool json,
               app::JobSignals& signals);

}  // namespace cli
