#pragma once
// The files of an update run: the manifest "fw_xml" and the firmware "fw_data" in the working
// folder, the checks a programmer image must pass, and the download of a published image with
// its MD5 check.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "update/manifest.hpp"
#include "update/update_sink.hpp"

namespace update {

using Bytes = std::vector<std::uint8_t>;

inline constexpr const char* kManifestFile = "fw_xml";
inline constexpr const char* kFirmwareFile = "fw_data";
inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kApplicationOffset = 0x5800;
// An image must be longer than this to carry an application.
inline constexpr std::size_t kMinimumImage = 0x6000;
inline constexpr std::uint32_t kApplicationMagic = 0xAA55AA55;

// The whole file; nothing when it cannot be read.
std::optional<Bytes> readWholeFile(const std::filesystem::path& file);
// Longer than 0x6000 bytes, with 0xAA55AA55 (little-endian) at 0x5800.
bool isProgrammerImage(const Bytes& image);

// Downloads the record's image to `dataFile` with the download's share of the progress bar
// (0..20), checks its MD5 against the manifest exactly as written and reads it. On failure the
// message box is shown, the file removed, and nothing returned.
std::optional<Bytes> downloadFirmware(const ManifestRecord& record, const std::filesystem::path& dataFile,
                                      UpdateSink& sink);

void removeQuietly(const std::filesystem::path& file);

}  // namespace update
