#include "terminal/hex_text.hpp"

#include "base/texts.hpp"

namespace terminal {
namespace {

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

HexParse parseHex(std::string_view text, bool strict) {
  HexParse out;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ') {
      ++i;
      continue;
    }
    const int high = digitValue(c);
    const bool hasNext = i + 1 < text.size();
    if (hasNext && text[i + 1] == ' ' && high >= 0) {
      if (strict) return {{}, HexError::Pairs};
      ++i;
      continue;
    }
    const int low = hasNext ? digitValue(text[i + 1]) : -1;
    if (high < 0 || low < 0) {
      if (strict) return {{}, HexError::HexChars};
      out.bytes.push_back(static_cast<std::uint8_t>(high < 0 ? 0 : high));
    } else {
      out.bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    i += 2;
  }
  return out;
}

const std::string& hexErrorText(HexError error) {
  static const std::string none;
  switch (error) {
    case HexError::Pairs: return base::text("serial.hex_pairs");
    case HexError::HexChars: return base::text("serial.hex_chars");
    case HexError::None: break;
  }
  return none;
}

void appendHexPair(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
  out += ' ';
}

std::string formatHex(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) appendHexPair(out, static_cast<std::uint8_t>(c));
  return out;
}

}  // namespace terminal
