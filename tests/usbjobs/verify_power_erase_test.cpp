// The verification worker, the power toggle and the whole-flash erase.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/worker.hpp"
#include "firmware/catalogue.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

using base::Outcome;

class Jobs : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }

  // The target programmed with the 1000-byte image of QB61C16 (unit 512).
  void programTarget(Rig& rig) {
    RecordingSink quiet;
    ASSERT_EQ(usbjobs::runProgram(jobFor("QB61C16", 1000, 1024), quiet, rig.running), Outcome::Success) << quiet.text();
    rig.device->clearLog();
  }

  RecordingSink sink;
};

TEST_F(Jobs, VerificationComparesTheDataOnlyAndEndsPoweredOff) {
  Rig rig;
  programTarget(rig);
  EXPECT_EQ(usbjobs::runVerify(jobFor("QB61C16", 1000, 1024), sink, rig.running), Outcome::Success) << sink.text();
  // 1000 bytes in units of 512: pieces of 58 up to 512, then up to 1000.
  std::vector<std::pair<std::uint32_t, int>> pieces;
  for (const auto& e : rig.requests(kVerify)) pieces.emplace_back(u32(e.request, 1), e.request[5]);
  ASSERT_EQ(pieces.size(), 9u + 9u);
  EXPECT_EQ(pieces[8], std::make_pair(464u, 48));
  EXPECT_EQ(pieces.back(), std::make_pair(976u, 24));
  EXPECT_TRUE(rig.requests(kEvent).empty());
  EXPECT_TRUE(rig.requests(kBurn).empty());
  std::vector<std::pair<int, int>> screen;
  for (const auto& e : rig.requests(kScreen)) {
    if (e.request[1] != 1) screen.emplace_back(e.request[1], e.request[2]);
  }
  // clear, mode 4, state 7 (checksum between), state 7, progress 0, 51, 100, state 8.
  EXPECT_EQ(screen, (std::vector<std::pair<int, int>>{{0, 0}, {4, 4}, {2, 7}, {2, 7}, {3, 0}, {3, 51}, {3, 100}, {2, 8}}));
  EXPECT_TRUE(sink.has("--> The verification was successful. The target program is consistent with the firmware file."));
  EXPECT_EQ(sink.log.back().line.rfind("--> Time consumption: ", 0), 0u);
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_FALSE(rig.anyTransportOpen());
}

TEST_F(Jobs, AnotherImageFailsTheVerification) {
  Rig rig;
  programTarget(rig);
  usbjobs::UsbJob other = jobFor("QB61C16", 1000, 1024);
  other.bytes[700] ^= 0x01;
  EXPECT_EQ(usbjobs::runVerify(other, sink, rig.running), Outcome::Failed);
  EXPECT_TRUE(sink.hasError("--> Verification failed. The target program is inconsistent with the firmware file."));
  EXPECT_FALSE(sink.has("--> The verification was successful. The target program is consistent with the firmware file."));
  const auto screens = rig.requests(kScreen);
  EXPECT_EQ(screens.back().request[2], 9);
  EXPECT_FALSE(rig.targetPowered());
}

TEST_F(Jobs, VerificationRefusesAnEmptyImageAndReportsItsOwnOpenFailure) {
  Rig rig;
  EXPECT_EQ(usbjobs::runVerify(jobFor("QB61C16", 0, 0), sink, rig.running), Outcome::Failed);
  EXPECT_TRUE(sink.hasError("--> Please load a firmware."));
  EXPECT_TRUE(rig.device->log().empty());

  ep::Fault f;
  f.kind = ep::FaultKind::Tamper;
  f.command = 0x00;
  f.tamper = [](qx::Bytes& reply) { reply[1] = 0; };
  rig.device->addFault(f);
  EXPECT_EQ(usbjobs::runVerify(jobFor("QB61C16", 1000, 1024), sink, rig.running), Outcome::Failed);
  EXPECT_TRUE(sink.hasError("--> Can't open the QUBRIX Tool."));
}

TEST_F(Jobs, ACancelDuringVerificationIsLoggedAndPowersOff) {
  ep::Config config;
  config.eraseUnitSize = 64;
  Rig rig(config);
  programTarget(rig);
  sink.onPercent = [&rig](int percent) {
    if (percent >= 25) rig.running = false;
  };
  EXPECT_EQ(usbjobs::runVerify(jobFor("QB61C16", 1000, 1024), sink, rig.running), Outcome::Cancelled);
  EXPECT_TRUE(sink.has("--> The user cancels the verification."));
  EXPECT_FALSE(sink.has("--> The verification was successful. The target program is consistent with the firmware file."));
  EXPECT_LT(rig.requests(kVerify).size(), 16u);
  EXPECT_EQ(sink.progress.back(), 0);
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_FALSE(rig.anyTransportOpen());
}

