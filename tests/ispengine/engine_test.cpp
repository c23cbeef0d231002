// The serial ISP engine on a manual clock with scripted replies.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "isp/replies.hpp"
#include "tests/ispengine/engine_rig.hpp"

namespace ispenginetest {

using isp::Frame;
using isp::engine::IspEngine;
using isp::engine::IspJob;
using base::Outcome;
namespace {

using isp::Frame;
using namespace std::chrono_literals;

std::string tx(int id) { return "--> " + base::text(id); }
std::string named(const char* name) { return base::text(name); }
// Expected lines of the tables: "#187" stands for text 187 as logged, anything else as it is.
std::vector<std::string> resolve(std::vector<std::string> lines) {
  for (std::string& l : lines) {
    if (!l.empty() && l[0] == '#') l = tx(std::stoi(l.substr(1)));
  }
  return lines;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }
  Rig rig;
};

// --- short frames, bootloader ---

class ShortFamilyProgram : public EngineTest, public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(ShortFamilyProgram, ProgramsEveryBlockAndEndsAsTheFamilyDoes) {
  const std::uint16_t family = GetParam();
  const IspJob job = shortJob(family, 300);  // 3 blocks
  Responder device(rig, job);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  EXPECT_EQ(rig.link.opens.front(), 1200u);
  EXPECT_FALSE(rig.sink.controlsEnabled);
  rig.runUntilIdle();

  ASSERT_EQ(rig.sink.outcome, Outcome::Success) << ::testing::PrintToString(rig.lines());
  EXPECT_FALSE(rig.engine.downloaderMode());
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200, 115200}));
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdSetBaud).front(), isp::setBaudFrame(0));
  // Flash blocks 0..2 in order, each with its address.
  std::vector<Frame> flash;
  for (const Frame& f : rig.framesWithCommand(isp::kCmdWriteBlock)) {
    if (f[3] == isp::kAreaFlash) flash.push_back(f);
  }
  ASSERT_EQ(flash.size(), 3u);
  for (std::uint32_t b = 0; b < 3; ++b) {
    EXPECT_EQ(flash[b], isp::writeBlockFrame(family, isp::kAreaFlash, b, {job.image.data() + b * 128, 128}));
  }
  const std::size_t xdata = rig.framesWithCommand(isp::kCmdWriteBlock).size() - 3;
  // The loader goes in before the flash work for all but family 0x100; T4N families write block 0
  // once more after its first acknowledgement.
  const std::size_t loaderBlocks = family == 0x200 || family == 0x300 ? 16 : 8;
  EXPECT_EQ(xdata, family == 0x100 ? 0 : family == 0x000 ? loaderBlocks : loaderBlocks + 1);
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdErase).back(), isp::eraseFlashFrame(false, 3));
  EXPECT_EQ(rig.link.sent.back().bytes, isp::endFrame());
  if (family <= 0x100) {
    EXPECT_TRUE(rig.sink.logged(tx(230)));
  } else {
    EXPECT_EQ(rig.lines().back().rfind("--> 结束升级，耗时：", 0), 0u);
  }
  EXPECT_EQ(rig.engine.state(), IspEngine::kIdle);
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_TRUE(rig.sink.controlsEnabled);
  EXPECT_EQ(rig.sink.progress, 100);
}

INSTANTIATE_TEST_SUITE_P(Families, ShortFamilyProgram, ::testing::Values(0x000, 0x100, 0x200, 0x300, 0x400, 0x500));

TEST_F(EngineTest, BaudSwitchReopensAtTheAnsweredRateWithTheBootloaderPauses) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job);
  device.baudCode = 10;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.timers.clearWaits();
  rig.runUntilIdle();
  EXPECT_EQ(rig.link.opens.back(), 460800u);
  // Close, 10 ms, reopen; then 100 ms before and after ConfirmBaud.
  const std::vector<base::Millis> waits = rig.timers.waits();
  ASSERT_GE(waits.size(), 3u);
  EXPECT_EQ(std::vector<base::Millis>(waits.begin(), waits.begin() + 3), (std::vector<base::Millis>{10ms, 100ms, 100ms}));
  const auto confirm = std::find_if(rig.link.sent.begin(), rig.link.sent.end(),
                                    [](const Sent& s) { return s.bytes == isp::confirmBaudFrame(); });
  ASSERT_NE(confirm, rig.link.sent.end());
  EXPECT_EQ(confirm->baud, 460800u);
}

