#pragma once
// Reading an encrypted program file (.cab) or a production project file (.cap) into the program
// image: the branch of LoadProgramFile for these two kinds.
#include <cstdint>
#include <istream>
#include <optional>

#include "firmware/loader.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/settings.hpp"

namespace production {

// The bytes a file of this model may carry: its capacity, with the EEPROM beside the flash for
// the two classes that have one; none for a model without capacity.
std::optional<std::uint64_t> ProductionDataLimit(std::uint16_t modelCode, const firmware::MCU& record);

// Deciphers and checks the header (magic of `kind`, a catalogue model whose id matches, data that
// fit that model and are all there), takes over its settings, selects the file's model through
// the sink, sets the lengths by mode and fills data, rawFile, appArea and header. Returns the
// file's model code; a refusal is reported through the sink and leaves the settings cleared.
// Checksums and the load report are the caller's.
std::optional<std::uint16_t> ReadProductionFile(std::istream& file, FileKind kind, const firmware::LoadTarget& target,
                                                firmware::ProgramImage& image, ProductionSettings& settings,
                                                firmware::LoadSink& sink);

}  // namespace production
