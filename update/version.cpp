#include "update/version.hpp"

#include <charconv>
#include <stdexcept>
#include <vector>

#include "base/texts.hpp"

namespace update {
namespace {

// As std::stoi would read it: optional blanks and sign, then at least one digit; trailing text is
// ignored.
int stoiPart(std::string_view part) {
  std::size_t at = 0;
  while (at < part.size() && (part[at] == ' ' || part[at] == '\t' || part[at] == '\n' || part[at] == '\r' ||
                              part[at] == '\v' || part[at] == '\f')) {
    ++at;
  }
  std::size_t digits = at;
  if (digits < part.size() && (part[digits] == '+' || part[digits] == '-')) ++digits;
  if (digits >= part.size() || part[digits] < '0' || part[digits] > '9') {
    throw std::runtime_error("invalid stoi argument");
  }
  if (part[at] == '+') ++at;
  int value = 0;
  const auto [end, ec] = std::from_chars(part.data() + at, part.data() + part.size(), value);
  if (ec == std::errc::result_out_of_range) throw std::runtime_error("stoi argument out of range");
  if (ec != std::errc()) throw std::runtime_error("invalid stoi argument");
  return value;
}

}  // namespace

FirmwareVersion parseFirmwareVersion(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 3 && parts.size() != 4) throw std::runtime_error(base::text("usb.version_invalid"));
  FirmwareVersion v;
  v.major = stoiPart(parts[0]);
  v.minor = stoiPart(parts[1]);
  v.patch = stoiPart(parts[2]);
  if (parts.size() == 4) v.build = stoiPart(parts[3]);
  return v;
}

std::string formatVersion(const FirmwareVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch) + "." +
         std::to_string(v.build);
}

}  // namespace update
