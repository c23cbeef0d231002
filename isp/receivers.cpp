#include "isp/receivers.hpp"

#include <algorithm>

#include "isp/replies.hpp"

namespace isp {
namespace {

struct Layout {
  ReplyKind kind;
  std::size_t length;
  std::uint8_t lengthHigh;  // long frames only
  std::uint8_t lengthLow;
  bool longFrame;
  bool checkChecksum;
};

// Fixed layouts; SyncAnswer, DownloaderReport, ProgrammerInfo and Presence have their own rules.
constexpr Layout kLayouts[] = {
    {ReplyKind::BaudAnswer, 6, 0, 0x03, false, false},
    {ReplyKind::Ack, 6, 0, 0x03, false, true},
    {ReplyKind::ChecksumReport, 9, 0, 0x06, false, true},
    {ReplyKind::ReadData, 135, 0, 0x84, false, true},
    {ReplyKind::LongAck, 6, 0x00, 0x02, true, true},
    {ReplyKind::LongIdentification, 18, 0x00, 0x0E, true, true},
    {ReplyKind::LongChecksum, 15, 0x00, 0x0B, true, true},
    {ReplyKind::LongReadData, 522, 0x02, 0x06, true, true},
};

std::uint8_t typeOf(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::BaudAnswer: return kReplyBaud;
    case ReplyKind::Ack: case ReplyKind::LongAck: return kReplyAck;
    case ReplyKind::LongChecksum: return kReplyLongChecksum;
    case ReplyKind::LongReadData: return kReplyReadData;
    default: return kReplyData;
  }
}

const Layout* layoutOf(ReplyKind kind) {
  for (const Layout& l : kLayouts) {
    if (l.kind == kind) return &l;
  }
  return nullptr;
}

}  // namespace

void ReplyReceiver::expect(ReplyKind kind, bool synchronising) {
  kind_ = kind;
  synchronising_ = synchronising;
  clear();
}

void ReplyReceiver::clear() {
  count_ = 0;
  complete_ = false;
}

RxResult ReplyReceiver::push(std::uint8_t byte) {
  if (complete_) clear();
  if (count_ == kCapacity) count_ = 0;
  if (count_ == 0) {
    const bool dropLeading = synchronising_ || kind_ == ReplyKind::ProgrammerInfo;
    const bool canStart = byte == kReplyHeader || (kind_ == ReplyKind::SyncAnswer && byte == 'O');
    if (dropLeading && !canStart) return RxResult::Discarded;
  }
  buffer_[count_++] = byte;
  if (kind_ == ReplyKind::ProgrammerInfo && count_ == 2 && byte != 3 && byte != 5) {
    count_ = 0;
    return RxResult::Discarded;
  }
  const std::size_t want = wantedLength();
  if (want == 0 || count_ < want) return RxResult::NeedMore;
  if (!valid()) {
    realignAfterDiscard();
    return RxResult::Discarded;
  }
  complete_ = true;
  return RxResult::Complete;
}

void ReplyReceiver::realignAfterDiscard() {
  if (kind_ == ReplyKind::LineTest) {
    count_ = 0;
    return;
  }
  // A stray byte, or a late answer to a repeated request (a second sync answer, say), would
  // otherwise shift every later reply of the same length and the run would never see one whole:
  // keep from the next byte that can start the reply on.
  const auto begin = buffer_.begin();
  const auto end = begin + static_cast<std::ptrdiff_t>(count_);
  const auto next = std::find_if(begin + 1, end, [this](std::uint8_t b) {
    return b == kReplyHeader || (kind_ == ReplyKind::SyncAnswer && b == 'O');
  });
  const auto kept = static_cast<std::size_t>(end - next);
  std::copy(next, end, begin);
  count_ = kept;
}

