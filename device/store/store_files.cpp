#include "device/store/store_files.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "firmware/hex.hpp"

namespace store {
namespace {

std::string lowerExtension(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::vector<std::uint8_t> readUpTo(std::istream& in, std::size_t limit) {
  std::vector<std::uint8_t> out;
  char buffer[4096];
  while (out.size() < limit && in.read(buffer, static_cast<std::streamsize>(std::min(sizeof buffer, limit - out.size())))) {
    out.insert(out.end(), buffer, buffer + in.gcount());
  }
  if (out.size() < limit) out.insert(out.end(), buffer, buffer + in.gcount());
  return out;
}

StoreFile readStream(StoreFileKind kind, std::istream& in, const firmware::McuList& catalogue, std::size_t rawLimit) {
  StoreFile file;
  switch (kind) {
    case StoreFileKind::Hex:
      file.bytes = firmware::ParseHexStream(in);
      break;
    case StoreFileKind::Production:
      file.production = production::ReadStoreProductionFile(in, catalogue);
      if (file.production) file.bytes = std::move(file.production->data);
      break;
    case StoreFileKind::Raw:
      file.bytes = readUpTo(in, rawLimit == SIZE_MAX ? rawLimit : rawLimit + 1);
      break;
  }
  return file;
}

}  // namespace

StoreFileKind storeFileKindOf(const std::filesystem::path& path) {
  const std::string ext = lowerExtension(path);
  if (ext == ".hex") return StoreFileKind::Hex;
  if (ext == ".cab" || ext == ".cap") return StoreFileKind::Production;
  return StoreFileKind::Raw;
}

bool acceptsDroppedFile(const std::filesystem::path& path) {
  const std::string ext = lowerExtension(path);
  return ext == ".hex" || ext == ".bin" || ext == ".cab" || ext == ".cap";
}

StoreFile readStoreBytes(StoreFileKind kind, std::span<const std::uint8_t> contents, const firmware::McuList& catalogue,
                         std::size_t rawLimit) {
  std::istringstream in(std::string(contents.begin(), contents.end()));
  return readStream(kind, in, catalogue, rawLimit);
}

StoreFile readStoreFile(const std::filesystem::path& path, const firmware::McuList& catalogue, std::size_t rawLimit) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return readStream(storeFileKindOf(path), in, catalogue, rawLimit);
}

std::uint32_t storeVerifyCode(std::span<const std::uint8_t> bytes, std::uint32_t flashSize) {
  std::uint32_t sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  const auto missing = static_cast<std::uint32_t>(flashSize - std::min<std::size_t>(bytes.size(), flashSize));
  return sum + 255u * missing + 2u * flashSize + 1u;
}

std::optional<std::uint32_t> parseUserCode(std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string storeNameOf(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace store
