#pragma once
// The store manager's reader of production files: either magic is accepted whatever the file is
// called, and the program data come back in plain form, ready to be stored in the programmer.
#include <filesystem>
#include <istream>
#include <optional>
#include <vector>

#include "firmware/catalogue.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/settings.hpp"

namespace production {

struct StoreProductionFile {
  FileKind kind = FileKind::EncryptedProgram;
  ProductionHeader header;       // every field as deciphered
  ProductionSettings settings;   // as the header gives them, with the header's key for either kind
  std::vector<std::uint8_t> data;  // dataLength bytes, deciphered when the magic begins with 0xFF
};

// None when the header fails the magic or the model check (the model code must name a record
// whose model id is the header's), or when the file holds fewer than dataLength data bytes.
std::optional<StoreProductionFile> ReadStoreProductionFile(std::istream& file, const firmware::McuList& list);
std::optional<StoreProductionFile> ReadStoreProductionFile(const std::filesystem::path& path,
                                                           const firmware::McuList& list);

}  // namespace production
