#pragma once
// The samples as comma-separated values: one row per channel and sample, the time in milliseconds
// since the first sample. `qubrix touch --csv` and the panel's recording write the same bytes.
#include <string>

#include "touch/channel_model.hpp"

namespace touch {

inline constexpr const char* kCsvHeader = "time_ms,channel,current,baseline,difference,threshold,key\n";

// Appends the model's rows, channel by channel, each ending in "\n".
void appendCsvRows(std::string& out, const ChannelModel& model, long long timeMs);

}  // namespace touch
