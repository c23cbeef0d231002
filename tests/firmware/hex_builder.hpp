#pragma once
// Intel HEX text for tests: records with correct checksums, or deliberately broken ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/strformat.hpp"

namespace fwtest {

inline std::string hexRecord(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data,
                             int checksumDelta = 0) {
  std::string line = base::format(":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  for (std::uint8_t b : data) {
    line += base::format("%02X", b);
    sum += b;
  }
  return line + base::format("%02X", (0x100 - (sum & 0xFF) + checksumDelta) & 0xFF) + "\n";
}

inline const std::string kEndRecord = ":00000001FF\n";

// `data` placed from `address` on in records of `perRecord` bytes, then the end record.
inline std::string hexFile(const std::vector<std::uint8_t>& data, std::uint16_t address = 0,
                           std::size_t perRecord = 16) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); i += perRecord) {
    const std::size_t n = std::min(perRecord, data.size() - i);
    text += hexRecord(static_cast<std::uint16_t>(address + i), 0x00,
                      std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(i),
                                                data.begin() + static_cast<std::ptrdiff_t>(i + n)));
  }
  return text + kEndRecord;
}

inline std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed = 1) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}

}  // namespace fwtest
