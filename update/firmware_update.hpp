#pragma once
// The two ways a programmer gets new firmware, each run on the update worker thread:
//   over USB, through the programmer's own bootloader (restart into it, then 2048-byte pages of the
//   application area from 0x08005800, read back, restart into the application);
//   over a serial port, through the system bootloader of its microcontroller (the whole flash from
//   0x08000000 in 128-byte blocks, read back).
// The image is a local ".bin" file or the manifest record's published one, downloaded into
// "fw_data" in the working folder and removed again at the end.
#include <filesystem>
#include <optional>
#include <string>

#include "base/report.hpp"
#include "base/timer.hpp"
#include "update/manifest.hpp"
#include "update/update_sink.hpp"

namespace update {

struct UpdateRequest {
  // A local image, or nothing for the record's published one.
  std::optional<std::filesystem::path> localFile;
  ManifestRecord record;
  std::filesystem::path workDir = ".";
};

// Waits (the six 3-second searches after the restart) go through `timers`.
base::Outcome updateOverUsb(const UpdateRequest& request, UpdateSink& sink, base::TimerService& timers);
base::Outcome updateOverSerial(const UpdateRequest& request, const std::string& portPath, UpdateSink& sink);

}  // namespace update
