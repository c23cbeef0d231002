// The download's protocol against the emulated Writer: the exact reports of each step, the packets,
// the cipher rule, the offline status lines and the ways a download can go wrong.
#include <gtest/gtest.h>

#include <random>

#include "base/texts.hpp"
#include "device/writer/reports.hpp"
#include "tests/writer/rig.hpp"

namespace {

using namespace qx::writer;
using writertest::Bench;
using writertest::countingJob;
using std::chrono::milliseconds;

std::string logLine(const char* name) { return "--> " + base::text(name); }

class WriterProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }
};

TEST_F(WriterProtocolTest, DownloadWalksEveryStepAndEndsProgrammed) {
  emulator::writer::WriterConfig noRounds;
  noRounds.rounds = 0;
  Bench run(noRounds);
  run.download(countingJob(1000));
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Success});
  EXPECT_EQ(run.protocol.state(), 0);
  EXPECT_TRUE(run.protocol.finished());
  const std::vector<std::string> steps = {"writer.upgrade_begins", "writer.send_model", "writer.get_flash_id",
                                          "writer.set_length",     "writer.sending_data", "writer.data_sent",
                                          "writer.get_check_code", "writer.verified",  "writer.programmed"};
  std::vector<std::string> expected;
  for (const auto& s : steps) expected.push_back(logLine(s.c_str()));
  const auto texts = run.sink.texts();
  ASSERT_GE(texts.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + static_cast<long>(expected.size())), expected);
  EXPECT_EQ(run.writer->storedImage(), countingJob(1000).bytes);
  // Progress by packets: range 0..16, each packet's index, the short last one at 16.
  EXPECT_EQ(run.sink.progressHigh, 16);
  EXPECT_EQ(run.sink.progress.back(), 16);
  EXPECT_EQ(run.sink.progress.size(), 17u);
  EXPECT_EQ(run.sink.controls, std::vector<bool>{true});
}

TEST_F(WriterProtocolTest, HostReportsCarryTheExactBytes) {
  auto job = countingJob(121);
  job.settings.write_limit_num_enable = true;
  job.settings.write_num_max = 100;
  job.settings.user_code_enable = true;
  job.settings.user_code = 0x01020304;
  job.settings.writer_ID_limit_enable = true;
  job.settings.write_id_num = 0xA1B2C3D4;
  job.settings.key_enable = true;
  for (std::size_t i = 0; i < 16; ++i) job.settings.key[i] = static_cast<std::uint8_t>('a' + i);
  job.fileName = "blinking_led";
  Bench run;
  run.download(job);
  const auto reports = run.hostReports();
  ASSERT_GE(reports.size(), 9u);
  for (const Report& r : reports) EXPECT_EQ(r[64], ReportSum(r)) << "every report carries its sum";

  EXPECT_EQ(reports[0][1], 0x81);
  EXPECT_EQ(reports[0][2], 1);

  const Report& chip = reports[1];
  EXPECT_EQ(chip[1], 0xBB);
  EXPECT_EQ(chip[2], 9);
  EXPECT_EQ(Big16(chip, 3), 0x505Fu);
  EXPECT_EQ(std::string(chip.begin() + 5, chip.begin() + 20), "QB51F16        ");
  EXPECT_EQ(chip[20], 1);
  EXPECT_EQ(Big32(chip, 21), 100u);
  EXPECT_EQ(chip[25], 1);
  EXPECT_EQ(Big32(chip, 26), 0x01020304u);
  EXPECT_EQ(chip[30], 2);
  EXPECT_EQ(Big32(chip, 31), 0xA1B2C3D4u);
  EXPECT_EQ(chip[35], 0);
  EXPECT_EQ(Big32(chip, 36), job.totalChecksum);
  EXPECT_EQ(chip[40], 1);
  EXPECT_EQ(std::string(chip.begin() + 41, chip.begin() + 57), "abcdefghijklmnop");
  EXPECT_EQ(chip[57], 0);

  EXPECT_EQ(reports[2][1], 0x81);
  EXPECT_EQ(reports[2][2], 3);
  EXPECT_EQ(reports[3][1], 0x8D);

  const Report& name = reports.back();
  EXPECT_EQ(name[1], 0x9F);
  EXPECT_EQ(name[2], 8);
  EXPECT_EQ(std::string(name.begin() + 3, name.begin() + 11), "blinking");
  for (std::size_t i = 11; i < 32; ++i) EXPECT_EQ(name[i], 0) << i;
  EXPECT_EQ(name[32], 1);
  const Report& check = reports[reports.size() - 2];
  EXPECT_EQ(check[1], 0x81);
  EXPECT_EQ(check[2], 4);
}

