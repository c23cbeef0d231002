#pragma once
// What one download into the Writer sends: the image bytes of the download length, the model, the
// production settings and the few values of the window it carries along.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "firmware/image.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/settings.hpp"

namespace qx::writer {

struct DownloadJob {
  std::vector<std::uint8_t> bytes;  // the first `length` bytes of the image
  std::uint32_t length = 0;         // the download length
  std::uint16_t familyType = 0;     // bits 11..8 of the model code
  std::uint16_t modelId = 0;
  std::string modelName;
  std::uint32_t maxFileLength = 0;
  std::uint32_t dataLength = 0;
  std::uint32_t totalChecksum = 0;
  production::ProductionSettings settings;
  bool fromEncryptedFile = false;
  std::string fileName;  // without extension, as last chosen in the open dialog
  std::uint32_t timeStamp = 0;  // YYMMDDHH
};

// Family type 0x800 sends loadedLength bytes; every other type m_MaxFileLength.
std::uint64_t DownloadLength(const firmware::ProgramImage& image, std::uint16_t modelCode);

DownloadJob MakeDownloadJob(const firmware::ProgramImage& image, const firmware::MCU& model, std::uint16_t modelCode,
                            const production::ProductionSettings& settings, const std::string& fileName,
                            std::uint32_t timeStamp);

// The local time as YYMMDDHH.
std::uint32_t TimeStampNow();
std::uint32_t TimeStampOf(int year, int month, int day, int hour);

// Full packets and whether the length is a multiple of 60.
struct PacketPlan {
  std::uint32_t count = 0;
  bool exact = false;
  std::uint32_t remainder = 0;
};
PacketPlan PlanPackets(std::uint32_t length);

// Download's checks after the file, in order, each shown with caption "Tip" and a warning icon:
// key, limit, user code, writer id, then the Writer's presence.
std::optional<std::string> DownloadRefusal(const production::ProductionSettings& settings, bool writerConnected);

}  // namespace qx::writer
