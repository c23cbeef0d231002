#pragma once
// Where the emulated programmer keeps what a real one keeps while unplugged (target flash, store,
// its own flash, power) and its settings: $XDG_STATE_HOME/QUBRIX/emulator, by default
// ~/.local/state/QUBRIX/emulator. Files are written whole: a temporary file, then a rename.
#include <filesystem>
#include <optional>

#include "emulator/programmer/config.hpp"
#include "emulator/programmer/programmer_model.hpp"

namespace emulator::programmer {

std::filesystem::path stateDirectory();

// The settings ("programmer.conf"); the defaults when there is none.
Config loadConfig(const std::filesystem::path& dir, const Config& defaults);
bool saveConfig(const std::filesystem::path& dir, const Config& config);

// The device state ("programmer.state"); nothing when there is none or it does not read right.
std::optional<Persistent> loadState(const std::filesystem::path& dir);
bool saveState(const std::filesystem::path& dir, const Persistent& state);

// Removes both files, so that the next start is a fresh device.
void resetState(const std::filesystem::path& dir);

}  // namespace emulator::programmer