TEST_F(WriterProtocolTest, SettingsOffSendZeros) {
  Bench run;
  run.download(countingJob(60));
  const Report chip = run.hostReports()[1];
  for (std::size_t i = 20; i < 35; ++i) EXPECT_EQ(chip[i], 0) << i;
  for (std::size_t i = 40; i < 64; ++i) EXPECT_EQ(chip[i], 0) << i;
}

struct PacketCase {
  std::uint32_t length;
  std::vector<int> lengthBytes;  // byte 1 of each data packet
};

class PacketSplitTest : public WriterProtocolTest, public ::testing::WithParamInterface<PacketCase> {};

TEST_P(PacketSplitTest, PacketsFollowTheLength) {
  const PacketCase& c = GetParam();
  Bench run;
  run.download(countingJob(c.length));
  const auto packets = run.dataPackets();
  std::vector<int> lengths;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    lengths.push_back(packets[i][1]);
    EXPECT_EQ(Big16(packets[i], 2), i) << "packet index";
    for (std::size_t b = 4 + packets[i][1] - 2u; b < 64; ++b) EXPECT_EQ(packets[i][b], 0) << "rest is zero";
  }
  EXPECT_EQ(lengths, c.lengthBytes);
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Success});
}

INSTANTIATE_TEST_SUITE_P(Lengths, PacketSplitTest,
                         ::testing::Values(PacketCase{120, {62, 62}}, PacketCase{121, {62, 62, 3}},
                                           PacketCase{59, {61}}, PacketCase{60, {62}}, PacketCase{179, {62, 62, 61}}));

TEST_F(WriterProtocolTest, EncryptedFileSendsStartPlainAndEverythingAfterEnciphered) {
  auto job = countingJob(200);
  job.fromEncryptedFile = true;
  job.settings.encrypt_file_id = 0x11223344;
  job.settings.write_limit_num_enable = true;
  job.settings.write_num_max = 5;
  Bench run;
  run.download(job);
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Success});
  const auto log = run.writer->exchanges();
  bool first = true;
  int replies = 0;
  for (const auto& e : log) {
    if (e.fromHost && first) {
      EXPECT_EQ(e.wire, e.plain);
      EXPECT_EQ(e.wire[2], 0) << "sub 0 for an encrypted program file";
      first = false;
      continue;
    }
    Report deciphered = e.wire;
    DecipherReport(deciphered);
    EXPECT_EQ(deciphered, e.plain);
    EXPECT_NE(e.wire, e.plain);
    if (!e.fromHost) ++replies;
  }
  EXPECT_GT(replies, 5);
  const Report chip = run.hostReports()[1];
  EXPECT_EQ(chip[20], 2) << "limit flag of an encrypted program file";
  EXPECT_EQ(chip[35], 2);
  EXPECT_EQ(Big32(chip, 36), 0x11223344u);
}

struct FamilyCase {
  std::uint16_t familyType;
  std::uint8_t command;
};

