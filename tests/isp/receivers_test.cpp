#include "isp/receivers.hpp"

#include <gtest/gtest.h>

#include "isp/replies.hpp"

namespace isp {
namespace {

// Feeds `bytes` and returns the results, one per byte.
std::vector<RxResult> feed(ReplyReceiver& rx, const Frame& bytes) {
  std::vector<RxResult> results;
  for (std::uint8_t b : bytes) results.push_back(rx.push(b));
  return results;
}

// True when only the last byte completed the reply.
bool completesExactlyAtEnd(const std::vector<RxResult>& results) {
  if (results.empty() || results.back() != RxResult::Complete) return false;
  for (std::size_t i = 0; i + 1 < results.size(); ++i) {
    if (results[i] != RxResult::NeedMore) return false;
  }
  return true;
}

struct ReplyCase {
  const char* name;
  ReplyKind kind;
  Frame reply;
  std::size_t length;
};

std::vector<ReplyCase> validReplies() {
  const Frame block128(kShortBlockSize, 0x3C);
  const Frame block512(kLongBlockSize, 0xC3);
  return {
      {"sync OK", ReplyKind::SyncAnswer, syncAnswerReply(0x00), 3},
      {"sync AA OK", ReplyKind::SyncAnswer, syncAnswerReply(kSyncByteDownloader, true), 4},
      {"baud answer", ReplyKind::BaudAnswer, baudAnswerReply(0, 8), 6},
      {"line test", ReplyKind::LineTest, lineTestPattern(), 255},
      {"ack", ReplyKind::Ack, ackReply(0x00), 6},
      {"checksum report", ReplyKind::ChecksumReport, checksumReportReply(0xBEEF), 9},
      {"read data", ReplyKind::ReadData, readDataReply(kAreaFlash, block128), 135},
      {"status report", ReplyKind::DownloaderReport, downloaderReportReply(kReplyAck, 0, 2), 7},
      {"progress report", ReplyKind::DownloaderReport, downloaderReportReply(kReplyProgress, 0, 42), 7},
      {"verify report", ReplyKind::DownloaderReport, downloaderReportReply(kReplyVerify, 0, 0), 7},
      {"version", ReplyKind::ProgrammerInfo, versionReply(516), 6},
      {"serial number", ReplyKind::ProgrammerInfo, serialNumberReply(0x0012ABCD), 8},
      {"presence", ReplyKind::Presence, presenceReply(true), 4},
      {"power still on", ReplyKind::Presence, presenceReply(false), 4},
      {"long ack", ReplyKind::LongAck, longAckReply(0), 6},
      {"long identification", ReplyKind::LongIdentification, longIdentificationReply(0x0801, "QX32W301234"), 18},
      {"long checksum", ReplyKind::LongChecksum, longChecksumReply({0, 0x10, 0, 0, 0x80, 0}, 0x01020304), 15},
      {"long read data", ReplyKind::LongReadData, longReadDataReply(0x001000, block512), 522},
  };
}

TEST(IspReplyReceiver, EveryLayoutCompletesAtItsExactLength) {
  for (const ReplyCase& c : validReplies()) {
    ReplyReceiver rx;
    rx.expect(c.kind);
    ASSERT_EQ(c.reply.size(), c.length) << c.name;
    EXPECT_TRUE(completesExactlyAtEnd(feed(rx, c.reply))) << c.name;
    EXPECT_EQ(Frame(rx.bytes().begin(), rx.bytes().end()), c.reply) << c.name;
  }
}

TEST(IspReplyReceiver, TruncatedReplyNeverCompletesAndTheNextOneIsDropped) {
  for (const ReplyCase& c : validReplies()) {
    // Without a checked last byte these layouts cannot tell a cut reply from a whole one.
    if (c.kind == ReplyKind::LineTest || c.kind == ReplyKind::SyncAnswer || c.kind == ReplyKind::BaudAnswer) continue;
    ReplyReceiver rx;
    rx.expect(c.kind);
    const Frame cut(c.reply.begin(), c.reply.end() - 1);
    for (RxResult r : feed(rx, cut)) EXPECT_EQ(r, RxResult::NeedMore) << c.name;
    // The next reply's first byte completes the count with garbage: dropped, never accepted.
    EXPECT_NE(rx.push(c.reply[0]), RxResult::Complete) << c.name;
  }
}

TEST(IspReplyReceiver, WrongChecksumIsDroppedAndTheNextReplyAccepted) {
  for (const ReplyCase& c : validReplies()) {
    if (c.kind == ReplyKind::SyncAnswer || c.kind == ReplyKind::LineTest || c.kind == ReplyKind::BaudAnswer) continue;
    ReplyReceiver rx;
    rx.expect(c.kind);
    Frame bad = c.reply;
    bad.back() ^= 0x01;
    EXPECT_EQ(feed(rx, bad).back(), RxResult::Discarded) << c.name;
    EXPECT_EQ(rx.count(), 0u) << c.name;
    EXPECT_TRUE(completesExactlyAtEnd(feed(rx, c.reply))) << c.name;
  }
}

TEST(IspReplyReceiver, WrongHeaderLengthOrTypeIsDropped) {
  struct Case {
    const char* name;
    ReplyKind kind;
    Frame reply;
  };
  Frame wrongHeader = ackReply(0);
  wrongHeader[0] = 0x55;
  Frame wrongType = shortFrame(kReplyHeader, kReplyData, Frame{0x00, 0x00});  // 6 bytes, type 0x82
  Frame wrongLongLength = longAckReply(0);
  wrongLongLength[1] = 0x01;
  wrongLongLength.back() = frameChecksum(wrongLongLength);
  const Case cases[] = {
      {"header", ReplyKind::Ack, wrongHeader},
      {"type", ReplyKind::Ack, wrongType},
      {"long length", ReplyKind::LongAck, wrongLongLength},
      {"report type", ReplyKind::DownloaderReport, downloaderReportReply(0x99, 0, 0)},
      {"sync without K", ReplyKind::SyncAnswer, Frame{'O', 'X', 0x00}},
      {"version LEN", ReplyKind::ProgrammerInfo, shortFrame(kReplyHeader, kReplyData, Frame{1, 2, 3})},
  };
  for (const Case& c : cases) {
    ReplyReceiver rx;
    rx.expect(c.kind);
    const std::vector<RxResult> results = feed(rx, c.reply);
    EXPECT_EQ(std::count(results.begin(), results.end(), RxResult::Complete), 0) << c.name;
    EXPECT_GE(std::count(results.begin(), results.end(), RxResult::Discarded), 1) << c.name;
  }
}

TEST(IspReplyReceiver, BaudAnswerChecksumIsNotChecked) {
  ReplyReceiver rx;
  rx.expect(ReplyKind::BaudAnswer);
  Frame reply = baudAnswerReply(0, 10);
  reply.back() = 0x00;
  EXPECT_TRUE(completesExactlyAtEnd(feed(rx, reply)));
  const BaudAnswer a = parseBaudAnswer(rx.bytes());
  EXPECT_TRUE(a.accepted());
  EXPECT_EQ(a.rate, 460800u);
}

TEST(IspReplyReceiver, BaudAnswerRefusalsAndUnknownCodes) {
  EXPECT_FALSE(parseBaudAnswer(baudAnswerReply(1, 8)).accepted());
  const BaudAnswer unknown = parseBaudAnswer(baudAnswerReply(0, 13));
  EXPECT_FALSE(unknown.accepted());
  EXPECT_FALSE(unknown.rate);
  EXPECT_EQ(parseBaudAnswer(baudAnswerReply(0, 12)).rate, 1000000u);
}

TEST(IspReplyReceiver, ShortSyncSkipsNoiseBeforeTheAnswer) {
  ReplyReceiver rx;
  rx.expect(ReplyKind::SyncAnswer, true);
  const Frame noise{0x00, 0xFF, 0x4B, 0x07};
  for (RxResult r : feed(rx, noise)) EXPECT_EQ(r, RxResult::Discarded);
  EXPECT_TRUE(completesExactlyAtEnd(feed(rx, syncAnswerReply(kSyncByteDownloader))));
  EXPECT_TRUE(parseSyncAnswer(rx.bytes()).downloader());

  rx.expect(ReplyKind::SyncAnswer, true);
  EXPECT_EQ(rx.push(0x13), RxResult::Discarded);
  EXPECT_TRUE(completesExactlyAtEnd(feed(rx, syncAnswerReply(0x5A, true))));
  EXPECT_FALSE(parseSyncAnswer(rx.bytes()).downloader());
}

TEST(IspReplyReceiver, LongSyncSkipsAnythingButTheHeader) {
  ReplyReceiver rx;
  rx.expect(ReplyKind::LongAck, true);
  for (std::uint8_t b : Frame{0x00, 0x00, 'O', 0x55}) EXPECT_EQ(rx.push(b), RxResult::Discarded);
  EXPECT_TRUE(completesExactlyAtEnd(feed(rx, longAckReply(1))));
  EXPECT_EQ(longAckStatus(rx.bytes()), 1);
}

TEST(IspReplyReceiver, AShortReplyAfterStrayBytesIsFoundAtItsHeader) {
  struct Case {
    const char* name;
    ReplyKind kind;
    Frame before;
    Frame reply;
  };
  const Case cases[] = {
      {"noise byte before an ack", ReplyKind::Ack, {0x00}, ackReply(0)},
      {"a header byte as noise", ReplyKind::Ack, {kReplyHeader}, ackReply(0x11)},
      {"two noise bytes before a checksum report", ReplyKind::ChecksumReport, {0x13, 0x37}, checksumReportReply(0x1234)},
      {"a second sync answer before the baud answer", ReplyKind::BaudAnswer, syncAnswerReply(0x5A), baudAnswerReply(0, 8)},
      {"a second AA sync answer before the baud answer", ReplyKind::BaudAnswer, syncAnswerReply(0x5A, true),
       baudAnswerReply(0, 8)},
      {"noise before a downloader report", ReplyKind::DownloaderReport, {0x7E}, downloaderReportReply(kReplyAck, 0, 3)},
  };
  for (const Case& c : cases) {
    ReplyReceiver rx;
    rx.expect(c.kind);
    Frame stream = c.before;
    stream.insert(stream.end(), c.reply.begin(), c.reply.end());
    const std::vector<RxResult> results = feed(rx, stream);
    ASSERT_EQ(results.back(), RxResult::Complete) << c.name;
    EXPECT_EQ(std::count(results.begin(), results.end(), RxResult::Complete), 1) << c.name;
    EXPECT_EQ(Frame(rx.bytes().begin(), rx.bytes().end()), c.reply) << c.name;
  }
}

TEST(IspReplyReceiver, ALongReplyAfterAStrayOneIsFoundAtItsHeader) {
  ReplyReceiver rx;
  rx.expect(ReplyKind::LongIdentification);
  const Frame identification = longIdentificationReply(0x0801, "QX32W301234");
  Frame stream = longAckReply(0);  // the answer to a sync sent twice
  stream.insert(stream.end(), identification.begin(), identification.end());
  const std::vector<RxResult> results = feed(rx, stream);
  EXPECT_EQ(std::count(results.begin(), results.end(), RxResult::Discarded), 1);
  ASSERT_EQ(results.back(), RxResult::Complete);
  EXPECT_EQ(Frame(rx.bytes().begin(), rx.bytes().end()), identification);
}

TEST(IspReplyReceiver, CounterRestartsBeyondTheBuffer) {
  ReplyReceiver rx;
  for (std::size_t i = 0; i < ReplyReceiver::kCapacity; ++i) EXPECT_EQ(rx.push(0x11), RxResult::NeedMore);
  EXPECT_EQ(rx.count(), ReplyReceiver::kCapacity);
  rx.push(0x22);
  EXPECT_EQ(rx.count(), 1u);
  EXPECT_EQ(rx.bytes()[0], 0x22);
}

TEST(IspReplyReceiver, CompleteReplyIsKeptUntilTheNextByte) {
  ReplyReceiver rx;
  rx.expect(ReplyKind::Ack);
  feed(rx, ackReply(0x11));
  EXPECT_EQ(ackStatus(rx.bytes()), kStatusLimitReached);
  EXPECT_TRUE(completesExactlyAtEnd(feed(rx, ackReply(0x22))));
  EXPECT_EQ(ackStatus(rx.bytes()), kStatusWrongToolId);
}

TEST(IspReplies, ReadersTakeTheFieldsOut) {
  EXPECT_EQ(checksumReportValue(checksumReportReply(0xBEEF, 7)), 0xBEEF);

  Frame block(kShortBlockSize);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 3);
  const Frame read = readDataReply(kAreaIfb, block);
  const ReadData rd = parseReadData(read);
  EXPECT_EQ(rd.area, kAreaIfb);
  EXPECT_EQ(Frame(rd.data.begin(), rd.data.end()), block);

