// The engine over real pseudo-terminals against the emulated bootloaders and downloader, in real
// time with wire pacing. Images are small and rates fast so that each run takes well under a second
// (the 32-bit bootloader's power-cycle tries take 1.2 s by design).
#include <gtest/gtest.h>

#include <algorithm>

#include "base/texts.hpp"
#include "emulator/serial/chip32_bootloader.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/pty_host.hpp"
#include "isp/engine/runner.hpp"
#include "tests/ispengine/engine_rig.hpp"

namespace ispenginetest {

using isp::Frame;
using isp::engine::IspEngine;
using isp::engine::IspJob;
using base::Outcome;
namespace {

using emulator::serial::Chip32Bootloader;
using emulator::serial::ChipBootloader;
using emulator::serial::ChipConfig;
using emulator::serial::ChipFaults;
using emulator::serial::DownloaderConfig;
using emulator::serial::DownloaderFaults;
using emulator::serial::PtyHost;
using emulator::serial::SerialDownloader;
using isp::engine::IspRunner;
using namespace std::chrono_literals;

std::string tx(int id) { return "--> " + base::text(id); }

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }

  void serve(std::unique_ptr<emulator::serial::SerialDevice> device) {
    host = std::make_unique<PtyHost>(std::move(device));
    ASSERT_TRUE(host->start());
  }

  Outcome program(const IspJob& job, std::chrono::milliseconds stall = 5000ms) {
    sink = RecordingSink{};
    IspRunner runner(sink, {host->path(), stall});
    const Outcome outcome = runner.program(job);
    stalled = runner.stalled();
    return outcome;
  }
  Outcome verify(const IspJob& job, std::chrono::milliseconds stall = 5000ms) {
    sink = RecordingSink{};
    IspRunner runner(sink, {host->path(), stall});
    const Outcome outcome = runner.verify(job);
    stalled = runner.stalled();
    return outcome;
  }
  std::string lines() const { return ::testing::PrintToString(sink.texts()); }
  std::size_t requestsWith(std::uint8_t cmd) const {
    const auto r = host->requests();
    return static_cast<std::size_t>(std::count_if(r.begin(), r.end(), [&](const Frame& f) { return f.size() > 3 && f[2] == cmd; }));
  }

  std::unique_ptr<PtyHost> host;
  RecordingSink sink;
  bool stalled = false;
};

bool flashHolds(PtyHost& host, const IspJob& job, std::size_t offset, std::size_t length,
                const std::function<isp::Bytes(emulator::serial::SerialDevice&)>& flashOf) {
  bool same = false;
  host.withDevice([&](emulator::serial::SerialDevice& d) {
    const isp::Bytes f = flashOf(d);
    same = f.size() >= offset + length && std::equal(f.begin() + static_cast<std::ptrdiff_t>(offset),
                                                     f.begin() + static_cast<std::ptrdiff_t>(offset + length),
                                                     job.image.begin() + static_cast<std::ptrdiff_t>(offset));
  });
  return same;
}

class BootloaderFamilies : public EndToEnd, public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(BootloaderFamilies, ProgramThenCheck) {
  ChipConfig config;
  config.familyType = GetParam();
  serve(std::make_unique<ChipBootloader>(config));
  IspJob job = shortJob(config.familyType, 700);
  job.upgradeBaudCode = GetParam() % 0x200 == 0 ? 0 : 11;  // the chip's own choice, or 921600

  ASSERT_EQ(program(job), Outcome::Success) << lines();
  EXPECT_TRUE(flashHolds(*host, job, 0, job.dataLength, [](auto& d) { return dynamic_cast<ChipBootloader&>(d).flash().bytes(); }));
  bool loaderAccepted = false;
  // Read between two of the device's steps: its serving thread is still running.
  host->withDevice([&](emulator::serial::SerialDevice& d) { loaderAccepted = dynamic_cast<ChipBootloader&>(d).loaderAccepted(); });
  EXPECT_TRUE(loaderAccepted || config.familyType == 0x100);

  ASSERT_EQ(verify(job), Outcome::Success) << lines();
  EXPECT_TRUE(sink.logged(tx(230)));
  EXPECT_EQ(host->garbledBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, BootloaderFamilies, ::testing::Values(0x000, 0x100, 0x200, 0x300, 0x400, 0x500));

TEST_F(EndToEnd, CheckFindsAChipThatDiffersFromTheFile) {
  ChipConfig config;
  config.familyType = 0x000;
  ChipFaults faults;
  faults.corruptAfterProgramming = 100;
  serve(std::make_unique<ChipBootloader>(config, faults));
  IspJob job = shortJob(0x000, 300);
  job.upgradeBaudCode = 11;
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  EXPECT_EQ(verify(job), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(280)));
}

