// The serial frame receivers and reply readers on any byte stream: the engine's ReplyReceiver
// waiting for each kind of reply, the devices' RequestReceiver in both dialects, and every reader
// applied to whatever a receiver completes.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "isp/frames.hpp"
#include "isp/receivers.hpp"
#include "isp/replies.hpp"

namespace {

// The reader of `kind`. On a reply the receiver completed it must succeed; on raw bytes a reply too
// short for it is std::invalid_argument, the readers' documented refusal.
void read(isp::ReplyKind kind, isp::Bytes reply) {
  using K = isp::ReplyKind;
  switch (kind) {
    case K::None: break;
    case K::SyncAnswer: (void)isp::parseSyncAnswer(reply); break;
    case K::BaudAnswer: (void)isp::parseBaudAnswer(reply); break;
    case K::LineTest: (void)isp::isLineTestPattern(reply); break;
    case K::Ack: (void)isp::ackStatus(reply); break;
    case K::ChecksumReport: (void)isp::checksumReportValue(reply); break;
    case K::ReadData: (void)isp::parseReadData(reply); break;
    case K::DownloaderReport: (void)isp::parseDownloaderReport(reply); break;
    case K::ProgrammerInfo: (void)isp::parseProgrammerInfo(reply); break;
    case K::Presence: break;
    case K::LongAck: (void)isp::longAckStatus(reply); break;
    case K::LongIdentification: (void)isp::parseLongIdentification(reply); break;
    case K::LongChecksum: (void)isp::parseLongChecksum(reply); break;
    case K::LongReadData: (void)isp::parseLongReadData(reply); break;
  }
}

constexpr int kKinds = static_cast<int>(isp::ReplyKind::LongReadData) + 1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto kind = static_cast<isp::ReplyKind>(data[0] % kKinds);
  isp::ReplyReceiver replies;
  replies.expect(kind, (data[0] & 0x80) != 0);
  isp::RequestReceiver requests((data[0] & 0x40) ? isp::Dialect::Long : isp::Dialect::Short);
  for (std::size_t i = 1; i < size; ++i) {
    if (replies.push(data[i]) == isp::RxResult::Complete) {
      read(kind, replies.bytes());
      replies.expect(kind);
    }
    if (requests.push(data[i]) == isp::RequestReceiver::Result::Request) {
      (void)requests.command();
      (void)requests.data();
    }
  }
  for (int k = 0; k < kKinds; ++k) {
    try {
      read(static_cast<isp::ReplyKind>(k), isp::Bytes(data + 1, size - 1));
    } catch (const std::invalid_argument&) {
    }
  }
  return 0;
}
