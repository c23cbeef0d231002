#include "ui/main/image_save.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "base/whole_file.hpp"

namespace mainwin {
namespace {

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), s.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char want, char have) { return std::tolower(static_cast<unsigned char>(have)) == want; });
}

}  // namespace

std::string ImageListing(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() / 16 * 66 + 66);
  char buf[32];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t column = i % 16;
    if (column == 0) {
      if (i != 0) out += '\n';
      std::snprintf(buf, sizeof buf, "%06zX: ", i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X ", bytes[i]);
    out += buf;
    if (column == 7 || column == 15) out += ' ';
  }
  return out;
}

std::optional<int> SaveRefusal(const firmware::ProgramImage& image) {
  if (image.dataLength == 0) return 318;
  if (image.fromEncryptedFile) return 319;
  return std::nullopt;
}

std::span<const std::uint8_t> SavedBytes(const firmware::ProgramImage& image) {
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(image.dataLength, image.data.size()));
  return {image.data.data(), n};
}

SaveResult SaveImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::string name = path.string();
  if (endsWithNoCase(name, ".bin")) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return base::WriteWholeFile(path, raw) ? SaveResult::Saved : SaveResult::CannotWrite;
  }
  if (endsWithNoCase(name, ".txt")) {
    return base::WriteWholeFile(path, ImageListing(bytes)) ? SaveResult::Saved : SaveResult::CannotWrite;
  }
  return SaveResult::NoKind;
}

}  // namespace mainwin