class LengthCommandTest : public WriterProtocolTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(LengthCommandTest, EachFamilyTypeHasItsLengthCommand) {
  auto job = countingJob(300, GetParam().familyType);
  job.length = 0x12345;
  job.maxFileLength = 0x4000;
  job.dataLength = 0x1234;
  job.totalChecksum = 0xCAFEBABE;
  job.timeStamp = 26121015;
  const Report r = LengthReport(job);
  EXPECT_EQ(r[1], GetParam().command);
  EXPECT_EQ(r[2], 5);
  if (r[1] == 0x91) {
    EXPECT_EQ(Big32(r, 3), 0x12345u);
    EXPECT_EQ(Big32(r, 7), 0x1234u);
    EXPECT_EQ(Big32(r, 11), 0xCAFEBABEu);
    EXPECT_EQ(Big32(r, 15), 26121015u);
  } else {
    EXPECT_EQ(Big16(r, 3), 0x4000u);
    EXPECT_EQ(Big16(r, 5), 0x1234u);
    EXPECT_EQ(Big32(r, 7), 0xCAFEBABEu);
    EXPECT_EQ(Big32(r, 11), 26121015u);
  }
  EXPECT_EQ(r[64], ReportSum(r));
}

INSTANTIATE_TEST_SUITE_P(Families, LengthCommandTest,
                         ::testing::Values(FamilyCase{0x800, 0x91}, FamilyCase{0x500, 0x91}, FamilyCase{0x000, 0x8D},
                                           FamilyCase{0x100, 0x8D}, FamilyCase{0x200, 0x8D}, FamilyCase{0x300, 0x8D},
                                           FamilyCase{0x400, 0x8D}));

TEST_F(WriterProtocolTest, ThirtyTwoBitDownloadVerifiesWithTheWordChecksum) {
  Bench run;
  run.download(countingJob(1000, 0x800));
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Success});
  EXPECT_EQ(run.hostReports()[3][1], 0x91);
}

TEST(WriterTimeStamp, IsYearMonthDayHour) {
  EXPECT_EQ(TimeStampOf(2026, 12, 10, 15), 26121015u);
  EXPECT_EQ(TimeStampOf(2100, 1, 2, 3), 10203u);
}

TEST_F(WriterProtocolTest, OfflineStatusLinesAndColours) {
  emulator::writer::WriterConfig config;
  config.rounds = 1;
  Bench run(config);
  run.download(countingJob(120));
  EXPECT_EQ(run.sink.clears, 1);
  const std::vector<std::string> expected = {"--> 芯片1：开始同步", "--> 芯片2：开始同步", "--> 芯片1：擦除flash",
                                             "--> 芯片2：擦除flash", "--> 芯片1：写flash",  "--> 芯片2：写flash",
                                             "--> 芯片1：校验内部晶振", "--> 芯片2：校验内部晶振", "--> 芯片1：烧录完成",
                                             "--> 芯片2：烧录完成"};
  EXPECT_EQ(run.sink.texts(), expected);
  EXPECT_EQ(run.writer->chipsProgrammed(), 2u);

  // Every code by itself, in the user's other language too: the lines exist only in Chinese.
  base::setThreadLanguage(base::kLangChinese);
  const struct {
    std::uint8_t code;
    const char* line;
    base::LogColour colour;
  } table[] = {{0x10, "--> 芯片1：出错!", base::LogColour::Error},  {0x11, "--> 芯片1：写flash", base::LogColour::Normal},
               {0x12, "--> 芯片1：校验内部晶振", base::LogColour::Normal}, {0x13, "--> 芯片1：烧录完成", base::LogColour::Normal},
               {0x14, "--> 芯片1：擦除flash", base::LogColour::Normal}, {0x20, "--> 芯片2：出错", base::LogColour::Error},
               {0x21, "--> 芯片2：写flash", base::LogColour::Normal},  {0x22, "--> 芯片2：校验内部晶振", base::LogColour::Normal},
               {0x23, "--> 芯片2：烧录完成", base::LogColour::Normal}, {0x24, "--> 芯片2：擦除flash", base::LogColour::Normal}};
  for (const auto& row : table) {
    writertest::RecordingSink sink;
    WriterProtocol idle(sink);
    Report status{};
    status[2] = row.code;
    EXPECT_FALSE(idle.onReport(status, milliseconds(0)));
    ASSERT_EQ(sink.lines.size(), 1u) << int(row.code);
    EXPECT_EQ(sink.lines[0].text, row.line);
    EXPECT_EQ(sink.lines[0].colour, row.colour);
  }
  writertest::RecordingSink sink;
  WriterProtocol idle(sink);
  Report unknown{};
  unknown[2] = 0x15;
  idle.onReport(unknown, milliseconds(0));
  EXPECT_TRUE(sink.lines.empty());
}

