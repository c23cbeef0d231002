#include "emulator/programmer/programmer_flash.hpp"

#include <algorithm>

namespace emulator::programmer {
namespace {

bool plausibleVersion(const std::string& v) {
  if (v.empty() || v.front() == '.' || v.back() == '.') return false;
  int dots = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '.') {
      if (v[i - 1] == '.') return false;
      ++dots;
    } else if (v[i] < '0' || v[i] > '9') {
      return false;
    }
  }
  return dots == 2 || dots == 3;
}

}  // namespace

std::vector<std::uint8_t> applicationHeader(const std::string& version) {
  std::vector<std::uint8_t> h(kVersionOffset + kVersionField, 0);
  for (int i = 0; i < 4; ++i) h[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(kAppMagic >> (8 * i));
  std::copy_n(version.begin(), std::min(version.size(), kVersionField - 1), h.begin() + kVersionOffset);
  return h;
}

std::vector<std::uint8_t> firmwareImage(const std::string& version, std::size_t applicationSize) {
  std::vector<std::uint8_t> image(kAppOffset, 0xFF);
  // A recognisable bootloader body, so that a read-back shows something other than erased flash.
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>((i * 7 + 0x21) & 0xFF);
  std::vector<std::uint8_t> app = applicationHeader(version);
  app.resize(std::max(applicationSize, app.size()), 0);
  for (std::size_t i = kVersionOffset + kVersionField; i < app.size(); ++i) app[i] = static_cast<std::uint8_t>(i * 13);
  image.insert(image.end(), app.begin(), app.end());
  return image;
}

std::optional<std::string> applicationVersion(std::span<const std::uint8_t> flash) {
  if (flash.size() < kAppOffset + kVersionOffset + kVersionField) return std::nullopt;
  const auto* app = flash.data() + kAppOffset;
  std::uint32_t magic = 0;
  for (int i = 3; i >= 0; --i) magic = (magic << 8) | app[i];
  if (magic != kAppMagic) return std::nullopt;
  std::string version;
  for (std::size_t i = 0; i < kVersionField && app[kVersionOffset + i] != 0; ++i) {
    version += static_cast<char>(app[kVersionOffset + i]);
  }
  if (!plausibleVersion(version)) return std::nullopt;
  return version;
}

}  // namespace emulator::programmer
