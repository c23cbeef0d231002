// The three Intel HEX readers on any text: they return a result or HexError, nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "firmware/hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // A capacity of up to 128 KiB, the largest flash class, taken from the text's length so that
  // both "fits" and "too large" are reached.
  (void)firmware::ReadHexByAddress(text, (size * 61) % (128u << 10));
  try {
    (void)firmware::ParseHexStrictText(text);
  } catch (const firmware::HexError&) {
  }
  (void)firmware::ParseHexStream(text);
  return 0;
}