TEST_F(WriterProtocolTest, ChipErrorShowsInRed) {
  emulator::writer::WriterConfig config;
  config.chipError = 2;
  Bench run(config);
  run.download(countingJob(120));
  const auto texts = run.sink.texts();
  ASSERT_NE(std::find(texts.begin(), texts.end(), "--> 芯片2：出错"), texts.end());
  EXPECT_EQ(std::find(texts.begin(), texts.end(), "--> 芯片2：烧录完成"), texts.end());
  EXPECT_EQ(run.writer->chipsProgrammed(), 1u);
}

TEST_F(WriterProtocolTest, TheLimitStopsTheWriterAfterItsChips) {
  emulator::writer::WriterConfig config;
  config.rounds = 2;
  Bench run(config);
  auto job = countingJob(120);
  job.settings.write_limit_num_enable = true;
  job.settings.write_num_max = 3;
  run.download(job);
  EXPECT_EQ(run.writer->chipsProgrammed(), 3u);
  EXPECT_TRUE(run.sink.logged("--> 芯片2：出错"));
}

TEST_F(WriterProtocolTest, WrongCheckCodeGivesUpAfterTheTimeOutWithAClearLine) {
  emulator::writer::WriterConfig config;
  config.wrongCheckCode = true;
  Bench run(config);
  const auto job = countingJob(500);
  run.download(job);
  EXPECT_EQ(run.protocol.state(), 6) << "still waiting for a matching code";
  EXPECT_TRUE(run.sink.outcomes.empty());
  EXPECT_FALSE(run.protocol.checkTimeout(run.now + WriterProtocol::kReplyTimeout - milliseconds(1)));
  EXPECT_TRUE(run.protocol.checkTimeout(run.now + WriterProtocol::kReplyTimeout));
  EXPECT_EQ(run.protocol.state(), 0);
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Failed});
  EXPECT_EQ(run.sink.controls, std::vector<bool>{true});
  EXPECT_EQ(run.sink.lines.back().colour, base::LogColour::Error);
  char line[200];
  std::snprintf(line, sizeof line,
                "--> The Writer's check code %08X does not match the file's checksum %08X; the download was abandoned.",
                job.totalChecksum + 1, job.totalChecksum);
  EXPECT_EQ(run.sink.lines.back().text, line);
  EXPECT_FALSE(run.sink.logged(logLine("writer.programmed")));
  EXPECT_FALSE(run.sink.logged(logLine("writer.verified")));
}

class SilentStepTest : public WriterProtocolTest, public ::testing::WithParamInterface<emulator::writer::Step> {};

TEST_P(SilentStepTest, AWriterThatStopsAnsweringEndsTheDownloadAfterTheTimeOut) {
  emulator::writer::WriterConfig config;
  config.silentAt = GetParam();
  Bench run(config);
  run.download(countingJob(300));
  EXPECT_NE(run.protocol.state(), 0);
  run.now += WriterProtocol::kReplyTimeout;
  EXPECT_TRUE(run.protocol.checkTimeout(run.now));
  EXPECT_EQ(run.sink.lines.back().text, base::text("writer.no_answer"));
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Failed});
  EXPECT_FALSE(run.sink.logged(logLine("writer.programmed")));
}

INSTANTIATE_TEST_SUITE_P(Steps, SilentStepTest,
                         ::testing::Values(emulator::writer::Step::Start, emulator::writer::Step::Model,
                                           emulator::writer::Step::FlashId, emulator::writer::Step::Length,
                                           emulator::writer::Step::Data, emulator::writer::Step::CheckCode,
                                           emulator::writer::Step::FileName));

