#include "tests/ispengine/engine_rig.hpp"

#include <algorithm>

#include "isp/replies.hpp"

namespace ispenginetest {

using isp::Frame;
using isp::engine::IspEngine;
using isp::engine::IspJob;
using base::Outcome;

bool RecordingSink::logged(const std::string& text) const {
  return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.text == text; });
}

bool RecordingSink::loggedError(const std::string& text) const {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const LogLine& l) { return l.text == text && l.colour == base::LogColour::Error; });
}

std::vector<std::string> RecordingSink::texts() const {
  std::vector<std::string> out;
  for (const LogLine& l : lines) out.push_back(l.text);
  return out;
}

std::uint32_t imageChecksum(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
  return sum + 2 * static_cast<std::uint32_t>(n) + 1;
}

IspJob shortJob(std::uint16_t familyType, std::size_t dataLength) {
  IspJob job;
  job.maxFileLength = 16384;
  job.mcuTypeIndex = static_cast<std::uint16_t>(0x1000 | familyType | 0x05);
  job.modelId = 0x5812;
  job.modelName = "QX58K16";
  job.internalName = "QX58K16A";
  job.image.assign(job.maxFileLength, 0xFF);
  for (std::size_t i = 0; i < dataLength; ++i) job.image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  job.dataLength = dataLength;
  job.programLength = static_cast<std::int64_t>((dataLength + 127) / 128 * 128);
  job.pageCount = static_cast<std::uint32_t>(job.programLength / 128);
  job.totalChecksum = imageChecksum(job.image, job.maxFileLength);
  job.totalChecksumLength = job.maxFileLength;
  job.dataChecksum = imageChecksum(job.image, dataLength);
  return job;
}

IspJob longJob(std::size_t appLength) {
  IspJob job;
  job.maxFileLength = 131072;
  job.mcuTypeIndex = 0x4803;
  job.modelId = 0x3201;
  job.modelName = "QX32F128";
  job.image.assign(job.maxFileLength, 0xFF);
  const std::size_t dataLength = 4096 + appLength;
  for (std::size_t i = 0; i < dataLength; ++i) job.image[i] = static_cast<std::uint8_t>(i * 13 + 1);
  job.dataLength = dataLength;
  job.programLength = static_cast<std::int64_t>((dataLength + 511) / 512 * 512);
  job.pageCount = static_cast<std::uint32_t>(job.programLength / 512);
  const std::vector<std::uint8_t> app(job.image.begin() + 4096, job.image.end());
  job.appChecksum = imageChecksum(app, static_cast<std::size_t>(job.programLength) - 4096);
  return job;
}

Rig::Rig() : engine(link, sink, timers) {
  link.clock = &timers;
  timers.setHandler([this](int id) { engine.OnTimer(id); });
}

void Rig::reply(const Frame& bytes) { pending_.insert(pending_.end(), bytes.begin(), bytes.end()); }

void Rig::deliver() {
  while (!pending_.empty()) {
    const std::uint8_t b = pending_.front();
    pending_.pop_front();
    engine.OnByte(b);
  }
}

void Rig::runUntilIdle(base::Millis limit) {
  const base::Millis until = timers.now() + limit;
  for (;;) {
    deliver();
    if (engine.state() == IspEngine::kIdle || timers.now() > until) return;
    if (!timers.fireNext()) return;
  }
}

void Rig::advance(base::Millis duration) {
  const base::Millis until = timers.now() + duration;
  deliver();
  while (timers.now() < until) {
    timers.advance(base::Millis{1});
    deliver();
  }
}

std::vector<Frame> Rig::framesWithCommand(std::uint8_t cmd, bool longFrame) const {
  std::vector<Frame> out;
  const std::size_t at = longFrame ? 3 : 2;
  for (const Sent& s : link.sent) {
    if (s.bytes.size() > at && s.bytes[0] == isp::kRequestHeader && s.bytes[at] == cmd) out.push_back(s.bytes);
  }
  return out;
}

Responder::Responder(Rig& rig, const IspJob& job, bool asDownloader)
    : downloader(asDownloader), identifyModel(job.modelId), rig_(rig), job_(job) {
  rig_.link.onSend = [this](const Frame& f) { onFrame(f); };
}

void Responder::onFrame(const Frame& f) {
  if (f == isp::powerCycleTargetFrame()) {
    if (presence) rig_.reply(isp::presenceReply(powerOff));
    return;
  }
  if (firmware::FamilyTypeOf(job_.mcuTypeIndex) == firmware::kFamily32Bit && f != isp::endFrame() && f != isp::abortFrame()) {
    onLong(f);
  } else {
    onShort(f);
  }
}

void Responder::onShort(const Frame& f) {
  using namespace isp;
  if (f == syncBytes(Dialect::Short)) {
    rig_.reply(syncAnswerReply(downloader ? kSyncByteDownloader : syncByte));
    return;
  }
  const std::uint8_t cmd = f[2];
  const Bytes data(f.data() + 3, f.size() - 4);
  const std::uint16_t expected = static_cast<std::uint16_t>(job_.totalChecksum - 2 * job_.maxFileLength - 1);
  switch (cmd) {
    case kCmdSetBaud: rig_.reply(baudAnswerReply(baudStatus, downloader ? kBaudCodeTool : baudCode)); break;
    case kCmdConfirmBaud: {
      Frame pattern = lineTestPattern();
      if (lineTestFault) pattern[*lineTestFault] ^= 0x40;
      rig_.reply(pattern);
      break;
    }
    case kCmdProgramStart: rig_.reply(ackReply(programStartStatus)); break;
    case kCmdErase: rig_.reply(ackReply(data[0] == kAreaXdata ? xdataStatus : eraseFlashStatus)); break;
    case kCmdWriteBlock: {
      const bool wide = data.size() == 134;
      const std::uint32_t address = getBigEndian(data.subspan(1, wide ? 4 : 3));
      const bool nak = data[0] == kAreaFlash && nakBlockOnce && address / 128 == *nakBlockOnce && !nakDone_;
      if (nak) nakDone_ = true;
      rig_.reply(ackReply(nak ? 1 : 0));
      break;
    }
    case kCmdErasePage: rig_.reply(ackReply(0)); break;
    case kCmdRead: rig_.reply(checksumReportReply(static_cast<std::uint16_t>(expected + checksumDelta))); break;
    case kCmdRun:
      rig_.reply(ackReply(0));
      rig_.reply(checksumReportReply(static_cast<std::uint16_t>(expected + checksumDelta)));
      break;
    case kCmdEnd:
    case kCmdToolVerify:
      for (const Frame& r : afterEnd) rig_.reply(r);
      break;
    default: break;
  }
}

void Responder::onLong(const Frame& f) {
  using namespace isp;
  switch (f[3]) {
    case kCmdLongSync: rig_.reply(longAckReply(longSyncStatus)); break;
    case kCmdLongIdentify: rig_.reply(longIdentificationReply(identifyModel, "QX32F128   ")); break;
    case kCmdLongEraseApplication: rig_.reply(longAckReply(eraseAppStatus)); break;
    case kCmdLongWriteBlock: rig_.reply(longAckReply(0)); break;
    case kCmdLongVerifyRange: rig_.reply(longChecksumReply({}, job_.appChecksum + longChecksumDelta)); break;
    case kCmdLongRelease: rig_.reply(longAckReply(0)); break;
    default: break;
  }
}

}  // namespace ispenginetest
