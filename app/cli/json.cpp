#include "app/cli/json.hpp"

#include "base/strformat.hpp"

namespace cli {

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += base::format("\\u%04x", u);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace cli