TEST_F(EngineTest, AStrayByteDuringSynchronisationIsDiscarded) {
  const IspJob job = shortJob(0x100);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.advance(20ms);
  rig.reply({0x37});
  rig.reply(isp::syncAnswerReply(0x5A));
  rig.deliver();
  EXPECT_EQ(rig.engine.state(), 2);
  EXPECT_EQ(rig.link.sent.back().bytes, isp::setBaudFrame(0));
  EXPECT_TRUE(rig.sink.logged(tx(113)));
}

TEST_F(EngineTest, SynchronisationRepeatsEvery16MsWithoutLimitAndAcceptsTheHeaderForm) {
  const IspJob job = shortJob(0x100);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.advance(1600ms);
  const auto syncs = std::count_if(rig.link.sent.begin(), rig.link.sent.end(),
                                   [](const Sent& s) { return s.bytes == isp::syncBytes(isp::Dialect::Short); });
  EXPECT_EQ(syncs, 100);
  rig.reply(isp::syncAnswerReply(0x01, true));
  rig.deliver();
  EXPECT_EQ(rig.engine.state(), 2);
}

TEST_F(EngineTest, OneWrongLineTestByteAborts) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job);
  device.lineTestFault = 200;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  EXPECT_TRUE(rig.sink.loggedError(named("isp.line_test_failed")));
  EXPECT_TRUE(rig.sink.loggedError(tx(288)));
  EXPECT_TRUE(rig.framesWithCommand(isp::kCmdProgramStart).empty());
}

TEST_F(EngineTest, ARefusedBaudSwitchAborts) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job);
  device.baudStatus = 1;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  EXPECT_EQ(rig.lines().back(), tx(288));
  EXPECT_EQ(rig.link.opens.size(), 1u);
}

TEST_F(EngineTest, ANegativeAcknowledgementForBlock13ErasesPage1AndRewritesFromBlock8) {
  const IspJob job = shortJob(0x100, 20 * 128);
  Responder device(rig, job);
  device.nakBlockOnce = 13;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  ASSERT_EQ(rig.sink.outcome, Outcome::Success);
  EXPECT_TRUE(rig.sink.loggedError(tx(293)));
  EXPECT_TRUE(rig.sink.logged(named("isp.erasing_page")));
  std::vector<Frame> order;
  for (const Sent& s : rig.link.sent) {
    if (s.bytes.size() > 3 && (s.bytes[2] == isp::kCmdWriteBlock || s.bytes[2] == isp::kCmdErasePage)) {
      order.push_back(s.bytes);
    }
  }
  auto block = [&](std::uint32_t b) {
    return isp::writeBlockFrame(0x100, isp::kAreaFlash, b, {job.image.data() + b * 128, 128});
  };
  const Frame erasePage1{0x55, 0x05, 0x0A, 0x28, 0x00, 0x04, 0x00, 0x23};
  ASSERT_EQ(isp::erasePageFrame(isp::kAreaFlash, 1), erasePage1);
  std::vector<Frame> expected;
  for (std::uint32_t b = 0; b <= 13; ++b) expected.push_back(block(b));
  expected.push_back(erasePage1);
  for (std::uint32_t b = 8; b < 20; ++b) expected.push_back(block(b));
  EXPECT_EQ(order, expected);
}

