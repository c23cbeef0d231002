#pragma once
// The files a program is added from, read the store manager's way: HEX through the stream reader
// (gaps are 0x00), .cab and .cap through the store manager's production reader, anything else as
// raw bytes. Also the verify code stored with a program and the user code typed in decimal.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "firmware/catalogue.hpp"
#include "firmware/production/store_reader.hpp"

namespace store {

enum class StoreFileKind { Hex, Production, Raw };

// By the extension, letter case ignored: ".hex", ".cab" or ".cap"; anything else is raw.
StoreFileKind storeFileKindOf(const std::filesystem::path& path);
// Whether a dropped file is taken: ".hex", ".bin", ".cab" or ".cap".
bool acceptsDroppedFile(const std::filesystem::path& path);

struct StoreFile {
  std::vector<std::uint8_t> bytes;  // empty: not a valid firmware
  // The header's fields and settings of a production file (its data are in `bytes`).
  std::optional<production::StoreProductionFile> production;
};

// Any bytes as a file of `kind`; raw contents longer than `rawLimit` are cut to rawLimit + 1 bytes,
// enough to be refused as too large.
StoreFile readStoreBytes(StoreFileKind kind, std::span<const std::uint8_t> contents, const firmware::McuList& catalogue,
                         std::size_t rawLimit);
// The file at `path`; nothing readable gives no bytes. A raw file is read up to rawLimit + 1 bytes.
StoreFile readStoreFile(const std::filesystem::path& path, const firmware::McuList& catalogue, std::size_t rawLimit);

// The image checksum of the bytes padded with 0xFF to the flash size: byte sum, 255 for every
// missing byte, 2 x flash size + 1. The bytes must not exceed the flash size.
std::uint32_t storeVerifyCode(std::span<const std::uint8_t> bytes, std::uint32_t flashSize);

// An unsigned decimal number of 32 bits, digits only; nothing for any other text.
std::optional<std::uint32_t> parseUserCode(std::string_view text);

// The store name: the file name without folder and extension.
std::string storeNameOf(const std::filesystem::path& path);

}  // namespace store
