#include "emulator/serial/downloader.hpp"

#include <algorithm>
#include <utility>

#include "isp/replies.hpp"

namespace emulator::serial {
namespace {

constexpr std::size_t kBlock = isp::kShortBlockSize;
constexpr std::size_t kImageCapacity = 131072;
constexpr Micros kPowerOnWait{300000};

// The tool's reports, from its own documentation of the serial interface.
constexpr std::uint8_t kStatus = 0x80;
constexpr std::uint8_t kProgress = 0x8C;
constexpr std::uint8_t kVerify = 0x43;
enum StatusCode : std::uint8_t {
  kDownloaded = 0, kNoTarget = 1, kErasing = 2, kWriting = 3, kWritten = 4,
  kPowerNotOff = 17, kPowerOnPlease = 18, kLimit = 19, kToolId = 20,
};
enum VerifyCode : std::uint8_t { kMatch = 0, kMismatch = 1, kVerifyNoTarget = 2, kWrongModel = 3, kConnected = 4 };
constexpr std::uint8_t kCheckPowerNotOff = 0x11;
constexpr std::uint8_t kCheckPowerOnPlease = 0x12;

std::uint32_t imageChecksum(isp::Bytes bytes, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n && i < bytes.size(); ++i) sum += bytes[i];
  return sum + 2 * static_cast<std::uint32_t>(n) + 1;
}

}  // namespace

SerialDownloader::SerialDownloader(DownloaderConfig config, DownloaderFaults faults)
    : config_(std::move(config)),
      faults_(faults),
      image_(kImageCapacity, 0xFF),
      targetFlash_(config_.chip.flashSize, 1024),
      chip32_(config_.chip32) {}

const char* SerialDownloader::productName() const {
  return config_.target32 ? "QUBRIX Tool (emulated, serial, 32-bit target)" : "QUBRIX Tool (emulated, serial)";
}

std::uint32_t SerialDownloader::runsOf(std::uint32_t fileId) const {
  const auto it = runs_.find(fileId);
  return it == runs_.end() ? 0 : it->second;
}

bool SerialDownloader::wide() const { return isp::wideFields(config_.chip.familyType); }

void SerialDownloader::onReset(Wire& wire) {
  backToIdle(wire);
  wire.noteTargetPower(false);
}

void SerialDownloader::backToIdle(Wire& wire) {
  powerTarget(false, wire);
  mode_ = Mode::Idle;
  rx_.setDialect(isp::Dialect::Short);
  wire.setAutobaud(false);
  wire.setRate(kIdleRate);
}

void SerialDownloader::onByte(std::uint8_t byte, Wire& wire) {
  if (mode_ == Mode::Bridge) {
    const std::size_t before = chip32_.requests();
    chip32_.onByte(byte, wire);
    // After Release the tool drops the bridge and listens at 1200 baud again.
    if (chip32_.released()) backToIdle(wire);
    if (chip32_.requests() != before) countRequest(wire);
    return;
  }
  const auto result = rx_.push(byte);
  if (result == isp::RequestReceiver::Result::Sync) {
    wire.noteRequest(rx_.frame());
    if (mode_ != Mode::Idle) return;
    mode_ = Mode::Session;
    if (faults_.noiseBeforeSync > 0) {
      isp::Frame noise;
      for (std::size_t i = 0; i < faults_.noiseBeforeSync; ++i) noise.push_back(kNoise[i % std::size(kNoise)]);
      reply(noise, wire);
    }
    reply(isp::syncAnswerReply(isp::kSyncByteDownloader, config_.syncWithHeader), wire);
    return;
  }
  if (result != isp::RequestReceiver::Result::Request) return;
  wire.noteRequest(rx_.frame());
  if (mode_ == Mode::Idle) {
    onIdleRequest(wire);
  } else {
    onSessionRequest(wire);
  }
  countRequest(wire);
}

void SerialDownloader::countRequest(Wire& wire) {
  ++requests_;
  if (faults_.unplugAfterRequests && requests_ >= *faults_.unplugAfterRequests) wire.unplug();
}

void SerialDownloader::powerTarget(bool on, Wire& wire) {
  if (on == targetPowered_) return;
  targetPowered_ = on;
  wire.noteTargetPower(on);
}

void SerialDownloader::onIdleRequest(Wire& wire) {
  switch (rx_.command()) {
    case isp::kCmdQueryVersion: reply(isp::versionReply(config_.version), wire); return;
    case isp::kCmdPowerCycleTarget:
      if (config_.target32 && faults_.powerNotOff) {
        reply(isp::presenceReply(false), wire);
        return;
      }
      reply(isp::presenceReply(true), wire);
      if (!config_.target32) return;
      // The board is powered up again with the chip in its bootloader; the tool bridges to it.
      mode_ = Mode::Bridge;
      powerTarget(true, wire);
      chip32_.setSyncStatus(faults_.targetAbsent      ? Chip32Bootloader::kSyncNoTarget
                            : faults_.powerCycleFails ? Chip32Bootloader::kSyncPowerCycleFailed
                                                      : 0);
      chip32_.onReset(wire);
      return;
    default: return;
  }
}

