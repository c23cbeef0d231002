#include "update/firmware_check.hpp"

#include <unistd.h>

#include <charconv>
#include <exception>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/programmer_lock.hpp"
#include "device/upgrade.hpp"
#include "isp/line.hpp"
#include "update/firmware_files.hpp"
#include "update/ftp.hpp"
#include "update/qubrix_update_intf.hpp"
#include "update/version.hpp"

namespace update {
namespace {

constexpr std::uint32_t kBootloaderRate = 115200;
constexpr std::uint32_t kDownloaderRate = 1200;

std::optional<ManifestRecord> fetchManifest(const std::string& serverPath, const std::filesystem::path& workDir) {
  const auto file = workDir / kManifestFile;
  removeQuietly(file);
  std::optional<ManifestRecord> record;
  if (ftpDownloadFile(serverPath, file)) record = readManifestFile(file);
  removeQuietly(file);
  return record;
}

void checkFailed(UpdateSink& sink) {
  sink.onMessage(base::text(102), base::text("update.check_failed"), base::MessageIcon::Information);
}

}  // namespace

std::string serialNumberText(const std::string& serial) {
  std::uint32_t id = 0;
  const auto [end, ec] = std::from_chars(serial.data(), serial.data() + serial.size(), id, 10);
  if (serial.empty() || ec != std::errc() || end != serial.data() + serial.size()) return serial;
  return base::format("SN: %08X", id);
}

std::optional<CheckResult> checkUsb(UpdateSink& sink, const std::filesystem::path& workDir) {
  sink.onCurrentVersion({});
  sink.onSerialNumber({});
  sink.onLatestVersion({});
  sink.onStatus({});
  try {
    auto tool = qx::firstUpgrade();
    if (!tool) {
      sink.onMessage(base::text(102), base::text("update.not_found"), base::MessageIcon::Information);
      return std::nullopt;
    }
    FirmwareVersion current;
    int versionType = 0;
    std::string vendor;
    {
      // Its replies would mix with those of another process's job; held for the queries only.
      const qx::ProgrammerLock lock(tool->link()->serialNumber);
      if (!lock.held()) {
        sink.onMessage(base::text(102), lock.refusal(), base::MessageIcon::Warning);
        return std::nullopt;
      }
      // A programmer that cannot be opened still gets the standard manifest.
      if (tool->link()->open()) {
        sink.onSerialNumber(serialNumberText(tool->link()->serialNumber));
        if (tool->getMode() == qx::kModeApplication) {
          const std::string text = tool->getAppVersion();
          current = parseFirmwareVersion(text);
          sink.onCurrentVersion("v" + text);
        }
        versionType = tool->getVersionType(vendor);
        tool.reset();
      }
    }
    const auto record = fetchManifest(usbManifestPath(versionType, vendor), workDir);
    if (!record) {
      checkFailed(sink);
      return std::nullopt;
    }
    sink.onLatestVersion("v" + record->version);
    const bool newer = parseFirmwareVersion(record->version) > current;
    if (newer) {
      sink.onUpdateEnabled(true);
    } else {
      sink.onStatus(base::text("update.up_to_date"));
    }
    return CheckResult{*record, newer};
  } catch (const std::exception& e) {
    removeQuietly(workDir / kManifestFile);
    sink.onMessage(base::text(102), base::format(base::text("update.error").c_str(), e.what()),
                   base::MessageIcon::Error);
    return std::nullopt;
  }
}

std::optional<CheckResult> checkCom(const std::string& portPath, UpdateSink& sink,
                                    const std::filesystem::path& workDir, const WakeDownloader& wakeDownloader) {
  bool answered = false;
  {
    QubrixUpdateIntf probe;
    answered = probe.openBootloader(portPath, kBootloaderRate) == kIntfOk;
    probe.closePort();
  }
  if (!answered && wakeDownloader) wakeDownloader(portPath);
  const auto record = fetchManifest(kComManifestPath, workDir);
  if (!record) {
    checkFailed(sink);
    return std::nullopt;
  }
  sink.onLatestVersion("v" + record->version);
  sink.onUpdateEnabled(true);
  return CheckResult{*record, true};
}

bool sendQueryVersion(const std::string& portPath) {
  const int fd = isp::openLine(portPath);
  if (fd < 0) return false;
  bool ok = !isp::configureLine(fd, isp::LineSettings{kDownloaderRate, 'N', 8, 1});
  if (ok) {
    const std::uint8_t frame[4] = {0x55, 0x01, 0x44, 0x45};
    ok = ::write(fd, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame);
  }
  isp::closeLine(fd);
  return ok;
}

}  // namespace update