TEST_F(EngineTest, ChecksumMatchAndMismatch) {
  for (const std::uint16_t delta : {0, 1}) {
    Rig r;
    const IspJob job = shortJob(0x000);
    Responder device(r, job);
    device.checksumDelta = delta;
    ASSERT_TRUE(r.engine.StartProgram(job));
    r.runUntilIdle();
    EXPECT_EQ(r.framesWithCommand(isp::kCmdRun).size(), 1u);
    if (delta == 0) {
      EXPECT_EQ(r.sink.outcome, Outcome::Success);
      EXPECT_TRUE(r.sink.logged(tx(230)));
      EXPECT_EQ(r.lines().back().rfind("--> Time consumption: ", 0), 0u);
    } else {
      EXPECT_EQ(r.sink.outcome, Outcome::Failed);
      EXPECT_TRUE(r.sink.loggedError(tx(280)));
      EXPECT_FALSE(r.sink.logged(tx(230)));
    }
    EXPECT_EQ(r.link.sent.back().bytes, isp::endFrame());
  }
}

TEST_F(EngineTest, CheckWritesTheLoaderAndComparesTheChecksum) {
  for (const std::uint16_t family : {0x000, 0x100, 0x300}) {
    Rig r;
    const IspJob job = shortJob(family);
    Responder device(r, job);
    ASSERT_TRUE(r.engine.StartVerify(job));
    r.runUntilIdle();
    EXPECT_EQ(r.sink.outcome, Outcome::Success) << family;
    EXPECT_TRUE(r.framesWithCommand(isp::kCmdProgramStart).empty());
    EXPECT_EQ(r.framesWithCommand(isp::kCmdErase), (std::vector<Frame>{isp::eraseXdataFrame()}));
    EXPECT_EQ(r.framesWithCommand(isp::kCmdWriteBlock).size(), family == 0x300 ? 16u : 8u);
    EXPECT_EQ(r.framesWithCommand(family == 0x000 ? isp::kCmdRun : isp::kCmdRead).size(), 1u);
    EXPECT_TRUE(r.sink.logged(tx(110)));
    EXPECT_TRUE(r.sink.logged(tx(230)));
  }
}

struct StatusCase {
  const char* what;
  std::uint8_t programStart;
  std::uint8_t eraseFlash;
  std::uint8_t xdata;
  bool downloader;
  const char* line;  // the red line before "Stop upgrading!", or nullptr for none
  int id;
};

class FailureStatus : public EngineTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(FailureStatus, EndsWithItsTextAndStopUpgrading) {
  const StatusCase& c = GetParam();
  const IspJob job = shortJob(0x000);
  Responder device(rig, job, c.downloader);
  device.programStartStatus = c.programStart;
  device.eraseFlashStatus = c.eraseFlash;
  device.xdataStatus = c.xdata;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.engine.setCheckByTool(false);
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  const std::vector<std::string> lines = rig.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), tx(288));
  if (c.line != nullptr) {
    EXPECT_TRUE(rig.sink.loggedError(c.line)) << ::testing::PrintToString(lines);
  } else if (c.id != 0) {
    EXPECT_TRUE(rig.sink.loggedError(tx(c.id))) << ::testing::PrintToString(lines);
  } else {
    EXPECT_FALSE(rig.sink.logged(tx(289)));
  }
}

INSTANTIATE_TEST_SUITE_P(Statuses, FailureStatus, ::testing::Values(
    StatusCase{"limit", 0x11, 0, 0, true, nullptr, 310},
    StatusCase{"toolId", 0x22, 0, 0, true, nullptr, 311},
    StatusCase{"model", 0x05, 0, 0, false, nullptr, 289},
    StatusCase{"modelQuietForTool", 0x05, 0, 0, true, nullptr, 0},
    StatusCase{"eraseLimit", 0, 0x11, 0, false, nullptr, 310},
    StatusCase{"eraseToolId", 0, 0x22, 0, false, nullptr, 311},
    StatusCase{"erase", 0, 0x01, 0, false, "-->  擦除Flash失败!", 0},
    StatusCase{"xdata", 0, 0, 0x01, false, "-->  擦除xdata失败!", 0}),
    [](const auto& p) { return std::string(p.param.what); });

// --- the QUBRIX Tool as downloader ---

