#pragma once
// The window's serial and model settings in "QUBRIX_TOOL_CONFIG.ini", one section per value, with
// the rules that turn missing or unusable values into usable ones.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/ini_file.hpp"

namespace mainwin {

struct ToolSettings {
  int portNumber = 1;         // 1..127
  std::size_t portListIndex = 0;
  int baudRate = 19200;
  bool hexDisplay = false;
  bool packageDisplay = false;
  // Model code of the saved model; empty selects the first catalogue model.
  std::optional<std::uint16_t> mcuTypeIndex;
  bool hexSend = false;
  int receiveTimeoutMs = 50;
  int sendPeriodMs = 100;
  int bytesPerLine = 0;  // 0: unlimited
  bool autoClear = false;

  // The selected port's device path; a port that is gone falls back to the first one listed.
  std::string portPath;
  bool eraseChip = false;
  int upgradeBaudIndex = 0;  // 0 "AUTO", then 1200 to 115200: the baud code SetBaud carries
  bool calibrateRc = true;
  int programmingTypeIndex = 0;  // FLASH, IFB, XDATA
};

inline constexpr int kMaxUpgradeBaudIndex = 8;

// $XDG_CONFIG_HOME/QUBRIX/QUBRIX_TOOL_CONFIG.ini, ~/.config/QUBRIX/... without XDG_CONFIG_HOME.
std::filesystem::path toolSettingsPath();

// `portCount` is the number of ports listed, against which the saved list index is checked.
ToolSettings readToolSettings(const base::IniFile& ini, std::size_t portCount);
void storeToolSettings(const ToolSettings& settings, base::IniFile& ini);

}  // namespace mainwin
