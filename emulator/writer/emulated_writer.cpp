#include "emulator/writer/emulated_writer.hpp"

#include <algorithm>

#include "device/writer/reports.hpp"
#include "emulator/writer/emulated_link.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/image.hpp"

namespace emulator::writer {
namespace {

using namespace qx::writer;
using std::chrono::milliseconds;

// Offline status codes.
constexpr std::uint8_t kSync = 0x30;
constexpr std::uint8_t kChipError = 0x00;  // + chip × 0x10
constexpr std::uint8_t kWrite = 0x01;
constexpr std::uint8_t kOscillator = 0x02;
constexpr std::uint8_t kComplete = 0x03;
constexpr std::uint8_t kErase = 0x04;

std::uint8_t chipCode(int chip, std::uint8_t step) { return static_cast<std::uint8_t>(chip * 0x10 + step); }

Report answer(std::uint8_t code, std::uint8_t b2 = 0, std::uint8_t b3 = 0) {
  Report r{};
  r[1] = code;
  r[2] = b2;
  r[3] = b3;
  return r;
}

}  // namespace

std::shared_ptr<EmulatedWriter> EmulatedWriter::create(WriterConfig config) {
  return std::shared_ptr<EmulatedWriter>(new EmulatedWriter(std::move(config)));
}

std::shared_ptr<WriterLink> EmulatedWriter::attach() {
  if (!present()) return nullptr;
  return std::make_shared<EmulatedLink>(shared_from_this());
}

milliseconds EmulatedWriter::pace(int ms) const { return milliseconds(config_.paced ? ms : 0); }

void EmulatedWriter::reply(Report plain, milliseconds delay) {
  // Replies leave in order, each after the one before it.
  const Clock::time_point due = std::max(Clock::now(), lastDue_) + delay;
  lastDue_ = due;
  replies_.push_back({due, plain});
  wake_.notify_all();
}

void EmulatedWriter::status(std::uint8_t code, milliseconds delay) { reply(answer(kReplyStatus, code), delay); }

bool EmulatedWriter::receive(const Report& wire) {
  std::lock_guard lock(mutex_);
  if (!present_) return false;
  if (config_.unplugAfter && hostReports_ >= *config_.unplugAfter) {
    present_ = false;
    wake_.notify_all();
    return false;
  }
  ++hostReports_;
  Report plain = wire;
  const bool start = wire[1] == kCmdControl && (wire[2] == kSubStart || wire[2] == kSubStartEncrypted);
  // The start report is never enciphered; it tells whether the rest will be.
  if (start) {
    encrypted_ = wire[2] == kSubStartEncrypted;
  } else if (encrypted_) {
    DecipherReport(plain);
  }
  log_.push_back({true, wire, plain});
  if (plain[kSumByte] != ReportSum(plain)) {
    reply(answer(kReplyError, 1), pace(2));
    return true;
  }
  handle(plain);
  return true;
}

void EmulatedWriter::handle(const Report& plain) {
  const std::uint8_t cmd = plain[1];
  const std::uint8_t sub = plain[2];
  const auto silent = [this](Step s) { return config_.silentAt == s; };
  if (cmd == kCmdControl && (sub == kSubStart || sub == kSubStartEncrypted)) {
    // A new download ends the offline rounds.
    replies_.clear();
    lastDue_ = Clock::now();
    roundsLeft_ = 0;
    if (!silent(Step::Start)) reply(answer(kReplyStarted), pace(20));
  } else if (cmd == kCmdChipInfo && sub == kSubChipInfo) {
    const firmware::McuPtr model = firmware::FindByModel(static_cast<std::uint16_t>(Big16(plain, 3)));
    familyType_ = model ? model->mcuType : firmware::kFamilyInvalid;
    limitOn_ = plain[20] != 0;
    limit_ = Big32(plain, 21);
    if (!silent(Step::Model)) reply(answer(kReplyModelB, model ? 1 : 0), pace(10));
  } else if (cmd == kCmdControl && sub == kSubFlashId) {
    if (!silent(Step::FlashId)) reply(answer(kReplyFlashId, 0xEF, 0x40), pace(5));
  } else if ((cmd == kCmdLength32 || cmd == kCmdLength16) && sub == kSubLength) {
    const std::uint32_t length = cmd == kCmdLength32 ? Big32(plain, 3) : Big16(plain, 3);
    image_.assign(length, 0xFF);
    expectedPacket_ = 0;
    // Erasing its own store for the image takes the Writer a moment.
    if (!silent(Step::Length)) reply(answer(kReplyLength), pace(200));
  } else if (cmd == kCmdControl && sub == kSubCheckCode) {
    Report r = answer(kReplyCheckCode);
    PutBig32(r, 3, checkCode() + (config_.wrongCheckCode ? 1 : 0));
    if (!silent(Step::CheckCode)) reply(r, pace(50));
  } else if (cmd == kCmdFileName && sub == kSubFileName) {
    if (silent(Step::FileName)) return;
    reply(answer(kReplyDone), pace(20));
    chips_ = 0;
    if (storeHook_) storeHook_({static_cast<std::uint32_t>(image_.size()), limitOn_, limit_, chips_});
    roundsLeft_ = config_.rounds < 0 && !config_.paced ? 1 : config_.rounds;
    scheduleRound();
  } else if (cmd >= 2 && cmd <= kPacketPayload + 2) {
    handleData(plain);
  } else {
    reply(answer(kReplyError, 2), pace(1));
  }
}

void EmulatedWriter::handleData(const Report& plain) {
  const std::uint32_t index = Big16(plain, 2);
  const std::size_t n = plain[1] - 2u;
  const std::size_t offset = std::size_t{index} * kPacketPayload;
  if (index != expectedPacket_ || offset + n > image_.size() || config_.badPacket == index) {
    reply(answer(kReplyError, 3), pace(1));
    return;
  }
  std::copy_n(plain.begin() + 4, n, image_.begin() + static_cast<std::ptrdiff_t>(offset));
  ++expectedPacket_;
  if (config_.silentAt != Step::Data) reply(answer(kReplyAck), pace(1));
}

std::uint32_t EmulatedWriter::checkCode() const {
  if (familyType_ == firmware::kFamily32Bit) return firmware::WordXorChecksum(image_, image_.size());
  return firmware::ImageChecksum(image_.data(), image_.size());
}

void EmulatedWriter::scheduleRound() {
  if (roundsLeft_ == 0) return;
  if (roundsLeft_ > 0) --roundsLeft_;
  // The operator puts two chips into the sockets; a round takes about as long as a real one.
  const auto writing = pace(300 + static_cast<int>(image_.size() / 100));
  status(kSync, pace(1500));
  for (int chip = 1; chip <= 2; ++chip) status(chipCode(chip, kErase), pace(chip == 1 ? 300 : 50));
  // A chip fails when the fault says so or when the programming limit has been used up.
  bool fails[3] = {false, false, false};
  for (int chip = 1; chip <= 2; ++chip) {
    fails[chip] = config_.chipError == chip || (limitOn_ && chips_ + static_cast<unsigned>(chip) > limit_);
  }
  for (int chip = 1; chip <= 2; ++chip) {
    if (fails[chip]) {
      status(chipCode(chip, kChipError), pace(chip == 1 ? 200 : 50));
    } else {
      status(chipCode(chip, kWrite), chip == 1 ? writing : pace(50));
    }
  }
  for (int chip = 1; chip <= 2; ++chip) {
    if (!fails[chip]) status(chipCode(chip, kOscillator), pace(chip == 1 ? 400 : 50));
  }
  unsigned done = 0;
  for (int chip = 1; chip <= 2; ++chip) {
    if (fails[chip]) continue;
    status(chipCode(chip, kComplete), pace(chip == 1 ? 200 : 50));
    ++done;
  }
  chips_ += done;
  // The next round starts when the last of these has been read.
}

qx::writer::ReadResult EmulatedWriter::nextReply(Report& out, int timeoutMs) {
  std::unique_lock lock(mutex_);
  const Clock::time_point until = Clock::now() + milliseconds(timeoutMs);
  while (true) {
    if (!present_) return ReadResult::Failed;
    if (!replies_.empty() && replies_.front().due <= Clock::now()) break;
    const Clock::time_point wakeAt = replies_.empty() ? until : std::min(until, replies_.front().due);
    if (Clock::now() >= until) return ReadResult::Timeout;
    wake_.wait_until(lock, wakeAt);
  }
  Report plain = replies_.front().plain;
  replies_.pop_front();
  if (replies_.empty()) scheduleRound();
  Report wire = plain;
  if (encrypted_) EncipherReport(wire);
  log_.push_back({false, wire, plain});
  out = wire;
  return ReadResult::Got;
}

void EmulatedWriter::onProgramStored(StoreHook hook) {
  std::lock_guard lock(mutex_);
  storeHook_ = std::move(hook);
}

void EmulatedWriter::resumeOffline(const StoredProgram& program) {
  std::lock_guard lock(mutex_);
  image_.assign(program.length, 0xFF);
  limitOn_ = program.limitOn;
  limit_ = program.limit;
  chips_ = program.chipsProgrammed;
  roundsLeft_ = config_.rounds < 0 && !config_.paced ? 1 : config_.rounds;
  lastDue_ = Clock::now();
  scheduleRound();
}

void EmulatedWriter::unplug() {
  std::lock_guard lock(mutex_);
  present_ = false;
  wake_.notify_all();
}

bool EmulatedWriter::present() const {
  std::lock_guard lock(mutex_);
  return present_;
}

std::vector<Exchange> EmulatedWriter::exchanges() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<std::uint8_t> EmulatedWriter::storedImage() const {
  std::lock_guard lock(mutex_);
  return image_;
}

unsigned EmulatedWriter::chipsProgrammed() const {
  std::lock_guard lock(mutex_);
  return chips_;
}

}  // namespace emulator::writer
