#pragma once
// What one serial ISP run needs, as plain data: the image with its lengths and checksums, the
// selected model, the production settings of an encrypted or production file and the options of
// the panel. The engine never reaches into the image loader or the catalogue; the window and the
// command line build a job from them (job_from_image.hpp).
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "firmware/production/settings.hpp"

namespace isp::engine {

struct IspJob {
  // The plain image (deciphered when it came from an encrypted file); for the 32-bit family type
  // it starts with the 4 KiB boot area. Bytes missing up to pageCount blocks are taken as 0xFF.
  std::vector<std::uint8_t> image;
  std::uint64_t maxFileLength = 0;  // m_MaxFileLength
  std::uint64_t dataLength = 0;
  std::int64_t programLength = 0;
  std::uint32_t pageCount = 0;      // blocks of 128 bytes, 512 for the 32-bit family type
  std::uint32_t totalChecksum = 0;
  std::uint64_t totalChecksumLength = 0;  // the bytes totalChecksum covers (the flash part only)
  std::uint32_t dataChecksum = 0;
  std::uint32_t appChecksum = 0;    // 32-bit family type only

  std::uint16_t mcuTypeIndex = 0;   // MCU_type_index of the selected model
  std::uint16_t modelId = 0;
  std::string modelName;
  std::string internalName;         // up to 12 characters

  bool fromEncryptedFile = false;   // a .cab was loaded
  bool productionFile = false;      // a .cab or .cap was loaded: ProgramStart carries its limits
  production::ProductionSettings production;
  std::array<std::uint8_t, 16> productionText{};  // the production header's 16-byte text field

  bool eraseChip = false;           // "Erase Chip"
  bool calibrateRc = true;          // the serial settings' calibrate-internal-RC option
  std::uint8_t upgradeBaudCode = 0; // the serial settings' upgrade-baud index, sent in SetBaud

  // The catalogue's MCU_type_index for the first record with this model id (FindByModel), used to
  // check the chip that a 32-bit bootloader identifies. Without it only the model id is compared.
  std::function<std::optional<std::uint16_t>(std::uint16_t modelId)> typeIndexOfModel;
};

}  // namespace isp::engine
