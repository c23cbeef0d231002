#pragma once
// Production files are enciphered as a whole header, so random bytes almost never decipher into
// a header worth reading. A harness input that asks for it has its first 256 bytes taken as the
// plain header and enciphered under the built-in key before the reader sees them; the fuzzer then
// steers the fields the readers check.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "firmware/cipher/tea.hpp"
#include "firmware/production/header.hpp"

namespace fuzzing {

inline std::vector<std::uint8_t> productionFileBytes(const std::uint8_t* data, std::size_t size, bool encipherHeader) {
  std::vector<std::uint8_t> file(data, data + size);
  if (encipherHeader && file.size() >= production::kHeaderSize) {
    cipher::TeaEncrypt(file.data(), production::kHeaderSize, cipher::kBuiltInTeaKey);
  }
  return file;
}

}  // namespace fuzzing