std::size_t ReplyReceiver::wantedLength() const {
  switch (kind_) {
    case ReplyKind::None: return 0;
    case ReplyKind::SyncAnswer: return buffer_[0] == 'O' ? 3 : 4;
    case ReplyKind::LineTest: return kLineTestLength;
    case ReplyKind::DownloaderReport: return 7;
    case ReplyKind::Presence: return 4;
    case ReplyKind::ProgrammerInfo: return count_ < 2 ? 0 : (buffer_[1] == 3 ? 6 : 8);
    default: return layoutOf(kind_)->length;
  }
}

bool ReplyReceiver::valid() const {
  const Bytes r = bytes();
  switch (kind_) {
    case ReplyKind::SyncAnswer: {
      const std::size_t at = r[0] == 'O' ? 0 : 1;
      return (at == 0 || r[0] == kReplyHeader) && r[at] == 'O' && r[at + 1] == 'K';
    }
    case ReplyKind::LineTest: return true;
    case ReplyKind::DownloaderReport:
      return r[0] == kReplyHeader && r[1] == 0x04 &&
             (r[2] == kReplyAck || r[2] == kReplyProgress || r[2] == kReplyVerify) && checksumMatches(r);
    case ReplyKind::Presence:
      return r[0] == kReplyHeader && r[1] == 0x01 && (r[2] == kReplyAck || r[2] == kReplyBaud) && checksumMatches(r);
    case ReplyKind::ProgrammerInfo: return r[0] == kReplyHeader && r[2] == kReplyData && checksumMatches(r);
    default: break;
  }
  const Layout& l = *layoutOf(kind_);
  const std::size_t typeAt = l.longFrame ? 3 : 2;
  const bool lengthOk = l.longFrame ? (r[1] == l.lengthHigh && r[2] == l.lengthLow) : r[1] == l.lengthLow;
  return r[0] == kReplyHeader && lengthOk && r[typeAt] == typeOf(kind_) && (!l.checkChecksum || checksumMatches(r));
}

void RequestReceiver::setDialect(Dialect dialect) {
  dialect_ = dialect;
  clear();
}

void RequestReceiver::clear() {
  buffer_.clear();
  done_ = false;
}

std::uint8_t RequestReceiver::command() const {
  const std::size_t at = dialect_ == Dialect::Long ? 3 : 2;
  return buffer_.size() > at ? buffer_[at] : 0;
}

Bytes RequestReceiver::data() const {
  const std::size_t at = dialect_ == Dialect::Long ? 4 : 3;
  if (buffer_.size() < at + 1) return {};
  return Bytes(buffer_).subspan(at, buffer_.size() - at - 1);
}

RequestReceiver::Result RequestReceiver::start(std::uint8_t byte) {
  buffer_.clear();
  if (byte == kRequestHeader || (dialect_ == Dialect::Short && byte == 0xC1)) {
    buffer_.push_back(byte);
    return Result::NeedMore;
  }
  return Result::Discarded;
}

RequestReceiver::Result RequestReceiver::push(std::uint8_t byte) {
  if (done_) clear();
  if (buffer_.empty()) return start(byte);
  buffer_.push_back(byte);
  const std::size_t n = buffer_.size();
  if (buffer_[0] == 0xC1) {
    static constexpr std::uint8_t kSync[] = {0xC1, 0x83, 0x07};
    if (byte != kSync[n - 1]) {
      // A broken sync sequence may hide the start of the next request.
      return start(byte) == Result::NeedMore ? Result::NeedMore : Result::Discarded;
    }
    if (n < 3) return Result::NeedMore;
    done_ = true;
    return Result::Sync;
  }
  const std::size_t lengthBytes = dialect_ == Dialect::Long ? 2 : 1;
  if (n <= lengthBytes) return Result::NeedMore;
  const std::size_t len = lengthBytes == 2 ? (std::size_t{buffer_[1]} << 8 | buffer_[2]) : buffer_[1];
  if (len == 0) {
    buffer_.clear();
    return Result::Discarded;
  }
  if (n < 1 + lengthBytes + len + 1) return Result::NeedMore;
  if (!checksumMatches(buffer_)) {
    buffer_.clear();
    return Result::Discarded;
  }
  done_ = true;
  return Result::Request;
}

}  // namespace isp
