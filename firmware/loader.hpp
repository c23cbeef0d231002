#pragma once
// Loading a program file into the ProgramImage for the selected model. The loader prints nothing:
// everything the user sees (log lines, message boxes, the checksum and size labels, the hex view,
// the file-name field) goes through a LoadSink, so the window, the command line and tests share it.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/report.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/image.hpp"
#include "firmware/production/settings.hpp"

namespace firmware {

enum class ProgramFileKind { Hex, Bin, EncryptedProgram, ProductionProject };

// The kind the window gives a path: it contains ".hex", ".cab", ".cap" or ".bin" (letter case
// ignored, checked in that order); none for any other path.
std::optional<ProgramFileKind> ProgramFileKindOfPath(std::string_view path);

// ISP mode programs the data only; the other modes (Writer, Touch Debug, Serial Assistant) take
// the whole flash.
enum class LoadMode { Isp, Other };

// The ISP panel's port entry, which an encrypted program file asks about.
enum class IspPortChoice { Usb, SerialPort, NoSelection };

// Log lines and message boxes come through the Reporter's onLog and onMessage.
class LoadSink : public virtual base::Reporter {
 public:
  virtual void checksumLabel(const std::string& text) = 0;
  virtual void fileSizeLabel(const std::string& text) = 0;
  // The bytes for the hex view; valid only during the call.
  virtual void showImage(std::span<const std::uint8_t> bytes) = 0;
  virtual void fileNameField(const std::string& text) = 0;

  // A production file selects the model it was made for; the window takes the code as its
  // selection and shows the name in its panels.
  virtual void modelSelected(std::uint16_t /*modelCode*/, const std::string& /*modelName*/) {}
  // Only asked for an encrypted program file. With a serial port there the loader calls
  // askSerialProgrammerVersion, the seam where the serial ISP engine queries the programmer's
  // version (the ISP panel later requires 516 or above); no selection ends the load.
  virtual IspPortChoice ispPortChoice() { return IspPortChoice::Usb; }
  virtual void askSerialProgrammerVersion() {}
};

// The loader's reports for a front end without a window: the size text as a line, and what only a
// window shows dropped.
class LineLoadSink : public LoadSink {
 public:
  void checksumLabel(const std::string&) override {}
  void fileSizeLabel(const std::string& text) override { onLog(text, base::LogColour::Normal); }
  void showImage(std::span<const std::uint8_t>) override {}
  void fileNameField(const std::string&) override {}
};

struct LoadTarget {
  std::uint16_t modelCode = 0;  // MCU_type_index of the selected model
  LoadMode mode = LoadMode::Isp;
  const McuList* catalogue = nullptr;  // the window's own list; nullptr for Catalogue()
  // Taken over from a production file, cleared when one is refused; nullptr when nobody keeps them.
  production::ProductionSettings* settings = nullptr;
};

// Fills `image` from the file and reports through `sink`. True when the image was loaded (the
// success line was logged). A refused file leaves data and lengths as they were; only a BIN file
// whose read yields nothing, and an encrypted program file refused for want of a serial port,
// have already replaced the buffers. In ISP mode the data of an encrypted program file are left
// enciphered under the built-in TEA key; the ISP jobs decipher their copy.
bool LoadProgramFile(const std::filesystem::path& path, ProgramFileKind kind, const LoadTarget& target,
                     ProgramImage& image, LoadSink& sink);

// --- The steps every file kind shares (the production-file branch calls them too) ------------

// The capacity of the selected model: the record's flash size for the 32-bit families (family id
// "32"), else the flash class table; none for a class without capacity.
std::optional<std::uint64_t> MaxFileLength(std::uint16_t modelCode, const MCU* record);

// HEX: the data end is what was loaded. Bin: BIN and production files, whose loadedLength is the
// file's (or header's) length.
enum class LengthRule { Hex, Bin };

// Sets programLength, pageCount and, where the mode says so, loadedLength, from dataLength and
// m_MaxFileLength.
void ApplyLengthsByMode(ProgramImage& image, std::uint16_t modelCode, LoadMode mode, LengthRule rule);

// totalChecksum, programChecksum, dataChecksum and the EEPROM extension; for the 32-bit family
// type appArea and appChecksum with the word-XOR total.
void ComputeChecksums(ProgramImage& image, std::uint16_t modelCode, LoadMode mode);

// The hex view, the success line and the two label texts.
void ReportLoaded(const ProgramImage& image, LoadSink& sink);

// A refused file: the message box (caption "Tip"), the message as a red log line, the file-name
// field back to "No File Selected!" and a blank hex view.
void ReportRefused(const std::string& message, std::uint16_t modelCode, LoadSink& sink);

// An all-0xFF image of BlankViewLength bytes.
std::vector<std::uint8_t> BlankView(std::uint16_t modelCode);

}  // namespace firmware
