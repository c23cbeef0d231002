#pragma once
// The file the window holds when a button of the ISP panel is pressed, and the two jobs made of
// it: one for the programmer over USB, one for the serial ISP engine.
#include <optional>
#include <string>

#include "device/jobs/job.hpp"
#include "firmware/image.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/settings.hpp"
#include "isp/engine/job.hpp"
#include "isp/engine/job_from_image.hpp"

namespace isppanel {

struct LoadedFile {
  const firmware::ProgramImage* image = nullptr;  // null: nothing loaded
  firmware::McuPtr model;                          // the selected model
  production::ProductionSettings settings;         // of a loaded .cab or .cap
  bool selected = false;                           // the file field names a file
  bool productionFile = false;                     // a .cab or .cap is loaded
  // The port entry selected when the loaded encrypted program file was loaded.
  std::optional<std::string> encryptedLoadPort;

  bool programmable() const { return image != nullptr && model != nullptr; }
  bool encrypted() const { return image != nullptr && image->fromEncryptedFile; }
};

usbjobs::UsbJob usbJobOf(const LoadedFile& file, bool eraseChip);
isp::engine::IspJob serialJobOf(const LoadedFile& file, const isp::engine::JobOptions& options);

}  // namespace isppanel