TEST_F(EndToEnd, ANakForBlock13ErasesPage1AndTheImageStillArrivesWhole) {
  ChipConfig config;
  ChipFaults faults;
  faults.nakBlock = 13;
  serve(std::make_unique<ChipBootloader>(config, faults));
  IspJob job = shortJob(0x100, 20 * 128);
  job.upgradeBaudCode = 11;
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  std::vector<Frame> order;
  for (const Frame& f : host->requests()) {
    if (f.size() > 3 && f[2] == isp::kCmdErasePage) order.push_back(f);
    if (f.size() > 3 && f[2] == isp::kCmdWriteBlock && order.size() == 1) order.push_back(f);
  }
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], isp::erasePageFrame(isp::kAreaFlash, 1));
  EXPECT_EQ(order[1], isp::writeBlockFrame(0x100, isp::kAreaFlash, 8, {job.image.data() + 8 * 128, 128}));
  EXPECT_TRUE(flashHolds(*host, job, 0, 20 * 128, [](auto& d) { return dynamic_cast<ChipBootloader&>(d).flash().bytes(); }));
}

// A stray byte before a reply, or an answer to every repeated sync, must not leave the reply
// receiver out of step for the rest of the run.
TEST_F(EndToEnd, StrayBytesAndRepeatedSyncAnswersAreSkipped) {
  struct Case {
    const char* name;
    ChipFaults faults;
  };
  ChipFaults stray;
  stray.strayByteBeforeReply = 5;  // before the acknowledgement of the second block
  ChipFaults everySync;
  everySync.answerEverySync = true;
  ChipFaults both = stray;
  both.answerEverySync = true;
  for (const Case& c : {Case{"stray byte", stray}, Case{"every sync", everySync}, Case{"both", both}}) {
    serve(std::make_unique<ChipBootloader>(ChipConfig{}, c.faults));
    IspJob job = shortJob(0x100, 20 * 128);
    job.upgradeBaudCode = 11;
    ASSERT_EQ(program(job, 3000ms), Outcome::Success) << c.name << lines();
    EXPECT_TRUE(sink.logged(tx(230))) << c.name;
    ASSERT_EQ(verify(job, 3000ms), Outcome::Success) << c.name << lines();
  }
}

TEST_F(EndToEnd, AShorterImageWithoutEraseChipProgramsAndVerifiesAfterALongerOne) {
  serve(std::make_unique<ChipBootloader>(ChipConfig{}));
  IspJob longer = shortJob(0x100, 40 * 128);
  longer.upgradeBaudCode = 11;
  ASSERT_EQ(program(longer), Outcome::Success) << lines();
  IspJob shorter = shortJob(0x100, 10 * 128);
  shorter.upgradeBaudCode = 11;
  ASSERT_FALSE(shorter.eraseChip);
  ASSERT_EQ(program(shorter), Outcome::Success) << lines();
  EXPECT_TRUE(sink.logged(tx(230))) << lines();
  EXPECT_EQ(verify(shorter), Outcome::Success) << lines();
}

TEST_F(EndToEnd, AChipOfAnotherModelRefusesProgramStart) {
  ChipConfig config;
  config.modelId = 0x1111;
  serve(std::make_unique<ChipBootloader>(config));
  const IspJob job = shortJob(0x100);
  EXPECT_EQ(program(job), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(289)));
  EXPECT_EQ(sink.texts().back(), tx(288));
}

TEST_F(EndToEnd, ASilentLineIsGivenUpAfterTheStallTimeOut) {
  ChipFaults faults;
  faults.silent = true;
  serve(std::make_unique<ChipBootloader>(ChipConfig{}, faults));
  EXPECT_EQ(program(shortJob(0x100), 600ms), Outcome::Failed);
  EXPECT_TRUE(stalled);
  const std::vector<std::string> l = sink.texts();
  ASSERT_GE(l.size(), 2u);
  EXPECT_EQ(l[l.size() - 2].rfind("--> No answer for 1 s", 0), 0u);
  EXPECT_EQ(l.back(), tx(288));
}

TEST_F(EndToEnd, APulledCableEndsTheRunAtOnce) {
  ChipFaults faults;
  faults.unplugAfterRequests = 5;  // SetBaud, ConfirmBaud, ProgramStart, Erase, the first block
  serve(std::make_unique<ChipBootloader>(ChipConfig{}, faults));
  IspJob job = shortJob(0x100, 2000);
  job.upgradeBaudCode = 11;
  EXPECT_EQ(program(job, 20000ms), Outcome::Failed);
  EXPECT_TRUE(host->unplugged());
  EXPECT_EQ(sink.texts().back(), tx(288));
}