  const DownloaderReport rep = parseDownloaderReport(downloaderReportReply(kReplyProgress, 0, 55, 9));
  EXPECT_EQ(rep.type, kReplyProgress);
  EXPECT_EQ(rep.flag, 0);
  EXPECT_EQ(rep.code, 55);

  const ProgrammerInfo version = parseProgrammerInfo(versionReply(516));
  EXPECT_EQ(version.version, 516);
  EXPECT_FALSE(version.serial);
  EXPECT_EQ(versionText(*version.version), "v51.60");
  const ProgrammerInfo sn = parseProgrammerInfo(serialNumberReply(0x0012ABCD));
  EXPECT_EQ(sn.serial, 0x0012ABCDu);
  EXPECT_EQ(serialText(*sn.serial), "SN: 0012abcd");

  EXPECT_EQ(presenceReply(true), (Frame{0xAA, 0x01, 0x80, 0x81}));
  EXPECT_EQ(presenceReply(false), (Frame{0xAA, 0x01, 0x81, 0x80}));
  EXPECT_TRUE(presenceIsDownloader(presenceReply(true)));
  EXPECT_FALSE(presenceIsDownloader(presenceReply(false)));
  EXPECT_EQ(ackReply(0), (Frame{0xAA, 0x03, 0x80, 0x00, 0x00, 0x83}));

