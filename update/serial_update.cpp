// The serial procedure: the whole flash through the microcontroller's system bootloader. A local
// file gets the same checks as a published image where they hold for a whole flash image (its
// length and the application header at 0x5800): writing anything else from 0x08000000 would leave
// a programmer that no longer starts.
#include <algorithm>
#include <array>

#include "base/texts.hpp"
#include "update/firmware_files.hpp"
#include "update/firmware_update.hpp"
#include "update/qubrix_update_intf.hpp"

namespace update {
namespace {

constexpr std::size_t kBlock = 128;
constexpr std::uint32_t kBootloaderRate = 115200;

std::optional<Bytes> loadImage(const UpdateRequest& request, UpdateSink& sink) {
  const std::string caption = base::text(102);
  if (request.localFile) {
    auto image = readWholeFile(*request.localFile);
    if (!image || image->empty()) {
      sink.onMessage(caption, base::text("update.load_failed"), base::MessageIcon::Information);
      return std::nullopt;
    }
    if (!isProgrammerImage(*image)) {
      sink.onMessage(caption, base::text("update.invalid"), base::MessageIcon::Information);
      return std::nullopt;
    }
    return image;
  }
  return downloadFirmware(request.record, request.workDir / kFirmwareFile, sink);
}

bool writeAndVerify(QubrixUpdateIntf& intf, const Bytes& image, UpdateSink& sink) {
  const std::size_t size = image.size();
  if (intf.eraseAll() != kIntfOk) return false;
  sink.onStatus(base::text("update.updating"));
  sink.onProgress(0);
  for (std::size_t offset = 0; offset < size; offset += kBlock) {
    const std::size_t n = std::min(kBlock, size - offset);
    if (intf.writeBlock(kFlashBase + static_cast<std::uint32_t>(offset), image.data() + offset, n) != kIntfOk) {
      return false;
    }
    sink.onProgress(static_cast<int>(offset * 70 / size));
  }
  sink.onStatus(base::text(110));
  std::array<std::uint8_t, kBlock> back{};
  for (std::size_t offset = 0; offset < size; offset += kBlock) {
    const std::size_t n = std::min(kBlock, size - offset);
    // A whole block is read even for a shorter last one; only the image's bytes are compared.
    if (intf.readBlock(kFlashBase + static_cast<std::uint32_t>(offset), back.data(), kBlock) != kIntfOk ||
        !std::equal(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(n), image.begin() + static_cast<std::ptrdiff_t>(offset))) {
      return false;
    }
    sink.onProgress(70 + static_cast<int>(offset * 30 / size));
  }
  return true;
}

}  // namespace

base::Outcome updateOverSerial(const UpdateRequest& request, const std::string& portPath, UpdateSink& sink) {
  const auto dataFile = request.workDir / kFirmwareFile;
  removeQuietly(dataFile);
  sink.onStarted();
  base::Outcome outcome = base::Outcome::Failed;
  if (const auto image = loadImage(request, sink)) {
    QubrixUpdateIntf intf;
    if (intf.openBootloader(portPath, kBootloaderRate) != kIntfOk) {
      sink.onMessage(base::text(102), base::text("update.no_bootloader"), base::MessageIcon::Information);
      sink.onCheckEnabled(false);
    } else if (!writeAndVerify(intf, *image, sink)) {
      sink.onStatus(base::text("update.failed"));
    } else {
      sink.onProgress(100);
      sink.onStatus(base::text("update.success"));
      sink.onMessage(base::text(102), base::text("update.success_replug"), base::MessageIcon::Information);
      outcome = base::Outcome::Success;
    }
    intf.closePort();
  }
  removeQuietly(dataFile);
  sink.onFinished();
  return outcome;
}

}  // namespace update
