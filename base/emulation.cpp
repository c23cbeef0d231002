#include "base/emulation.hpp"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace base {

int emulatedProgrammerCount() {
  const char* v = std::getenv("QUBRIX_EMULATE");
  if (v == nullptr) return 0;
  const std::string_view text(v);
  int count = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (ec != std::errc() || end != text.data() + text.size() || count < 1) return 0;
  return count > kMaxEmulatedProgrammers ? kMaxEmulatedProgrammers : count;
}

bool emulationRequested() { return emulatedProgrammerCount() > 0; }

}  // namespace base