TEST_F(Jobs, PowerTogglesAndTheButtonShowsTheResult) {
  Rig rig;
  EXPECT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Success);
  EXPECT_TRUE(rig.targetPowered());
  EXPECT_TRUE(sink.has("--> The target is powered on."));
  EXPECT_EQ(sink.power.back(), std::make_pair(usbjobs::PowerIcon::On, std::string("Power &OFF")));

  EXPECT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Success);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_TRUE(sink.has("--> The target is powered off."));
  EXPECT_EQ(sink.power.back(), std::make_pair(usbjobs::PowerIcon::Off, std::string("Power &ON")));
  EXPECT_FALSE(rig.anyTransportOpen());
}

TEST_F(Jobs, AFailedPowerSwitchLeavesTheButtonAsTheTargetIs) {
  Rig rig;
  // Identify, state, voltage, identify: the switch itself finds the programmer gone.
  rig.device->unplugAfter(4);
  EXPECT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Failed);
  EXPECT_TRUE(sink.hasError("--> Power-on failed.")) << sink.text();
  EXPECT_EQ(sink.power.back(), std::make_pair(usbjobs::PowerIcon::Off, std::string("Power &ON")));

  Rig none;
  none.detach();
  RecordingSink other;
  EXPECT_EQ(usbjobs::runPowerToggle(other, none.running), Outcome::Failed);
  EXPECT_TRUE(other.hasError("--> No QUBRIX Tool was found."));
  EXPECT_TRUE(other.power.empty());
}

TEST_F(Jobs, EraseClearsTheWholeFlashAndPowersOff) {
  Rig rig;
  programTarget(rig);
  EXPECT_EQ(usbjobs::runErase(*firmware::FindByName("QB61C16"), sink, rig.running), Outcome::Success) << sink.text();
  const auto erase = rig.requests(kErase);
  ASSERT_EQ(erase.size(), 1u);
  EXPECT_EQ(erase[0].request[1], 2);
  EXPECT_EQ(u32(erase[0].request, 2), 0u);
  EXPECT_EQ(u16(erase[0].request, 6), 0u);
  EXPECT_EQ(rig.targetFlash(0, 1000), std::vector<std::uint8_t>(1000, 0xFF));
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);
  EXPECT_TRUE(sink.has("--> Erased successfully!"));
  EXPECT_FALSE(rig.targetPowered());

  ep::Fault refused;
  refused.kind = ep::FaultKind::Status;
  refused.command = kErase;
  refused.value = 9;
  rig.device->addFault(refused);
  RecordingSink failed;
  EXPECT_EQ(usbjobs::runErase(*firmware::FindByName("QB61C16"), failed, rig.running), Outcome::Failed);
  EXPECT_TRUE(failed.hasError("--> Failed to erase the target Flash."));
  EXPECT_FALSE(failed.has("--> Erased successfully!"));
  EXPECT_FALSE(rig.targetPowered());
}

// A cancel that comes before the command that changes the target changes nothing; one that finds
// the target powered still lets the switch-off through.
TEST_F(Jobs, ACancelBeforeTheEraseOrThePowerOnLeavesTheTargetAsItWas) {
  Rig rig;
  programTarget(rig);
  const auto programmed = rig.targetFlash(0, 1000);
  rig.running = false;
  EXPECT_EQ(usbjobs::runErase(*firmware::FindByName("QB61C16"), sink, rig.running), Outcome::Cancelled) << sink.text();
  EXPECT_TRUE(rig.requests(kErase).empty());
  EXPECT_EQ(rig.targetFlash(0, 1000), programmed);
  EXPECT_FALSE(sink.has("--> Erased successfully!"));
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_FALSE(rig.anyTransportOpen());

  EXPECT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Cancelled);
  EXPECT_EQ(usbjobs::runPowerSwitch(true, sink, rig.running), Outcome::Cancelled);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_FALSE(sink.has("--> The target is powered on."));

  rig.running = true;
  ASSERT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Success);
  rig.running = false;
  EXPECT_EQ(usbjobs::runPowerToggle(sink, rig.running), Outcome::Success);
  EXPECT_FALSE(rig.targetPowered());
  EXPECT_FALSE(rig.anyTransportOpen());
}

TEST(JobThread, TheWorkerTakesTheUsersLanguage) {
  ep::Config config;
  config.targetAttached = false;
  Rig rig(config);
  for (const int language : {base::kLangChinese, base::kLangEnglish}) {
    RecordingSink sink;
    usbjobs::JobThread worker(language, [&sink](const std::atomic<bool>& running) {
      return usbjobs::runProgram(jobFor("QB61C16", 1000, 1024), sink, running);
    });
    EXPECT_EQ(worker.wait(), Outcome::Failed);
    // The programmer's status text as well as the table's.
    EXPECT_TRUE(sink.hasError(language == base::kLangEnglish ? "--> Unable to connect to the target." : "--> 无法连接目标。"))
        << sink.text();
    EXPECT_TRUE(sink.hasError("--> " + base::textIn(language, 194)));
  }
}

}  // namespace
}  // namespace usbjobstest
