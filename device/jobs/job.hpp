#pragma once
// One USB programming or verification run, built by jobFromSource from what the window and the
// command line hold: the loaded image, the selected model and the production settings of a loaded
// production file.
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/image.hpp"
#include "firmware/job_source.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/settings.hpp"

namespace usbjobs {

struct UsbJob {
  // The first m_MaxFileLength bytes of the image, deciphered when it came from an encrypted file.
  std::vector<std::uint8_t> bytes;
  std::int64_t programLength = 0;
  std::uint64_t dataLength = 0;
  std::uint32_t totalChecksum = 0;

  firmware::McuPtr model;  // null: no model selected
  std::uint16_t mcuTypeIndex = 0;

  // Only read when a production file (.cab or .cap) is loaded.
  bool productionFile = false;
  production::ProductionSettings production;
  bool fromEncryptedFile = false;

  bool eraseChip = false;
  // The programmer's serial number; empty takes the first one attached.
  std::string programmerSerial;
};

// The program bytes, lengths and checksum of the image, the model, and a production file's settings,
// whose limits and writer id the jobs then check against the programmer.
UsbJob jobFromSource(const firmware::JobSource& source, bool eraseChip);

}  // namespace usbjobs