TEST_F(EngineTest, ToolAnswerSelectsDownloaderModeAndBaudCode10WithoutPauses) {
  const IspJob job = shortJob(0x200);
  Responder device(rig, job, true);
  device.afterEnd = {isp::downloaderReportReply(0x80, 0, 0), isp::downloaderReportReply(0x80, 0, 2),
                     isp::downloaderReportReply(0x80, 0, 3), isp::downloaderReportReply(0x8C, 0, 40),
                     isp::downloaderReportReply(0x80, 0, 4)};
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.engine.setCheckByTool(false);
  rig.timers.clearWaits();
  rig.runUntilIdle();
  EXPECT_TRUE(rig.engine.downloaderMode());
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdSetBaud).front(), (Frame{0x55, 0x02, 0x01, 0x0A, 0x09}));
  EXPECT_EQ(rig.link.opens.back(), 460800u);
  EXPECT_EQ(rig.timers.waits(), (std::vector<base::Millis>{10ms}));
  // As family 0x100: no loader, straight to the flash erase.
  EXPECT_TRUE(rig.framesWithCommand(isp::kCmdErase).size() == 1);
  EXPECT_EQ(rig.sink.outcome, Outcome::Success);
  const std::vector<std::string> lines = rig.lines();
  EXPECT_TRUE(rig.sink.logged(tx(172)));
  EXPECT_TRUE(rig.sink.logged(tx(186)));
  EXPECT_TRUE(rig.sink.logged(tx(187)));
  EXPECT_TRUE(rig.sink.logged(tx(184)));
  EXPECT_FALSE(rig.sink.logged(tx(292)));
  EXPECT_FALSE(rig.sink.logged(named("isp.checking_model")));
  EXPECT_EQ(lines.back().rfind("--> Programming completed! Time consumption: ", 0), 0u);
}

struct ReportCase {
  const char* what;
  std::vector<Frame> reports;
  std::vector<std::string> lines;  // logged in this order after End
  Outcome outcome;
  bool encrypted = false;
};

class ToolReports : public EngineTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ToolReports, FollowTheReportTable) {
  const ReportCase& c = GetParam();
  IspJob job = shortJob(0x400);
  job.fromEncryptedFile = c.encrypted;
  job.eraseChip = true;
  Responder device(rig, job, true);
  device.afterEnd = c.reports;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.engine.setCheckByTool(false);
  rig.runUntilIdle();
  ASSERT_EQ(rig.engine.state(), c.outcome == Outcome::Cancelled ? 100 : IspEngine::kIdle);
  const std::vector<std::string> lines = rig.lines();
  const auto end = std::find(lines.begin(), lines.end(), tx(186));
  ASSERT_NE(end, lines.end());
  std::vector<std::string> after(end + 1, lines.end());
  for (std::string& l : after) {
    if (l.rfind("--> Programming completed! Time consumption: ", 0) == 0) l = "115";
  }
  EXPECT_EQ(after, resolve(c.lines));
  if (c.outcome != Outcome::Cancelled) {
    EXPECT_EQ(rig.sink.outcome, c.outcome);
  }
}

Frame st(std::uint8_t code, std::uint8_t flag) { return isp::downloaderReportReply(0x80, flag, code); }

