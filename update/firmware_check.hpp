#pragma once
// "Check": what the attached programmer runs and what the update server publishes for it. The
// manifest is fetched into "fw_xml" in the working folder and removed again.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "update/manifest.hpp"
#include "update/update_sink.hpp"

namespace update {

struct CheckResult {
  ManifestRecord record;
  // Over USB: the latest version is newer than the programmer's. Over a serial port: always.
  bool updateOffered = false;
};

// Shows serial number, current and latest version; a failure ends in its message box.
std::optional<CheckResult> checkUsb(UpdateSink& sink, const std::filesystem::path& workDir);

// A programmer on a serial line whose system bootloader does not answer may be running its
// application: `wakeDownloader` gets the port to send it the downloader's QueryVersion frame.
using WakeDownloader = std::function<void(const std::string& portPath)>;
std::optional<CheckResult> checkCom(const std::string& portPath, UpdateSink& sink,
                                    const std::filesystem::path& workDir, const WakeDownloader& wakeDownloader);

// Opens the port at 1200 baud, 8N1, and sends QueryVersion (55 01 44 45); false when the port
// cannot be opened or written.
bool sendQueryVersion(const std::string& portPath);

// "SN: %08X" of a decimal serial number text; the text itself when it is not one.
std::string serialNumberText(const std::string& serial);

}  // namespace update
