#pragma once
// "Touchconfig.TXT": the thresholds as C preprocessor lines that the user pastes into the touch
// application, one "{TS_CHn, threshold}," line per channel under the KEY_SEQ define, CR LF each.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace touch {

inline constexpr const char* kExportFileName = "Touchconfig.TXT";

// Channel numbers below 10 take one digit and a blank, thresholds below 1000 three characters
// right-aligned and a blank, so that the lines stay 25 characters wide. Wider numbers are written
// whole (the line grows) rather than cut to fit.
std::string formatTouchConfig(std::span<const std::uint8_t> numbers, std::span<const std::uint16_t> thresholds);

// The user's data folder for this program ($XDG_DATA_HOME/QUBRIX), not created here.
std::filesystem::path userDataDirectory();
// The executable's folder when it can be written, else the user's data folder (created).
std::filesystem::path exportDirectory();
// The same choice for given folders.
std::filesystem::path exportDirectory(const std::filesystem::path& executableDir, const std::filesystem::path& dataDir);

}  // namespace touch
