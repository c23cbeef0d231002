#include "emulator/programmer/config.hpp"

#include <charconv>
#include <cmath>
#include <sstream>

#include "base/strformat.hpp"
#include "emulator/programmer/faults.hpp"
#include "firmware/catalogue.hpp"

namespace emulator::programmer {
namespace {

constexpr int kMaxTouchChannels = 64;

bool parseUnsigned(const std::string& text, std::uint64_t maximum, std::uint64_t& out) {
  int base = 10;
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || v > maximum || digits.empty()) return false;
  out = v;
  return true;
}

bool parseBool(const std::string& text, bool& out) {
  if (text == "on" || text == "yes" || text == "1" || text == "true") {
    out = true;
  } else if (text == "off" || text == "no" || text == "0" || text == "false") {
    out = false;
  } else {
    return false;
  }
  return true;
}

bool validVersion(const std::string& text) {
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    std::uint64_t v = 0;
    if (!parseUnsigned(part, 9999, v) || part.find_first_not_of("0123456789") != std::string::npos) return false;
    ++parts;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts == 3 || parts == 4;
}

bool fitsText(const std::string& value, std::size_t maximum, std::string& error) {
  if (value.size() > maximum) {
    error = base::format("at most %zu bytes", maximum);
    return false;
  }
  if (value.find_first_of("\r\n") != std::string::npos) {
    error = "no line breaks";
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> configKeys() {
  return {"manufacturer", "product",    "serial",      "version",     "version-type",  "vendor",
          "boot-identity", "boot-serial", "target",      "model",       "erase-units",
          "erase-unit-size", "voltage",  "names-per-reply", "touch-channels", "delays", "fault"};
}

std::string serialText(const Config& config) { return std::to_string(config.serial); }

std::string formatConfig(const Config& c) {
  std::ostringstream out;
  out << "manufacturer=" << c.manufacturer << '\n'
      << "product=" << c.product << '\n'
      << "serial=" << c.serial << '\n'
      << "version=" << c.firmwareVersion << '\n'
      << "version-type=" << int{c.versionType} << '\n'
      << "vendor=" << c.vendor << '\n'
      << "boot-identity=" << c.bootIdentity << '\n'
      << "boot-serial=" << (c.bootSerialIsIdentity ? "identity" : "same") << '\n'
      << "target=" << (c.targetAttached ? "attached" : "none") << '\n'
      << "model=" << (c.fixedModel.empty() ? std::string("any") : c.fixedModel) << '\n'
      << "erase-units=" << (c.eraseUnits == EraseUnits::A ? "a" : c.eraseUnits == EraseUnits::B ? "b" : "none") << '\n'
      << "erase-unit-size=" << c.eraseUnitSize << '\n'
      << "voltage=" << base::format("%u.%02u", c.centivolts / 100, c.centivolts % 100) << '\n'
      << "names-per-reply=" << c.namesPerReply << '\n'
      << "touch-channels=" << c.touchChannels << '\n'
      << "delays=" << (c.delays ? "on" : "off") << '\n'
      << "fault=" << (c.faults.empty() ? std::string("none") : c.faults) << '\n';
  return out.str();
}

Config parseConfig(const std::string& text, const Config& defaults) {
  Config c = defaults;
  std::istringstream in(text);
  std::string line;
  std::string ignored;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    setConfigValue(c, line.substr(0, eq), line.substr(eq + 1), ignored);
  }
  return c;
}

bool setConfigValue(Config& c, const std::string& key, const std::string& value, std::string& error) {
  std::uint64_t n = 0;
  if (key == "manufacturer" || key == "product" || key == "vendor" || key == "boot-identity") {
    // Descriptor strings and the texts of one reply frame.
    if (!fitsText(value, key == "vendor" ? 60 : 62, error)) return false;
    if (key != "vendor" && value.empty()) {
      error = "may not be empty";
      return false;
    }
    (key == "manufacturer" ? c.manufacturer : key == "product" ? c.product : key == "vendor" ? c.vendor : c.bootIdentity) =
        value;
  } else if (key == "serial") {
    if (!parseUnsigned(value, 0xFFFFFFFF, n) || value.find_first_not_of("0123456789") != std::string::npos) {
      error = "a decimal number of at most 4294967295";
      return false;
    }
    c.serial = static_cast<std::uint32_t>(n);
  } else if (key == "version") {
    if (!validVersion(value)) {
      error = "three or four dotted decimal numbers, e.g. 1.0.2.8";
      return false;
    }
    c.firmwareVersion = value;
  } else if (key == "version-type") {
    if (!parseUnsigned(value, 255, n)) {
      error = "a number of 0 to 255";
      return false;
    }
    c.versionType = static_cast<std::uint8_t>(n);
  } else if (key == "boot-serial") {
    if (value != "same" && value != "identity") {
      error = "same or identity";
      return false;
    }
    c.bootSerialIsIdentity = value == "identity";
  } else if (key == "target") {
    if (value != "attached" && value != "none") {
      error = "attached or none";
      return false;
    }
    c.targetAttached = value == "attached";
  } else if (key == "model") {
    if (value == "any") {
      c.fixedModel.clear();
    } else if (firmware::FindByName(value) != nullptr) {
      c.fixedModel = value;
    } else {
      error = "any, or a model name of the catalogue (qubrix models)";
      return false;
    }
  } else if (key == "erase-units") {
    if (value != "a" && value != "b" && value != "none") {
      error = "a, b or none";
      return false;
    }
    c.eraseUnits = value == "a" ? EraseUnits::A : value == "b" ? EraseUnits::B : EraseUnits::None;
  } else if (key == "erase-unit-size") {
    if (!parseUnsigned(value, 1024, n) || n == 0 || (n & (n - 1)) != 0) {
      error = "a power of two up to 1024 (the cache holds one unit)";
      return false;
    }
    c.eraseUnitSize = static_cast<std::uint16_t>(n);
  } else if (key == "voltage") {
    double volts = 0;
    std::istringstream in(value);
    if (!(in >> volts) || !in.eof() || volts < 0 || volts > 12) {
      error = "volts, 0 to 12";
      return false;
    }
    c.centivolts = static_cast<std::uint32_t>(std::lround(volts * 100));
  } else if (key == "names-per-reply") {
    if (!parseUnsigned(value, 31, n)) {
      error = "0 (as many as fit) to 31";
      return false;
    }
    c.namesPerReply = static_cast<int>(n);
  } else if (key == "touch-channels") {
    if (!parseUnsigned(value, kMaxTouchChannels, n) || n == 0) {
      error = "1 to 64";
      return false;
    }
    c.touchChannels = static_cast<int>(n);
  } else if (key == "delays") {
    if (!parseBool(value, c.delays)) {
      error = "on or off";
      return false;
    }
  } else if (key == "fault") {
    if (!FaultPlan::parse(value, error)) return false;
    c.faults = value == "none" ? std::string() : value;
  } else {
    error = "unknown key";
    return false;
  }
  return true;
}

}  // namespace emulator::programmer
