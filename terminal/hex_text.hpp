#pragma once
// The send line's hexadecimal form: parsing "A1 B2" or "A1B2" into bytes, and the "%02X " form of
// a text's bytes for the HEX send toggle and the saved receive data. UTF-8 is this platform's ANSI
// code page, so a text's bytes are its UTF-8 bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

enum class HexError {
  None,
  Pairs,     // a digit followed by a blank: "请按照16进制每2个字符一组的方式输入。"
  HexChars,  // a pair with a character that is no hex digit, or one digit at the end: "请按照16进制字符要求输入。"
};

struct HexParse {
  std::vector<std::uint8_t> bytes;
  HexError error = HexError::None;
};

// Strict: the send path and switching HEX send off; any error leaves no bytes. Non-strict: a digit
// followed by a blank is skipped, and a pair with a bad character stores its first digit's value.
// Takes any bytes (a fuzz entry point); never reads past the end.
HexParse parseHex(std::string_view text, bool strict = true);

// The message for an error, in the system's words (they exist only in Chinese).
const std::string& hexErrorText(HexError error);

// Each byte as two upper-case hex digits and a blank: "AB" gives "41 42 ".
std::string formatHex(std::string_view text);
void appendHexPair(std::string& out, std::uint8_t byte);

}  // namespace terminal