INSTANTIATE_TEST_SUITE_P(Table, ToolReports, ::testing::Values(
    ReportCase{"noTarget", {st(0, 0), st(1, 1)}, {"#187", "#173", "#188", "#189"}, Outcome::Failed},
    ReportCase{"wrongModel", {st(2, 1)}, {"#191"}, Outcome::Failed},
    ReportCase{"writeError", {st(2, 0), st(3, 1)}, {"#113", "#190", "#282"}, Outcome::Failed},
    ReportCase{"encrypted", {st(3, 0), st(4, 0)}, {"#112", "#281", "115"}, Outcome::Success, true},
    ReportCase{"powerNotOff", {st(17, 1)}, {"#284"}, Outcome::Failed},
    ReportCase{"powerOnThenDone", {st(18, 1), st(4, 0)}, {"#283", "115"}, Outcome::Success},
    ReportCase{"limit", {st(19, 1)}, {"#310"}, Outcome::Failed},
    ReportCase{"toolId", {st(20, 1)}, {"#311"}, Outcome::Failed},
    // Reports that only inform leave the run waiting.
    ReportCase{"waits", {st(0, 0), isp::downloaderReportReply(0x8C, 0, 55)}, {"#187", "#173"}, Outcome::Cancelled}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(EngineTest, ProgressReportsMoveTheBarInPercent) {
  const IspJob job = shortJob(0x100, 20 * 128);
  Responder device(rig, job, true);
  device.afterEnd = {isp::downloaderReportReply(0x8C, 0, 55)};
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.engine.setCheckByTool(false);
  rig.runUntilIdle(5s);
  EXPECT_EQ(rig.engine.state(), 100);
  EXPECT_EQ(rig.sink.range, (std::pair<int, int>{0, 100}));
  EXPECT_EQ(rig.sink.progress, 55);
}

TEST_F(EngineTest, AChecksumMismatchInDownloaderModeAbortsTheTool) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job, true);
  device.checksumDelta = 3;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.engine.setCheckByTool(false);
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  EXPECT_TRUE(rig.sink.loggedError(tx(280)));
  EXPECT_EQ(rig.link.sent.back().bytes, isp::abortFrame());
  EXPECT_TRUE(rig.framesWithCommand(isp::kCmdEnd).empty());
}

struct VerifyCase {
  const char* what;
  std::vector<Frame> reports;
  std::vector<std::string> lines;
  Outcome outcome;
};

class ToolCheck : public EngineTest, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(ToolCheck, ToolVerifyFollowsTheVerificationReports) {
  const VerifyCase& c = GetParam();
  const IspJob job = shortJob(0x500, 1000);
  Responder device(rig, job, true);
  device.afterEnd = c.reports;
  rig.engine.setCheckByTool(true);
  ASSERT_TRUE(rig.engine.StartVerify(job));
  rig.runUntilIdle();
  const auto verify = rig.framesWithCommand(isp::kCmdToolVerify);
  ASSERT_EQ(verify.size(), 1u);
  EXPECT_EQ(verify[0][1], 0x1C);  // family 0x500 carries a 4-byte data length
  std::vector<std::string> lines = rig.lines();
  const auto from = std::find(lines.begin(), lines.end(), tx(173));
  ASSERT_NE(from, lines.end());
  std::vector<std::string> after(from + 1, lines.end());
  for (std::string& l : after) {
    if (l.rfind("--> Time consumption: ", 0) == 0) l = "179";
  }
  EXPECT_EQ(after, resolve(c.lines));
  EXPECT_EQ(rig.sink.outcome, c.outcome);
}

Frame vr(std::uint8_t code) { return isp::downloaderReportReply(0x43, 0, code); }

INSTANTIATE_TEST_SUITE_P(Table, ToolCheck, ::testing::Values(
    VerifyCase{"match", {vr(4), vr(0)}, {"#113", "#110", "#181", "179"}, Outcome::Success},
    VerifyCase{"mismatch", {vr(1)}, {"#180"}, Outcome::Failed},
    VerifyCase{"noTarget", {vr(2)}, {"#188"}, Outcome::Failed},
    VerifyCase{"model", {vr(3)}, {"#289"}, Outcome::Failed},
    VerifyCase{"powerNotOff", {st(0x11, 1)}, {"#284"}, Outcome::Failed},
    VerifyCase{"powerOn", {st(0x12, 1), vr(0)}, {"#283", "#181", "179"}, Outcome::Success}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(EngineTest, CancelDuringToolReportsSendsAbortAndEndAndClearsCheckByTool) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job, true);
  rig.engine.setCheckByTool(true);
  ASSERT_TRUE(rig.engine.StartVerify(job));
  rig.runUntilIdle(3s);
  ASSERT_EQ(rig.engine.state(), 102);
  rig.timers.clearWaits();
  rig.engine.Cancel();
  const std::size_t n = rig.link.sent.size();
  ASSERT_GE(n, 2u);
  EXPECT_EQ(rig.link.sent[n - 2].bytes, isp::abortFrame());
  EXPECT_EQ(rig.link.sent[n - 1].bytes, isp::endFrame());
  EXPECT_EQ(rig.timers.waits(), (std::vector<base::Millis>{10ms}));
  EXPECT_TRUE(rig.sink.loggedError(tx(185)));
  EXPECT_FALSE(rig.sink.logged(tx(288)));
  EXPECT_EQ(rig.sink.outcome, Outcome::Cancelled);
  EXPECT_FALSE(rig.engine.checkByTool());
  EXPECT_FALSE(rig.engine.holdsImage());
  EXPECT_EQ(rig.sink.progress, 100);
}