// --- the QUBRIX Tool ---

TEST_F(EndToEnd, DownloaderProgramsItsTargetAndChecksIt) {
  DownloaderConfig config;
  config.chip.familyType = 0x500;
  serve(std::make_unique<SerialDownloader>(config));
  const IspJob job = shortJob(0x500, 900);
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  for (int id : {172, 186, 187, 113, 184, 112}) EXPECT_TRUE(sink.logged(tx(id))) << id;
  EXPECT_EQ(sink.texts().back().rfind("--> Programming completed! Time consumption: ", 0), 0u);
  EXPECT_TRUE(flashHolds(*host, job, 0, job.dataLength, [](auto& d) { return dynamic_cast<SerialDownloader&>(d).targetFlash().bytes(); }));

  ASSERT_EQ(verify(job), Outcome::Success) << lines();
  EXPECT_EQ(requestsWith(isp::kCmdToolVerify), 1u);
  EXPECT_TRUE(sink.logged(tx(181)));
}

TEST_F(EndToEnd, DownloaderWithoutATargetReportsIt) {
  DownloaderFaults faults;
  faults.targetAbsent = true;
  serve(std::make_unique<SerialDownloader>(DownloaderConfig{}, faults));
  EXPECT_EQ(program(shortJob(0x100)), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(188)));
  EXPECT_TRUE(sink.logged(tx(189)));
  EXPECT_EQ(verify(shortJob(0x100)), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(188)));
}

TEST_F(EndToEnd, DownloaderCountsTheRunsOfALimitedFile) {
  serve(std::make_unique<SerialDownloader>());
  IspJob job = shortJob(0x100);
  job.productionFile = true;
  job.fromEncryptedFile = true;
  job.production.write_limit_num_enable = true;
  job.production.write_num_max = 1;
  job.production.encrypt_file_id = 0xC0FFEE;
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  EXPECT_TRUE(sink.logged(tx(281)));
  EXPECT_EQ(program(job), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(310)));
}

TEST_F(EndToEnd, VersionQueryAt1200) {
  DownloaderConfig config;
  config.version = 530;
  serve(std::make_unique<SerialDownloader>(config));
  RecordingSink s;
  IspRunner runner(s, {host->path(), 3000ms});
  const auto info = runner.queryVersion();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->version, std::optional<std::uint16_t>(530));
  EXPECT_EQ(host->requests(), (std::vector<Frame>{isp::queryVersionFrame()}));
}

// --- 32-bit family type ---

isp::Bytes flash32(emulator::serial::SerialDevice& d) {
  if (auto* chip = dynamic_cast<Chip32Bootloader*>(&d)) return chip->flash().bytes();
  return dynamic_cast<SerialDownloader&>(d).chip32().flash().bytes();
}

TEST_F(EndToEnd, Bootloader32WithoutADownloaderProgramsAfterTwelveTries) {
  serve(std::make_unique<Chip32Bootloader>());
  const IspJob job = longJob(3000);
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  // The chip listens at 115200 only: the power-cycle requests at 1200 never reach it.
  EXPECT_EQ(host->garbledBytes(), 12u * 4u);
  EXPECT_TRUE(sink.logged(tx(285)));
  EXPECT_TRUE(flashHolds(*host, job, 4096, static_cast<std::size_t>(job.programLength) - 4096, flash32));
  ASSERT_EQ(verify(job), Outcome::Success) << lines();
}

TEST_F(EndToEnd, Downloader32PowerCyclesAndBridges) {
  DownloaderConfig config;
  config.target32 = true;
  serve(std::make_unique<SerialDownloader>(config));
  const IspJob job = longJob(3000);
  ASSERT_EQ(program(job), Outcome::Success) << lines();
  EXPECT_EQ(requestsWith(isp::kCmdPowerCycleTarget), 1u);  // answered at once: no twelve tries
  EXPECT_TRUE(flashHolds(*host, job, 4096, static_cast<std::size_t>(job.programLength) - 4096, flash32));
  ASSERT_EQ(verify(job), Outcome::Success) << lines();
}

TEST_F(EndToEnd, Downloader32WithThePowerStillOn) {
  DownloaderConfig config;
  config.target32 = true;
  DownloaderFaults faults;
  faults.powerNotOff = true;
  serve(std::make_unique<SerialDownloader>(config, faults));
  EXPECT_EQ(program(longJob()), Outcome::Failed);
  EXPECT_TRUE(sink.loggedError(tx(284)));
}

}  // namespace
}  // namespace ispenginetest
