#pragma once
// The Writer panel's checks on the production settings, shared by its Generate button and the
// command line's pack, so both refuse the same inputs with the same texts.
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/production/header.hpp"
#include "firmware/production/settings.hpp"

namespace production {

// The largest user code the panel accepts: 4294967295 − 1000000, leaving room for the roll.
inline constexpr std::uint64_t kUserCodeMax = 4293967295ULL;

// Generate's refusal (caption "Tip", warning icon), or none when the file may be written. In the
// panel's order: no file; .cab: key, limit, user code, writer id; .cap: an image from an
// encrypted program file, then limit, user code, writer id.
std::optional<std::string> GenerateRefusal(FileKind kind, const ProductionSettings& settings, bool fileSelected,
                                           bool fromEncryptedFile);

// "Out of range, value range [0~4293967295]." (caption "Error") for a typed user code above the
// maximum.
std::optional<std::string> UserCodeRefusal(std::uint64_t value);

}  // namespace production
