#pragma once
// Saving the loaded image (Ctrl+S): the whole image as .bin, or a hex listing as .txt.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "firmware/image.hpp"

namespace mainwin {

// Lines "%06X: " then 16 bytes as "%02X ", one more blank after the 8th and the 16th byte, joined
// by "\n"; the last line ends after its last byte.
std::string ImageListing(std::span<const std::uint8_t> bytes);

// Why an image cannot be saved: the text number of the message, or empty when it can be.
std::optional<int> SaveRefusal(const firmware::ProgramImage& image);

// The first dataLength bytes of the image.
std::span<const std::uint8_t> SavedBytes(const firmware::ProgramImage& image);

enum class SaveResult { Saved, CannotWrite, NoKind };

// ".bin" writes the bytes, ".txt" the listing (letter case ignored); any other ending saves
// nothing. Either file is written whole or not at all.
SaveResult SaveImageFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace mainwin