TEST_F(EngineTest, CancelWhileIdleOnlyReleasesTheImage) {
  rig.engine.Cancel();
  EXPECT_TRUE(rig.link.sent.empty());
  EXPECT_TRUE(rig.link.opens.empty());
  EXPECT_TRUE(rig.sink.lines.empty());
  EXPECT_FALSE(rig.sink.outcome.has_value());
  EXPECT_EQ(rig.sink.imageReleases, 1);
  EXPECT_TRUE(rig.engine.checkByTool());
}

TEST_F(EngineTest, AStaleDownloaderModeDoesNotCarryIntoTheNextRun) {
  const IspJob job = shortJob(0x100);
  {
    Responder tool(rig, job, true);
    ASSERT_TRUE(rig.engine.StartProgram(job));
    rig.runUntilIdle(2s);
    ASSERT_TRUE(rig.engine.downloaderMode());
    rig.engine.Cancel();
  }
  Responder chip(rig, job);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  EXPECT_FALSE(rig.engine.downloaderMode());
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Success);
}

// --- start conditions, port errors, version query ---

TEST_F(EngineTest, StartRefusals) {
  rig.link.configuredPort = false;
  EXPECT_FALSE(rig.engine.StartProgram(shortJob(0x100)));
  rig.link.configuredPort = true;
  EXPECT_FALSE(rig.engine.StartProgram(shortJob(0x100, 0)));
  rig.link.failOpen = true;
  EXPECT_FALSE(rig.engine.StartVerify(shortJob(0x100)));
  IspJob tooLong = shortJob(0x100);
  tooLong.dataLength = 70000;
  rig.link.failOpen = false;
  EXPECT_FALSE(rig.engine.StartProgram(tooLong));
  EXPECT_EQ(rig.sink.messages, (std::vector<std::string>{base::text(315), base::text(170), base::text(192),
                                                          base::text("isp.job_too_large")}));
  EXPECT_EQ(rig.engine.state(), IspEngine::kIdle);
  EXPECT_TRUE(rig.link.sent.empty());
}

TEST_F(EngineTest, AnOpenPortIsClosedAndReopenedAt1200) {
  rig.link.baud = 9600;
  ASSERT_TRUE(rig.engine.StartProgram(shortJob(0x100)));
  EXPECT_EQ(rig.link.closes, 1);
  EXPECT_EQ(rig.timers.waits(), (std::vector<base::Millis>{100ms, 10ms}));
  EXPECT_EQ(rig.link.baud, 1200u);
  EXPECT_TRUE(rig.sink.logged(tx(171)));
}

TEST_F(EngineTest, APortErrorBeforeASendEndsTheRun) {
  const IspJob job = shortJob(0x100);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.advance(40ms);
  const std::size_t sent = rig.link.sent.size();
  rig.link.error = true;
  rig.advance(40ms);
  EXPECT_EQ(rig.link.sent.size(), sent);
  EXPECT_EQ(rig.engine.state(), IspEngine::kIdle);
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_TRUE(rig.sink.loggedError(tx(288)));
  EXPECT_EQ(rig.sink.progress, 100);
  EXPECT_TRUE(rig.sink.controlsEnabled);
  EXPECT_FALSE(rig.timers.running(IspEngine::kTimerSync));
}