void SerialDownloader::onSessionRequest(Wire& wire) {
  const isp::Bytes data = rx_.data();
  switch (rx_.command()) {
    case isp::kCmdSetBaud: {
      const std::uint8_t asked = data.empty() ? 0 : data[0];
      const std::uint8_t code = isp::baudForCode(asked) && asked != 0 ? asked : isp::kBaudCodeTool;
      if (faults_.refuseBaud) {
        reply(isp::baudAnswerReply(1, asked), wire);
        return;
      }
      reply(isp::baudAnswerReply(0, code), wire);
      wire.setRate(*isp::baudForCode(code));
      return;
    }
    case isp::kCmdConfirmBaud: {
      isp::Frame pattern = isp::lineTestPattern();
      if (faults_.lineTestWrongByte && *faults_.lineTestWrongByte < pattern.size()) {
        pattern[*faults_.lineTestWrongByte] ^= 0x20;
      }
      reply(pattern, wire);
      return;
    }
    case isp::kCmdProgramStart: onProgramStart(data, wire); return;
    case isp::kCmdErase:
      if (std::exchange(faults_.nak.erase, false)) {
        ack(0x01, wire);
        return;
      }
      if (!data.empty() && data[0] == isp::kAreaFlash && data.size() == 5) {
        job_.eraseChip = data[2] == 1;
        job_.blocks = static_cast<std::size_t>(data[3] << 8 | data[4]);
      }
      ack(0, wire);
      return;
    case isp::kCmdWriteBlock: onWriteBlock(data, wire); return;
    case isp::kCmdErasePage:
      if (std::exchange(faults_.nak.erasePage, false)) {
        ack(0x01, wire);
        return;
      }
      if (data.size() == 4) {
        const std::size_t address = isp::getBigEndian(data.subspan(1, 3));
        if (address < image_.size()) {
          std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(address), std::min<std::size_t>(1024, image_.size() - address), 0xFF);
        }
      }
      ack(0, wire);
      return;
    case isp::kCmdRead:
      if (data.size() == 5 && data[0] == 0x43) {
        const std::size_t length = std::min(image_.size(), std::size_t{data[4]} * 1024);
        reply(isp::checksumReportReply(static_cast<std::uint16_t>(imageChecksum(image_, length) - 2 * length - 1)), wire);
      }
      return;
    case isp::kCmdRun: {
      if (std::exchange(faults_.nak.run, false)) {
        ack(0x01, wire);
        return;
      }
      const std::size_t length = config_.chip.flashSize;
      reply(isp::ackReply(0, 0), wire);
      reply(isp::checksumReportReply(static_cast<std::uint16_t>(imageChecksum(image_, length) - 2 * length - 1)), wire);
      return;
    }
    case isp::kCmdEnd:
      // An End before the announced image is whole is a host that gave up: the tool drops the
      // half image rather than write it into its target.
      if (job_.blocks == 0 || job_.written < job_.blocks) {
        backToIdle(wire);
        return;
      }
      programTarget(wire);
      return;
    case isp::kCmdToolVerify: verifyTarget(data, wire); return;
    case isp::kCmdAbort:
      wire.discardQueued();
      backToIdle(wire);
      return;
    default: return;
  }
}

void SerialDownloader::onProgramStart(isp::Bytes data, Wire& wire) {
  const std::size_t lengthBytes = wide() ? 4 : 2;
  const std::size_t base = 3 + lengthBytes + isp::kInternalNameSize;
  if (data.size() != base && data.size() != base + 29) {
    ack(0x01, wire);
    return;
  }
  job_ = Job{};
  job_.modelId = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
  job_.dataLength = isp::getBigEndian(data.subspan(3, lengthBytes));
  bool wrongTool = faults_.wrongToolId;
  if (data.size() == base + 29) {
    const isp::Bytes limits = data.subspan(3 + lengthBytes, 29);
    job_.limited = limits[0] == 0x55;
    job_.writeNumMax = isp::getBigEndian(limits.subspan(1, 4));
    const std::uint32_t writerId = isp::getBigEndian(limits.subspan(5, 4));
    job_.fileId = isp::getBigEndian(limits.subspan(9, 4));
    wrongTool = wrongTool || (writerId != 0 && writerId != config_.toolId);
  }
  if (faults_.limitReached || (job_.limited && runsOf(job_.fileId) >= job_.writeNumMax)) {
    ack(isp::kStatusLimitReached, wire);
    return;
  }
  if (wrongTool) {
    ack(isp::kStatusWrongToolId, wire);
    return;
  }
  std::fill(image_.begin(), image_.end(), 0xFF);
  ack(0, wire);
}

