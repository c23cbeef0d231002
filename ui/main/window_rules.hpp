#pragma once
// Small rules of the main window that need no window: its title, the checksum put on the
// clipboard, the open dialog's filter, the program-file choice and the log pane's room per scale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "firmware/loader.hpp"

namespace mainwin {

// "QUBRIX Tool v1.0.2" from "1.0.2.6": the first three numbers, missing ones 0.
std::string WindowTitle(std::string_view productVersion);

// "%.8x" in upper case.
std::string ChecksumClipboardText(std::uint32_t checksum);

// A filter of the form "Text|patterns|Text|patterns||" as a Qt file dialog filter
// ("Text (*.a *.b);;All files (*)").
std::string DialogFilter(std::string_view pipeFilter);

// What choosing a path means: its kind (".hex", ".bin", ".cab" or ".cap" anywhere in it, letter
// case ignored) and the text logged for the encrypted and production kinds. Empty: refused.
struct FileChoice {
  firmware::ProgramFileKind kind = firmware::ProgramFileKind::Hex;
  bool isHexFile = false;
  bool isEncryptedProgram = false;
  bool isProductionProject = false;
  std::optional<int> note;
};
std::optional<FileChoice> ChooseProgramFile(std::string_view path);

// Pixels the log pane leaves free to its right and below it in modes 0 to 2, by screen scale.
struct LogRoom {
  int width = 0;
  int height = 0;
  friend bool operator==(const LogRoom&, const LogRoom&) = default;
};
LogRoom LogRoomForScale(double scale);

}  // namespace mainwin