TEST_F(EngineTest, VersionQueryAt1200) {
  rig.engine.OnByte(0xAA);  // ignored while nothing is pending
  ASSERT_TRUE(rig.engine.QueryVersion(isp::engine::VersionQuery::EncryptedFile));
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200}));
  EXPECT_EQ(rig.link.sent.back().bytes, (Frame{0x55, 0x01, 0x44, 0x45}));
  rig.reply({0x00});
  rig.reply(isp::versionReply(516));
  rig.deliver();
  ASSERT_TRUE(rig.sink.info.has_value());
  EXPECT_EQ(rig.sink.info->version, std::optional<std::uint16_t>(516));
  EXPECT_EQ(rig.sink.infoAsker, isp::engine::VersionQuery::EncryptedFile);
  EXPECT_EQ(rig.engine.programmerVersion(), std::optional<std::uint16_t>(516));
  EXPECT_EQ(rig.engine.pendingQuery(), isp::engine::VersionQuery::None);
  EXPECT_FALSE(rig.engine.active());
  EXPECT_FALSE(rig.link.isOpen());
}

// --- 32-bit family type ---

TEST_F(EngineTest, TwelvePowerCycleSendsThen285And115200) {
  const IspJob job = longJob();
  Responder device(rig, job);
  device.presence = false;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.advance(1250ms);
  std::vector<base::Millis> times;
  for (const Sent& s : rig.link.sent) {
    if (s.bytes == isp::powerCycleTargetFrame()) {
      times.push_back(s.at);
      EXPECT_EQ(s.baud, 1200u);
    }
  }
  ASSERT_EQ(times.size(), 12u);
  for (std::size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 100ms);
  EXPECT_TRUE(rig.sink.logged(tx(285)));
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200, 115200}));
  // Right after the twelfth send: 10 ms to timer 6, 10 ms to reopen.
  const auto reopen = std::find_if(rig.link.sent.begin(), rig.link.sent.end(),
                                   [](const Sent& s) { return s.baud == 115200u; });
  ASSERT_NE(reopen, rig.link.sent.end());
  EXPECT_EQ(reopen->bytes, isp::longSyncFrame());
  EXPECT_LE(reopen->at - times.back(), 40ms);
}

TEST_F(EngineTest, LongFrameProgramWritesFromBlock8AndVerifiesTheApplication) {
  const IspJob job = longJob(1700);  // 12 pages: blocks 8..11
  ASSERT_EQ(job.pageCount, 12u);
  Responder device(rig, job);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  ASSERT_EQ(rig.sink.outcome, Outcome::Success) << ::testing::PrintToString(rig.lines());
  const auto blocks = rig.framesWithCommand(isp::kCmdLongWriteBlock, true);
  ASSERT_EQ(blocks.size(), 4u);
  for (std::uint32_t i = 0; i < 4; ++i) {
    const std::uint32_t address = (8 + i) * 512;
    EXPECT_EQ(blocks[i], isp::longWriteBlockFrame(address, {job.image.data() + address, 512}));
  }
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdLongVerifyRange, true),
            (std::vector<Frame>{isp::longVerifyRangeFrame(0x1000, 6144)}));
  EXPECT_TRUE(rig.sink.logged(tx(285)));
  EXPECT_TRUE(rig.sink.logged(named("isp.model_match")));
  EXPECT_TRUE(rig.sink.logged(tx(286)));
  EXPECT_TRUE(rig.sink.logged(tx(292)));
  EXPECT_TRUE(rig.sink.logged(tx(291)));
  EXPECT_EQ(rig.lines().back().rfind("--> Time consumption: ", 0), 0u);
  EXPECT_EQ(rig.link.sent.back().bytes, isp::longReleaseFrame());
}

TEST_F(EngineTest, LongFrameCheckGoesStraightToVerifyRange) {
  const IspJob job = longJob(1500);
  Responder device(rig, job);
  ASSERT_TRUE(rig.engine.StartVerify(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Success);
  EXPECT_TRUE(rig.framesWithCommand(isp::kCmdLongEraseApplication, true).empty());
  EXPECT_TRUE(rig.framesWithCommand(isp::kCmdLongWriteBlock, true).empty());
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdLongVerifyRange, true).size(), 1u);
}