void SerialDownloader::onWriteBlock(isp::Bytes data, Wire& wire) {
  const std::size_t addressBytes = wide() ? 4 : 3;
  if (data.size() != 2 + addressBytes + kBlock) {
    ack(0x01, wire);
    return;
  }
  const std::size_t address = isp::getBigEndian(data.subspan(1, addressBytes));
  if (data[0] == isp::kAreaXdata) {
    const bool refused = faults_.nak.loaderBlock && address / kBlock == *faults_.nak.loaderBlock;
    if (refused) faults_.nak.loaderBlock.reset();
    ack(refused ? 0x01 : 0, wire);  // the loader, handed on to the target as it is
    return;
  }
  if (faults_.nakBlock && address / kBlock == *faults_.nakBlock && !nakDone_) {
    nakDone_ = true;
    ack(0x01, wire);
    return;
  }
  if (address + kBlock > image_.size()) {
    ack(0x02, wire);
    return;
  }
  const isp::Bytes block = data.subspan(2 + addressBytes, kBlock);
  std::copy(block.begin(), block.end(), image_.begin() + static_cast<std::ptrdiff_t>(address));
  ++job_.written;
  ack(0, wire);
}

// After End the tool writes its target by itself; the reports go out as it gets along.
void SerialDownloader::programTarget(Wire& wire) {
  powerTarget(true, wire);
  report(kStatus, 0, kDownloaded, wire);
  if (faults_.powerNotOff) return stop(kStatus, 1, kPowerNotOff, wire);
  if (faults_.askPowerOn) {
    report(kStatus, 1, kPowerOnPlease, wire);
    wire.busy(kPowerOnWait);
  }
  if (faults_.targetAbsent) return stop(kStatus, 1, kNoTarget, wire);
  if (faults_.limitWhileWriting) return stop(kStatus, 1, kLimit, wire);
  if (faults_.toolIdWhileWriting) return stop(kStatus, 1, kToolId, wire);
  if (faults_.targetModelMismatch || job_.modelId != config_.chip.modelId) {
    return stop(kStatus, 1, kErasing, wire);
  }
  report(kStatus, 0, kErasing, wire);
  const std::size_t blocks = std::min(job_.blocks, targetFlash_.size() / kBlock);
  if (job_.eraseChip) {
    targetFlash_.eraseAll();
  } else if (blocks > 0) {
    targetFlash_.erase(0, blocks * kBlock);
  }
  if (faults_.writeError) return stop(kStatus, 1, kWriting, wire);
  report(kStatus, 0, kWriting, wire);
  int shown = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    targetFlash_.program(b * kBlock, isp::Bytes(image_).subspan(b * kBlock, kBlock));
    wire.busy(config_.programTimePerBlock);
    const int percent = static_cast<int>((b + 1) * 100 / blocks);
    if (percent / 10 != shown / 10) {
      shown = percent;
      reply(isp::downloaderReportReply(kProgress, 0, static_cast<std::uint8_t>(percent)), wire);
    }
  }
  if (job_.limited) ++runs_[job_.fileId];
  stop(kStatus, 0, kWritten, wire);
}

void SerialDownloader::verifyTarget(isp::Bytes data, Wire& wire) {
  const std::size_t lengthBytes = data.size() == 2 + 4 + 4 + 4 + 1 + isp::kInternalNameSize ? 4 : 2;
  if (data.size() != 2 + 4 + lengthBytes + 4 + 1 + isp::kInternalNameSize) return;
  const std::uint16_t model = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
  const std::uint32_t dataLength = isp::getBigEndian(data.subspan(6, lengthBytes));
  const std::uint32_t dataChecksum = isp::getBigEndian(data.subspan(6 + lengthBytes, 4));
  powerTarget(true, wire);
  if (faults_.powerNotOff) return stop(kStatus, 1, kCheckPowerNotOff, wire);
  if (faults_.askPowerOn) {
    report(kStatus, 1, kCheckPowerOnPlease, wire);
    wire.busy(kPowerOnWait);
  }
  if (faults_.targetAbsent) return stop(kVerify, 1, kVerifyNoTarget, wire);
  if (faults_.targetModelMismatch || model != config_.chip.modelId) {
    return stop(kVerify, 1, kWrongModel, wire);
  }
  report(kVerify, 0, kConnected, wire);
  wire.busy(config_.programTimePerBlock * static_cast<long>(dataLength / kBlock));
  const bool same = !faults_.verifyMismatch && imageChecksum(targetFlash_.bytes(), dataLength) == dataChecksum &&
                    dataLength <= targetFlash_.size();
  stop(kVerify, same ? 0 : 1, same ? kMatch : kMismatch, wire);
}

void SerialDownloader::report(std::uint8_t type, std::uint8_t flag, std::uint8_t code, Wire& wire) {
  wire.busy(config_.reportStep);
  reply(isp::downloaderReportReply(type, flag, code), wire);
}

void SerialDownloader::stop(std::uint8_t type, std::uint8_t flag, std::uint8_t code, Wire& wire) {
  report(type, flag, code, wire);
  backToIdle(wire);
}

void SerialDownloader::reply(const isp::Frame& frame, Wire& wire) {
  if (!faults_.silent) wire.send(frame);
}

void SerialDownloader::ack(std::uint8_t status, Wire& wire) { reply(isp::ackReply(status), wire); }

}  // namespace emulator::serial
