// The USB procedure. A programmer left in its bootloader by a failed run is found there again by
// the next one (its mode is then 1, so no restart is needed).
#include <algorithm>
#include <exception>
#include <memory>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/programmer_lock.hpp"
#include "device/upgrade.hpp"
#include "update/firmware_files.hpp"
#include "update/firmware_update.hpp"

namespace update {
namespace {

constexpr std::size_t kPart = 2048;
constexpr int kSearches = 6;
constexpr base::Millis kSearchWait{3000};
constexpr const char* kConfirmVersion = "1.0.2.5";

class UsbRun {
 public:
  UsbRun(const UpdateRequest& request, UpdateSink& sink, base::TimerService& timers)
      : request_(request), sink_(sink), timers_(timers) {}

  base::Outcome run() {
    const auto image = loadImage();
    if (!image) return cancelled_ ? base::Outcome::Cancelled : base::Outcome::Failed;
    auto tool = openBootloader();
    if (!tool) return base::Outcome::Failed;
    return write(*tool, *image) ? base::Outcome::Success : base::Outcome::Failed;
  }

 private:
  bool fail(const std::string& textName) {
    sink_.onMessage(base::text(102), base::text(textName), base::MessageIcon::Information);
    return false;
  }

  std::optional<Bytes> loadImage() {
    if (request_.localFile) {
      sink_.onStatus(base::text("update.loading"));
      auto image = readWholeFile(*request_.localFile);
      if (!image || !isProgrammerImage(*image)) {
        fail("update.invalid");
        return std::nullopt;
      }
      return image;
    }
    if (request_.record.version == kConfirmVersion &&
        !sink_.onQuestion(base::text("update.confirm"), base::text("update.confirm_1025"))) {
      cancelled_ = true;
      return std::nullopt;
    }
    return downloadFirmware(request_.record, request_.workDir / kFirmwareFile, sink_);
  }

  std::shared_ptr<qx::QUBRIXToolUpgradeIntf> openBootloader() {
    auto tool = qx::firstUpgrade();
    if (!tool) {
      fail("update.not_found");
      return nullptr;
    }
    // Held to the end of the run: a job of another process mid-write would brick the programmer.
    lock_ = std::make_unique<qx::ProgrammerLock>(tool->link()->serialNumber);
    if (!lock_->held()) {
      sink_.onMessage(base::text(102), lock_->refusal(), base::MessageIcon::Warning);
      return nullptr;
    }
    if (!tool->link()->open()) {
      fail("update.cannot_open");
      return nullptr;
    }
    const std::string serial = qx::toolSerialNumber(tool);
    if (tool->getMode() == qx::kModeBootloader) return tool;
    const std::string bootIdentity = tool->getBootIdentity();
    tool->restart(qx::kModeBootloader);
    tool.reset();
    for (int search = 0; search < kSearches && !tool; ++search) {
      timers_.wait(kSearchWait);
      tool = qx::findUpgradeBySerial(serial);
      if (!tool && !bootIdentity.empty()) tool = qx::findUpgradeBySerial(bootIdentity);
    }
    if (!tool) {
      fail("update.no_boot");
      return nullptr;
    }
    if (!tool->link()->open()) {
      fail("update.cannot_open");
      return nullptr;
    }
    return tool;
  }

  bool write(qx::QUBRIXToolUpgradeIntf& tool, const Bytes& image) {
    if (image.size() < kMinimumImage) return fail("update.invalid");
    const std::span<const std::uint8_t> app(image.data() + kApplicationOffset, image.size() - kApplicationOffset);
    const std::uint32_t base = kFlashBase + kApplicationOffset;
    const std::size_t total = app.size();
    sink_.onStatus(base::text("update.updating"));
    for (std::size_t o = 0; o < total; o += kPart) {
      const auto part = app.subspan(o, std::min(kPart, total - o));
      const auto at = base + static_cast<std::uint32_t>(o);
      if (!tool.erasePage(at)) return fail("update.erase_failed");
      if (!tool.writeMemory(at, part)) return fail("update.write_failed");
      sink_.onProgress(20 + static_cast<int>((o + part.size()) * 50 / total));
    }
    sink_.onStatus(base::text(110));
    for (std::size_t o = 0; o < total; o += kPart) {
      const auto part = app.subspan(o, std::min(kPart, total - o));
      const Bytes back = tool.readMemory(base + static_cast<std::uint32_t>(o), static_cast<std::uint32_t>(part.size()));
      if (back.size() < part.size() || !std::equal(part.begin(), part.end(), back.begin())) {
        sink_.onMessage(base::text(102), base::text(126), base::MessageIcon::Information);
        return false;
      }
      sink_.onProgress(70 + static_cast<int>((o + part.size()) * 30 / total));
    }
    tool.restart(qx::kModeApplication);
    sink_.onStatus(base::text("update.success"));
    return true;
  }

  const UpdateRequest& request_;
  UpdateSink& sink_;
  base::TimerService& timers_;
  bool cancelled_ = false;
  std::unique_ptr<qx::ProgrammerLock> lock_;
};

}  // namespace

base::Outcome updateOverUsb(const UpdateRequest& request, UpdateSink& sink, base::TimerService& timers) {
  const auto dataFile = request.workDir / kFirmwareFile;
  removeQuietly(dataFile);
  sink.onStarted();
  sink.onProgress(0);
  base::Outcome outcome = base::Outcome::Failed;
  try {
    outcome = UsbRun(request, sink, timers).run();
  } catch (const std::exception& e) {
    sink.onMessage(base::text(102), base::format(base::text("update.failed_error").c_str(), e.what()),
                   base::MessageIcon::Information);
  }
  removeQuietly(dataFile);
  sink.onFinished();
  return outcome;
}

}  // namespace update