  const LongIdentification id = parseLongIdentification(longIdentificationReply(0x0801, "QX32W301234"));
  EXPECT_EQ(id.modelId, 0x0801);
  EXPECT_EQ(id.name, "QX32W301234");

  const LongChecksum sum = parseLongChecksum(longChecksumReply({1, 2, 3, 4, 5, 6}, 0xCAFEF00D));
  EXPECT_EQ(sum.sum, 0xCAFEF00Du);
  EXPECT_EQ(sum.range[5], 6);

  const Frame data(kLongBlockSize, 0x77);
  const Frame longRead = longReadDataReply(0x01F200, data);
  const LongReadData lr = parseLongReadData(longRead);
  EXPECT_EQ(lr.address, 0x01F200u);
  EXPECT_EQ(Frame(lr.data.begin(), lr.data.end()), data);
}

TEST(IspReplies, LineTestFailsOnASingleWrongByte) {
  Frame pattern = lineTestPattern();
  EXPECT_TRUE(isLineTestPattern(pattern));
  pattern[200] = 0;
  EXPECT_FALSE(isLineTestPattern(pattern));
  EXPECT_FALSE(isLineTestPattern(Frame(pattern.begin(), pattern.end() - 1)));
}

TEST(IspRequestReceiver, ReadsEveryRequestBack) {
  struct Case {
    Dialect dialect;
    Frame request;
  };
  const Case cases[] = {
      {Dialect::Short, setBaudFrame(10)},
      {Dialect::Short, writeBlockFrame(0x100, kAreaFlash, 7, Frame(kShortBlockSize, 0xAB))},
      {Dialect::Short, writeBlockFrame(0x500, kAreaFlash, 7, Frame(kShortBlockSize, 0xAB))},
      {Dialect::Short, endFrame()},
      {Dialect::Long, longSyncFrame()},
      {Dialect::Long, longWriteBlockFrame(0x2000, Frame(kLongBlockSize, 0x01))},
      {Dialect::Long, longWriteModelInfoFrame(Frame(16, 0x10))},
  };
  for (const Case& c : cases) {
    RequestReceiver rx(c.dialect);
    RequestReceiver::Result last = RequestReceiver::Result::NeedMore;
    for (std::size_t i = 0; i < c.request.size(); ++i) {
      last = rx.push(c.request[i]);
      if (i + 1 < c.request.size()) {
        ASSERT_EQ(last, RequestReceiver::Result::NeedMore) << i;
      }
    }
    ASSERT_EQ(last, RequestReceiver::Result::Request);
    EXPECT_EQ(Frame(rx.frame().begin(), rx.frame().end()), c.request);
    const std::size_t headerBytes = c.dialect == Dialect::Long ? 4 : 3;
    EXPECT_EQ(rx.command(), c.request[headerBytes - 1]);
    EXPECT_EQ(rx.data().size(), c.request.size() - headerBytes - 1);
  }
}

TEST(IspRequestReceiver, SyncNoiseAndBadChecksums) {
  RequestReceiver rx(Dialect::Short);
  EXPECT_EQ(rx.push(0x00), RequestReceiver::Result::Discarded);
  EXPECT_EQ(rx.push(0xC1), RequestReceiver::Result::NeedMore);
  EXPECT_EQ(rx.push(0x83), RequestReceiver::Result::NeedMore);
  EXPECT_EQ(rx.push(0x07), RequestReceiver::Result::Sync);
  // A broken sync sequence followed by a request: the request still comes through.
  EXPECT_EQ(rx.push(0xC1), RequestReceiver::Result::NeedMore);
  Frame request = endFrame();
  RequestReceiver::Result last{};
  for (std::uint8_t b : request) last = rx.push(b);
  EXPECT_EQ(last, RequestReceiver::Result::Request);

  Frame bad = confirmBaudFrame();
  bad.back() ^= 0xFF;
  for (std::uint8_t b : bad) last = rx.push(b);
  EXPECT_EQ(last, RequestReceiver::Result::Discarded);
  EXPECT_EQ(rx.push(0x55), RequestReceiver::Result::NeedMore);
  EXPECT_EQ(rx.push(0x00), RequestReceiver::Result::Discarded) << "zero length";

  RequestReceiver longRx(Dialect::Long);
  EXPECT_EQ(longRx.push(0xC1), RequestReceiver::Result::Discarded) << "no raw sync in the long dialect";
}

}  // namespace
}  // namespace isp
