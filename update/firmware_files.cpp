#include "update/firmware_files.hpp"

#include <fstream>
#include <iterator>

#include "base/texts.hpp"
#include "update/ftp.hpp"
#include "update/md5.hpp"

namespace update {

std::optional<Bytes> readWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool isProgrammerImage(const Bytes& image) {
  if (image.size() <= kMinimumImage) return false;
  const std::uint32_t word = image[kApplicationOffset] | (image[kApplicationOffset + 1] << 8) |
                             (image[kApplicationOffset + 2] << 16) |
                             (static_cast<std::uint32_t>(image[kApplicationOffset + 3]) << 24);
  return word == kApplicationMagic;
}

void removeQuietly(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
}

std::optional<Bytes> downloadFirmware(const ManifestRecord& record, const std::filesystem::path& dataFile,
                                      UpdateSink& sink) {
  const std::string caption = base::text(102);
  sink.onStatus(base::text("update.downloading"));
  const bool downloaded =
      ftpDownloadFile(record.path, dataFile, [&sink](int percent) { sink.onProgress(percent * 20 / 100); });
  if (!downloaded) {
    sink.onMessage(caption, base::text("update.download_failed"), base::MessageIcon::Information);
    return std::nullopt;
  }
  if (fileMd5Hex(dataFile) != record.hash) {
    removeQuietly(dataFile);
    sink.onMessage(caption, base::text("update.hash_failed"), base::MessageIcon::Information);
    return std::nullopt;
  }
  auto image = readWholeFile(dataFile);
  if (!image || image->empty()) {
    removeQuietly(dataFile);
    sink.onMessage(caption, base::text("update.download_failed"), base::MessageIcon::Information);
    return std::nullopt;
  }
  return image;
}

}  // namespace update
