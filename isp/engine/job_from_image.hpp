#pragma once
// The job of one serial ISP run, built from what the window and the command line hold: the loaded
// image, the selected model and the production settings.
#include <cstdint>

#include "firmware/image.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/settings.hpp"
#include "isp/engine/job.hpp"

namespace isp::engine {

struct JobOptions {
  bool eraseChip = false;
  bool calibrateRc = true;
  std::uint8_t upgradeBaudCode = 0;
};

// `productionHeader` is the deciphered header when a .cab or .cap is loaded, else nullptr; its
// model name is the text field that ProgramStart carries with the limits. The data of an encrypted
// program file, which the ISP mode keeps enciphered under the built-in key, is deciphered here.
// The 32-bit identification is checked against the process-wide catalogue.
IspJob jobFromImage(const firmware::ProgramImage& image, const firmware::MCU& model,
                    const production::ProductionSettings& settings,
                    const production::ProductionHeader* productionHeader, const JobOptions& options);

}  // namespace isp::engine
