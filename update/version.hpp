#pragma once
// The programmer's firmware version: major.minor.patch[.build], a missing build read as 0, ordered
// part by part. The messages of a failed parse are the ones the update window shows in its
// "Error: %s" box.
#include <compare>
#include <string>
#include <string_view>

namespace update {

struct FirmwareVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;
  int build = 0;

  auto operator<=>(const FirmwareVersion&) const = default;
};

// Throws std::runtime_error: "Invalid firmware version string." (the user's language) for anything
// but three or four parts, "invalid stoi argument" for a part that is not a decimal number,
// "stoi argument out of range" for one that does not fit an int.
FirmwareVersion parseFirmwareVersion(std::string_view text);

std::string formatVersion(const FirmwareVersion& version);

}  // namespace update
