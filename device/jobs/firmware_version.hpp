#pragma once
// The programmer's firmware version text ("1.0.2" or "1.0.2.8") and the lowest one the USB jobs
// accept.
#include <array>
#include <optional>
#include <string_view>

namespace usbjobs {

using FirmwareVersion = std::array<unsigned, 4>;

inline constexpr FirmwareVersion kMinimumFirmware{1, 0, 2, 0};

// Three or four decimal numbers separated by "."; a missing fourth is 0. Nothing for any other text.
std::optional<FirmwareVersion> parseFirmwareVersion(std::string_view text);

}  // namespace usbjobs
