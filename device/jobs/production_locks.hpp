#pragma once
// The locks a production file (.cab, .cap) puts on a USB run: the writer id against the
// programmer's serial number, and the run counter the programmer keeps for the file.
#include "device/jobs/job.hpp"
#include "device/jobs/session.hpp"

namespace usbjobs {

// The programmer's serial number, read as a decimal number, must be the file's writer id when the
// file has one; false (the line logged) when it is another programmer.
bool checkWriterId(Session& s, const production::ProductionSettings& p);

// The trace of the file's settings, the writer id, then the counter: a record of another file is
// started afresh at the file's maximum; false (the line logged) when the run must not go on.
bool checkProductionLimits(Session& s, const UsbJob& job);

}  // namespace usbjobs
