#pragma once
// Writing an encrypted program file (.cab) or a production project file (.cap) from the image and
// the production settings. The path is asked for through a sink, so the window shows its save
// dialog and the command line takes -o.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "firmware/image.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/settings.hpp"

namespace production {

// What the save dialog offers. The filter is in the "label|patterns|...||" form, as given.
struct SaveDialog {
  std::filesystem::path defaultName;  // the program file's path without extension + "_JM.cab" / ".cap"
  std::string defaultExtension;        // "cab" / "cap"
  std::string filter;
};

SaveDialog SaveDialogFor(FileKind kind, const std::filesystem::path& programFile);

// The written file's line and the refusals come through the Reporter's onLog and onMessage.
class WriteSink : public virtual base::Reporter {
 public:
  // The chosen path, or none when the user cancelled (nothing more is shown then). Confirming
  // an overwrite is the dialog's part.
  virtual std::optional<std::filesystem::path> askSavePath(const SaveDialog& dialog) = 0;
};

// What the file is made from: the loaded image, the selected model and its code, and the path of
// the program file it was loaded from (for the default name).
struct WriteSource {
  const firmware::ProgramImage& image;
  const firmware::MCU& model;
  std::uint16_t modelCode = 0;
  std::filesystem::path programFile;
};

// The whole file: the enciphered header, then the first dataLength bytes of the image, enciphered
// with the header's key for a .cab (a tail of dataLength mod 8 bytes staying plain).
std::vector<std::uint8_t> ProductionFileBytes(FileKind kind, const ProductionHeader& header,
                                              const firmware::ProgramImage& image);

enum class WriteResult { Written, Cancelled, Failed };

// Runs after the panel's checks (GenerateRefusal). Builds the header from the image and settings,
// writes the file whole under the chosen name and logs the success line; a path that cannot be
// written gives 321 "Save failed. Cannot write to the file." and leaves no file behind. A written
// file's id becomes encrypt_file_id; the maximum is set to 0 when the limit is off.
WriteResult WriteProductionFile(FileKind kind, const WriteSource& source, ProductionSettings& settings, WriteSink& sink,
                                const RandomSource& random = timeSeededRandom());

}  // namespace production
