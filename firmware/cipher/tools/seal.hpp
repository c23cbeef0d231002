#pragma once
// Build-time sealing of the update-service settings: the forward AES-128-ECB of OpenSSL, so that
// the program's own inverse cipher is checked against an independent implementation whenever the
// sealed strings are read back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sealer {

using Key = std::array<std::uint8_t, 16>;

// 32 hex digits; throws std::invalid_argument otherwise.
Key parseKeyHex(std::string_view hex);

// Zero-pads `plain` to `slot` bytes (a multiple of 16) and enciphers it. Throws std::length_error
// when the value does not fit, std::invalid_argument when it holds a zero byte (it would be cut
// off on reading), std::runtime_error when OpenSSL fails.
std::vector<std::uint8_t> seal(const Key& key, std::string_view plain, std::size_t slot);

struct Settings {
  Key key{};
  std::string host;
  std::string user;
  std::string password;
};

// Reads the configured input: four lines, the key in hex, then host, user and password.
Settings parseSettings(std::string_view text);

// The C++ source that defines storedAesKey() and the three sealed slots.
std::string generatedSource(const Settings& settings);

}  // namespace sealer
