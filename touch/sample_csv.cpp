#include "touch/sample_csv.hpp"

#include <algorithm>
#include <charconv>

namespace touch {
namespace {

void appendNumber(std::string& out, long long value, char after) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
  out += after;
}

}  // namespace

void appendCsvRows(std::string& out, const ChannelModel& m, long long timeMs) {
  const std::size_t count = std::min(
      {m.count, m.numbers.size(), m.currents.size(), m.baselines.size(), m.differences.size(), m.thresholds.size()});
  for (std::size_t i = 0; i < count; ++i) {
    appendNumber(out, timeMs, ',');
    appendNumber(out, m.numbers[i], ',');
    appendNumber(out, m.currents[i], ',');
    appendNumber(out, m.baselines[i], ',');
    appendNumber(out, m.differences[i], ',');
    appendNumber(out, m.thresholds[i], ',');
    appendNumber(out, m.keyTriggered(i) ? 1 : 0, '\n');
  }
}

}  // namespace touch