TEST_F(EngineTest, LongFrameChecksumMismatchIsNeverReportedAsSuccess) {
  const IspJob job = longJob();
  Responder device(rig, job);
  device.longChecksumDelta = 1;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  EXPECT_TRUE(rig.sink.loggedError(tx(126)));
  EXPECT_FALSE(rig.sink.logged(tx(230)));
  EXPECT_EQ(rig.framesWithCommand(isp::kCmdLongRelease, true).size(), 2u);
}

TEST_F(EngineTest, AnUnansweredLongBlockIsSentAgainAfterOneSecond) {
  const IspJob job = longJob();
  Responder device(rig, job);
  const auto answer = rig.link.onSend;
  bool swallowed = false;
  rig.link.onSend = [&](const Frame& f) {
    if (f.size() == 522 && !swallowed) {
      swallowed = true;  // the first block gets no answer
      return;
    }
    answer(f);
  };
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Success);
  const auto blocks = rig.framesWithCommand(isp::kCmdLongWriteBlock, true);
  ASSERT_GE(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], blocks[1]);
  std::vector<base::Millis> at;
  for (const Sent& s : rig.link.sent) {
    if (s.bytes.size() == 522) at.push_back(s.at);
  }
  EXPECT_EQ(at[1] - at[0], 1000ms);
  EXPECT_EQ(blocks.size(), job.pageCount - 8 + 1);
}

struct LongFailure {
  const char* what;
  bool powerOff;
  std::uint8_t syncStatus;
  std::uint16_t model;
  std::uint8_t erase;
  std::string line;
  bool red;
};

class LongFailures : public EngineTest, public ::testing::WithParamInterface<LongFailure> {};

TEST_P(LongFailures, AbortWithTheirText) {
  const LongFailure& c = GetParam();
  const IspJob job = longJob();
  Responder device(rig, job);
  device.powerOff = c.powerOff;
  device.longSyncStatus = c.syncStatus;
  device.identifyModel = c.model;
  device.eraseAppStatus = c.erase;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Failed);
  const std::vector<std::string> lines = rig.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], resolve({c.line})[0]);
  EXPECT_EQ(rig.sink.lines[lines.size() - 2].colour == base::LogColour::Error, c.red);
  EXPECT_EQ(lines.back(), tx(288));
}

INSTANTIATE_TEST_SUITE_P(Table, LongFailures, ::testing::Values(
    LongFailure{"powerNotOff", false, 0, 0x3201, 0, "#284", true},
    LongFailure{"powerCycleFailed", true, 2, 0x3201, 0, "--> 下载器断电复位芯片失败！", false},
    LongFailure{"model", true, 0, 0x3299, 0, "--> ic 型号不匹配,芯片型号为：QX32F128   ", false},
    LongFailure{"erase", true, 0, 0x3201, 1, "#287", false}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(EngineTest, AnUnreachableLongTargetStopsSynchronisingAndWaits) {
  const IspJob job = longJob();
  Responder device(rig, job);
  device.longSyncStatus = 1;
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle(5s);
  EXPECT_EQ(rig.engine.state(), 1);
  EXPECT_TRUE(rig.sink.logged(tx(194)));
  EXPECT_FALSE(rig.timers.running(IspEngine::kTimerSync));
  rig.engine.Cancel();
  EXPECT_EQ(rig.link.sent[rig.link.sent.size() - 1].bytes, isp::longReleaseFrame());
  EXPECT_EQ(rig.sink.outcome, Outcome::Cancelled);
}

TEST_F(EngineTest, CheckByToolIsClearedWhenARunEndsInStates6_7Or204) {
  const IspJob job = shortJob(0x100);
  Responder device(rig, job);
  rig.engine.setCheckByTool(true);
  ASSERT_TRUE(rig.engine.StartProgram(job));
  rig.runUntilIdle();
  EXPECT_EQ(rig.sink.outcome, Outcome::Success);
  EXPECT_FALSE(rig.engine.checkByTool());
}

}  // namespace
}  // namespace ispenginetest
