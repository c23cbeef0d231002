#include "app/cli/production_options.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

#include "firmware/production/checks.hpp"

namespace cli {
namespace {

template <typename T>
std::optional<T> parseNumber(const std::string& text, int base) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool allHexDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

bool HasProductionOptions(const Args& a) {
  return a.has("key") || a.has("limit") || a.has("user-code") || a.has("writer-id");
}

std::optional<std::string> ReadProductionOptions(const Args& a, production::ProductionSettings& s) {
  if (const auto key = a.value("key")) {
    if (key->size() > s.key.size()) return std::string("--key takes at most 16 characters");
    for (char c : *key) {
      if (static_cast<unsigned char>(c) >= 0x80) return std::string("--key takes ASCII characters only");
    }
    s.key_enable = true;
    s.key.fill(0);
    std::copy(key->begin(), key->end(), s.key.begin());
    s.key_count = key->size();
  }
  if (const auto limit = a.value("limit")) {
    // The panel's edit holds 8 digits.
    const auto n = limit->size() <= 8 ? parseNumber<std::uint32_t>(*limit, 10) : std::nullopt;
    if (!n) return std::string("--limit takes a decimal number of at most 8 digits");
    s.write_limit_num_enable = true;
    s.write_num_max = *n;
  }
  if (const auto code = a.value("user-code")) {
    const auto n = parseNumber<std::uint64_t>(*code, 10);
    if (!n) return std::string("--user-code takes a decimal number");
    if (auto refusal = production::UserCodeRefusal(*n)) return refusal;
    s.user_code_enable = true;
    s.user_code = static_cast<std::uint32_t>(*n);
  }
  if (const auto id = a.value("writer-id")) {
    if (id->size() > 8 || !allHexDigits(*id)) return std::string("--writer-id takes up to 8 hexadecimal digits");
    s.writer_ID_limit_enable = true;
    s.write_id_digits = id->size();
    s.write_id_num = id->size() == 8 ? *parseNumber<std::uint32_t>(*id, 16) : 0;
  }
  return std::nullopt;
}

}  // namespace cli