TEST_F(WriterProtocolTest, ABadPacketIsRefusedByTheWriterAndTheDownloadTimesOut) {
  emulator::writer::WriterConfig config;
  config.badPacket = 1;
  Bench run(config);
  run.download(countingJob(300));
  EXPECT_EQ(run.protocol.state(), 4);
  EXPECT_EQ(run.protocol.packetIndex(), 2u);
  EXPECT_TRUE(run.protocol.checkTimeout(run.now + WriterProtocol::kReplyTimeout));
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Failed});
}

TEST_F(WriterProtocolTest, TheEmulatedWriterRefusesAReportWithAWrongSum) {
  Bench run;
  Report start = StartReport(false);
  start[64] ^= 1;
  run.writer->receive(start);
  Report reply{};
  ASSERT_EQ(run.writer->nextReply(reply, 0), ReadResult::Got);
  EXPECT_EQ(reply[1], emulator::writer::kReplyError);
}

TEST_F(WriterProtocolTest, RepliesOutOfOrderAreIgnored) {
  writertest::RecordingSink sink;
  WriterProtocol p(sink);
  p.begin(countingJob(120), milliseconds(0));
  for (std::uint8_t code : {0x84, 0x88, 0x85, 0x83, 0x00, 0x8A}) {
    Report r{};
    r[1] = code;
    EXPECT_FALSE(p.onReport(r, milliseconds(10))) << int(code);
    EXPECT_EQ(p.state(), 1);
  }
  // The model reply counts only with byte 2 or 3 set to 1.
  Report started{};
  started[1] = 0x80;
  ASSERT_TRUE(p.onReport(started, milliseconds(10)));
  Report model{};
  model[1] = 0x89;
  EXPECT_FALSE(p.onReport(model, milliseconds(10)));
  model[3] = 1;
  EXPECT_TRUE(p.onReport(model, milliseconds(10)));
  EXPECT_EQ(p.state(), 2);
}

TEST_F(WriterProtocolTest, CancelReturnsToIdleWithoutTellingTheWriter) {
  Bench run;
  run.writer->receive(run.protocol.begin(countingJob(120), run.now));
  const std::size_t before = run.writer->exchanges().size();
  run.protocol.cancel();
  EXPECT_EQ(run.protocol.state(), 0);
  EXPECT_EQ(run.sink.outcomes, std::vector<base::Outcome>{base::Outcome::Cancelled});
  run.exchange();
  // The Writer's answer to the start arrives and is ignored; nothing more is sent.
  for (std::size_t i = before; i < run.writer->exchanges().size(); ++i) EXPECT_FALSE(run.writer->exchanges()[i].fromHost);
  EXPECT_FALSE(run.protocol.checkTimeout(run.now + WriterProtocol::kReplyTimeout));
}

TEST_F(WriterProtocolTest, StartFailureLogsTheCodeAndShowsTheMessage) {
  writertest::RecordingSink sink;
  WriterProtocol p(sink);
  p.begin(countingJob(120), milliseconds(0));
  p.startFailed(19);
  EXPECT_EQ(p.state(), 0);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0].text, "--> Initialization failed, error code: 0x00000013.");
  EXPECT_EQ(sink.lines[0].colour, base::LogColour::Error);
  EXPECT_EQ(sink.messages, std::vector<std::string>{"Error: Initialization failed!"});
}

TEST_F(WriterProtocolTest, AnyBytesFromTheWriterAreHandledInEveryState) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bench run;
    run.writer->receive(run.protocol.begin(countingJob(200 + round), run.now));
    for (int i = 0; i < 40; ++i) {
      std::vector<std::uint8_t> bytes(random() % 80);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
      // Replies the protocol expects now and then, so that later states see noise too.
      if (i % 3 == 0) run.exchange();
      run.protocol.onReport(ReportFromBytes(bytes), run.now);
    }
  }
}

}  // namespace
