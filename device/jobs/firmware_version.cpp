#include "device/jobs/firmware_version.hpp"

#include <charconv>

namespace usbjobs {

std::optional<FirmwareVersion> parseFirmwareVersion(std::string_view text) {
  FirmwareVersion v{};
  std::size_t count = 0;
  for (;;) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (count == v.size() || part.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), v[count]);
    if (error != std::errc() || end != part.data() + part.size()) return std::nullopt;
    ++count;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  if (count < 3) return std::nullopt;
  return v;
}

}  // namespace usbjobs
