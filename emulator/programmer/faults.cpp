#include "emulator/programmer/faults.hpp"

#include <algorithm>
#include <charconv>

namespace emulator::programmer {
namespace {

constexpr std::uint8_t kEraseCommand = 0x0B;  // ID_EraseTgtFlash

struct KindName {
  std::string_view name;
  FaultKind kind;
  bool takesValue;
};

constexpr KindName kKinds[] = {
    {"silence", FaultKind::Silence, false}, {"wrong-id", FaultKind::WrongId, true},
    {"status", FaultKind::Status, true},    {"short", FaultKind::ShortReport, true},
    {"lost", FaultKind::Lost, false},       {"late", FaultKind::Late, false},
    {"delay", FaultKind::Delay, true},      {"unplug-on-erase", FaultKind::UnplugOnErase, false},
};

bool number(std::string_view text, int base, unsigned limit, unsigned& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && out <= limit;
}

// Cuts `text` at `mark` and gives what followed it; empty without the mark.
std::string_view cut(std::string_view& text, char mark) {
  const std::size_t at = text.find(mark);
  if (at == std::string_view::npos) return {};
  std::string_view after = text.substr(at + 1);
  text = text.substr(0, at);
  return after;
}

}  // namespace

std::optional<FaultPlan> FaultPlan::parse(std::string_view text, std::string& error) {
  FaultPlan plan;
  if (text.empty() || text == "none") return plan;
  while (!text.empty()) {
    std::string_view item = text.substr(0, text.find(','));
    text = item.size() < text.size() ? text.substr(item.size() + 1) : std::string_view();
    const std::string_view times = cut(item, '*');
    const std::string_view command = cut(item, '@');
    const std::string_view value = cut(item, ':');
    error = "expected KIND[:VALUE][@COMMAND][*TIMES] with KIND silence, wrong-id, status, short, lost, late, "
            "delay, unplug-on-erase or unplug-after";
    unsigned n = 0;
    if (item == "unplug-after") {
      if (!number(value, 10, 1000000, n)) return std::nullopt;
      plan.unplugAfter(static_cast<int>(n));
      continue;
    }
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const KindName& k) { return k.name == item; });
    if (kind == std::end(kKinds) || kind->takesValue == value.empty()) return std::nullopt;
    Fault fault;
    fault.kind = kind->kind;
    if (!value.empty() && !number(value, 10, kind->kind == FaultKind::Delay ? 60000 : 255, fault.value)) return std::nullopt;
    if (fault.kind == FaultKind::UnplugOnErase) fault.command = kEraseCommand;
    if (!command.empty()) {
      if (!number(command, 16, 255, n)) return std::nullopt;
      fault.command = static_cast<std::uint8_t>(n);
    }
    if (times == "all") {
      fault.times = -1;
    } else if (!times.empty()) {
      if (!number(times, 10, 1000000, n) || n == 0) return std::nullopt;
      fault.times = static_cast<int>(n);
    }
    plan.add(std::move(fault));
  }
  error.clear();
  return plan;
}

std::vector<Fault> FaultPlan::take(std::uint8_t command) {
  std::vector<Fault> due;
  for (Fault& f : faults_) {
    if (f.times == 0 || (f.command && *f.command != command)) continue;
    if (std::any_of(due.begin(), due.end(), [&](const Fault& d) { return d.kind == f.kind; })) continue;
    due.push_back(f);
    if (f.times > 0) --f.times;
  }
  std::erase_if(faults_, [](const Fault& f) { return f.times == 0; });
  return due;
}

bool FaultPlan::unplugNow() {
  if (unplugAfter_ < 0) return false;
  if (unplugAfter_-- > 0) return false;
  unplugAfter_ = -1;
  return true;
}

}  // namespace emulator::programmer
