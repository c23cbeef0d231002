// The emulated devices in-process: what they answer, and what they refuse as real chips would.
#include <gtest/gtest.h>

#include "emulator/serial/chip32_bootloader.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/downloader.hpp"
#include "isp/loaders/loaders.hpp"
#include "isp/replies.hpp"
#include "tests/emulator_serial/fake_wire.hpp"

namespace emuserialtest {
namespace {

using emulator::serial::Chip32Bootloader;
using emulator::serial::ChipBootloader;
using emulator::serial::ChipConfig;
using emulator::serial::SerialDownloader;
using isp::Frame;

using Replies = std::vector<Frame>;

Frame sync() { return isp::syncBytes(isp::Dialect::Short); }

// The start of a download of `length` bytes for the devices' default model.
isp::ProgramStart startFor(std::uint32_t length) {
  isp::ProgramStart p;
  p.familyType = 0x100;
  p.modelId = 0x5812;
  p.dataLength = length;
  return p;
}

void writeLoader(ChipBootloader& chip, FakeWire& w, std::uint16_t family) {
  const auto loader = isp::loaders::loaderFor(family);
  for (std::size_t b = 0; b * 128 < loader.size(); ++b) {
    ASSERT_EQ(w.feed(chip, isp::writeBlockFrame(chip.config().familyType, isp::kAreaXdata, static_cast<std::uint32_t>(b),
                                                 loader.subspan(b * 128, 128))),
              Replies{isp::ackReply(0)});
  }
}

ChipBootloader synced(FakeWire& w, ChipConfig config = {}) {
  ChipBootloader chip(config);
  chip.onReset(w);
  w.feed(chip, sync());
  return chip;
}

TEST(ChipBootloader, AnswersTheFirstSynchronisationAtTheHostsRateOnly) {
  FakeWire w;
  ChipBootloader chip;
  chip.onReset(w);
  EXPECT_TRUE(w.autobaud);
  EXPECT_EQ(w.feed(chip, {0x00, 0x37}), Replies{});
  EXPECT_EQ(w.feed(chip, sync()), Replies{isp::syncAnswerReply(0x5A)});
  EXPECT_FALSE(w.autobaud);
  EXPECT_EQ(w.feed(chip, sync()), Replies{});
}

TEST(ChipBootloader, BaudSwitchAnswersAtTheOldRateAndThenMoves) {
  FakeWire w;
  ChipBootloader chip = synced(w);
  EXPECT_EQ(w.feed(chip, isp::setBaudFrame(0)), Replies{isp::baudAnswerReply(0, 8)});
  EXPECT_EQ(w.out[0].rate, 1200u);
  EXPECT_EQ(w.rate(), 115200u);
  EXPECT_EQ(w.feed(chip, isp::setBaudFrame(11)), Replies{isp::baudAnswerReply(0, 11)});
  EXPECT_EQ(w.rate(), 921600u);
  EXPECT_EQ(w.feed(chip, isp::setBaudFrame(13)), Replies{isp::baudAnswerReply(1, 13)});
  EXPECT_EQ(w.rate(), 921600u);
  EXPECT_EQ(w.feed(chip, isp::confirmBaudFrame()), Replies{isp::lineTestPattern()});
}

TEST(ChipBootloader, FlashWorkNeedsTheFamilysOwnLoader) {
  ChipConfig config;
  config.familyType = 0x300;
  FakeWire w;
  ChipBootloader chip = synced(w, config);
  const Frame erase = isp::eraseFlashFrame(false, 8);
  EXPECT_EQ(w.feed(chip, erase), Replies{isp::ackReply(0x03)});
  writeLoader(chip, w, 0x200);  // the T4N0 loader does not run on a T4N1
  EXPECT_FALSE(chip.loaderAccepted());
  EXPECT_EQ(w.feed(chip, erase), Replies{isp::ackReply(0x03)});
  writeLoader(chip, w, 0x300);
  EXPECT_TRUE(chip.loaderAccepted());
  EXPECT_EQ(w.feed(chip, erase), Replies{isp::ackReply(0)});
}

TEST(ChipBootloader, FlashMustBeErasedBeforeItIsWritten) {
  FakeWire w;
  ChipBootloader chip = synced(w);  // family 0x100 needs no loader
  chip.flash().fill(0x0F);
  std::array<std::uint8_t, 128> block{};
  block.fill(0xA5);
  const Frame write = isp::writeBlockFrame(0x100, isp::kAreaFlash, 9, block);
  EXPECT_EQ(w.feed(chip, write), Replies{isp::ackReply(0x01)});
  EXPECT_EQ(w.feed(chip, isp::erasePageFrame(isp::kAreaFlash, 1)), Replies{isp::ackReply(0)});
  EXPECT_EQ(w.feed(chip, write), Replies{isp::ackReply(0)});
  EXPECT_EQ(chip.flash().bytes()[9 * 128], 0xA5);
  EXPECT_EQ(chip.flash().bytes()[2048], 0x0F);  // page 2 untouched
  // The checksum report is the real byte sum of the flash.
  const std::uint16_t sum = static_cast<std::uint16_t>(chip.flash().sum(0, 16384));
  EXPECT_EQ(w.feed(chip, isp::checksumRequestFrame(16)), Replies{isp::checksumReportReply(sum)});
}

TEST(ChipBootloader, ProgramStartChecksModelAndLayout) {
  FakeWire w;
  ChipBootloader chip = synced(w);
  isp::ProgramStart p = startFor(300);
  p.internalName = "QX58K16A";
  EXPECT_EQ(w.feed(chip, isp::programStartFrame(p)), Replies{isp::ackReply(0)});
  p.limits = isp::ProgramLimits{};
  EXPECT_EQ(w.feed(chip, isp::programStartFrame(p)), Replies{isp::ackReply(0)});
  p.modelId = 0x5813;
  EXPECT_EQ(w.feed(chip, isp::programStartFrame(p)), Replies{isp::ackReply(0x01)});
}

TEST(ChipBootloader, EndStartsTheApplicationAndTheNextSessionSynchronisesAgain) {
  FakeWire w;
  ChipBootloader chip = synced(w);
  EXPECT_EQ(w.feed(chip, isp::endFrame()), Replies{});
  EXPECT_TRUE(w.autobaud);
  EXPECT_EQ(w.feed(chip, sync()), Replies{isp::syncAnswerReply(0x5A)});
}

TEST(Chip32Bootloader, VerifyRangeSumsUpToItsEndAndTheBootAreaIsProtected) {
  FakeWire w;
  Chip32Bootloader chip;
  chip.onReset(w);
  EXPECT_EQ(w.rate(), 115200u);
  EXPECT_EQ(w.feed(chip, isp::longSyncFrame()), Replies{isp::longAckReply(0)});
  EXPECT_EQ(w.feed(chip, isp::longEraseApplicationFrame()), Replies{isp::longAckReply(0)});
  std::vector<std::uint8_t> block(512, 0x11);
  EXPECT_EQ(w.feed(chip, isp::longWriteBlockFrame(0x0800, block)), Replies{isp::longAckReply(0x01)});
  EXPECT_EQ(w.feed(chip, isp::longWriteBlockFrame(0x1000, block)), Replies{isp::longAckReply(0)});
  // 0x1000..0x1400: 512 bytes of 0x11 and 512 erased ones.
  const std::uint32_t sum = 512 * 0x11 + 512 * 0xFF + 2 * 1024 + 1;
  const auto replies = w.feed(chip, isp::longVerifyRangeFrame(0x1000, 0x1400));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(isp::parseLongChecksum(replies[0]).sum, sum);
}

TEST(Downloader, AnswersVersionAndSynchronisationAt1200) {
  emulator::serial::DownloaderConfig config;
  config.version = 517;
  SerialDownloader tool(config);
  FakeWire w;
  tool.onReset(w);
  EXPECT_EQ(w.feed(tool, isp::queryVersionFrame()), Replies{isp::versionReply(517)});
  EXPECT_EQ(w.feed(tool, sync()), Replies{isp::syncAnswerReply(0xFF)});
  EXPECT_EQ(w.feed(tool, isp::setBaudFrame(10)), Replies{isp::baudAnswerReply(0, 10)});
  EXPECT_EQ(w.rate(), 460800u);
}

TEST(Downloader, ReportsAsItProgramsItsTargetAndStopsOnAbort) {
  SerialDownloader tool;
  FakeWire w;
  tool.onReset(w);
  w.feed(tool, sync());
  std::array<std::uint8_t, 128> block{};
  block.fill(0x42);
  w.feed(tool, isp::programStartFrame(startFor(128)));
  w.feed(tool, isp::eraseFlashFrame(false, 1));
  w.feed(tool, isp::writeBlockFrame(0x100, isp::kAreaFlash, 0, block));
  const auto reports = w.feed(tool, isp::endFrame());
  auto st = [](std::uint8_t code) { return isp::downloaderReportReply(0x80, 0, code); };
  EXPECT_EQ(reports, (Replies{st(0), st(2), st(3), isp::downloaderReportReply(0x8C, 0, 100), st(4)}));
  // Spread out in time, as the tool takes its time.
  EXPECT_LT(w.out.front().at, w.out.back().at);
  EXPECT_EQ(tool.targetFlash().bytes()[0], 0x42);
  EXPECT_EQ(w.rate(), 1200u);

  w.feed(tool, sync());
  w.out.push_back({st(2), 460800, {}});
  w.feed(tool, isp::abortFrame());
  EXPECT_EQ(w.discards, 1);
}

TEST(Downloader, AnEndBeforeTheImageIsWholeLeavesTheTargetAlone) {
  SerialDownloader tool;
  FakeWire w;
  tool.onReset(w);
  w.feed(tool, sync());
  w.feed(tool, isp::programStartFrame(startFor(256)));
  w.feed(tool, isp::eraseFlashFrame(false, 2));
  std::array<std::uint8_t, 128> block{};
  w.feed(tool, isp::writeBlockFrame(0x100, isp::kAreaFlash, 0, block));
  EXPECT_EQ(w.feed(tool, isp::endFrame()), Replies{});
  EXPECT_EQ(tool.targetFlash().bytes()[0], 0xFF);
  EXPECT_EQ(w.rate(), 1200u);
}

struct SpecCase {
  std::vector<std::string> words;
  bool ok;
};

class Spec : public ::testing::TestWithParam<SpecCase> {};

TEST_P(Spec, ParsesWordsOrSaysWhy) {
  std::string error;
  const auto spec = emulator::serial::parseDeviceSpec(GetParam().words, error);
  EXPECT_EQ(spec.has_value(), GetParam().ok) << error;
  EXPECT_EQ(error.empty(), GetParam().ok);
  if (spec) {
    EXPECT_NE(emulator::serial::makeDevice(*spec), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Words, Spec, ::testing::Values(
    SpecCase{{"bootloader", "family=T4N3", "model=0x1234", "flash=32K", "fault=nak-block:13"}, true},
    SpecCase{{"bootloader32", "name=QX32F064", "fault=noise:3"}, true},
    SpecCase{{"downloader", "version=530", "fault=no-target", "fault=power-on"}, true},
    SpecCase{{"downloader32", "fault=power-not-off"}, true},
    SpecCase{{"bootloader", "family=X9"}, false},
    SpecCase{{"bootloader", "fault=no-target"}, false},
    SpecCase{{"bootloader32", "family=K7A0"}, false},
    SpecCase{{"bootloader", "flash=1000"}, false},
    SpecCase{{"downloader32", "fault=drop-reply:4", "fault=nak-erase", "fault=late-ack:9"}, true},
    SpecCase{{"downloader", "fault=sync-header", "fault=nak-loader:1", "fault=nak-run", "fault=nak-erase-page"}, true},
    SpecCase{{"bootloader32", "fault=sync-header"}, false},
    SpecCase{{"bootloader32", "fault=nak-run"}, false},
    SpecCase{{"bootloader", "fault=bad-checksum:0"}, false},
    SpecCase{{"bootloader", "fault=noise-at"}, false},
    SpecCase{{"toaster"}, false},
    SpecCase{{}, false}));

INSTANTIATE_TEST_SUITE_P(TouchBoardWords, Spec, ::testing::Values(
    SpecCase{{"touchboard", "channels=48", "period=20", "fault=bad-checksum:3", "fault=noise:2", "fault=unplug-after-s:5"}, true},
    SpecCase{{"touchboard", "fault=no-ack", "fault=chip-refused", "fault=oversize:4", "fault=unplug-after:100"}, true},
    SpecCase{{"touchboard", "channels=0"}, false},
    SpecCase{{"touchboard", "channels=83"}, false},
    SpecCase{{"touchboard", "fault=bad-checksum:0"}, false},
    SpecCase{{"touchboard", "fault=no-ack:1"}, false},
    SpecCase{{"touchboard", "fault=silent"}, false},
    SpecCase{{"touchboard", "flash=16K"}, false}));

TEST(Spec, TouchBoardFaultsReachTheBoard) {
  std::string error;
  const auto spec = emulator::serial::parseDeviceSpec({"touchboard", "channels=33", "fault=bad-checksum:7", "fault=unplug-after-s:2"}, error);
  ASSERT_TRUE(spec.has_value()) << error;
  EXPECT_EQ(spec->touchBoard.channels, 33);
  EXPECT_EQ(spec->touchBoardFaults.badChecksumEvery, 7u);
  EXPECT_EQ(spec->touchBoardFaults.unplugAfterSeconds, 2u);
  EXPECT_FALSE(spec->touchBoardFaults.noAck);
}

TEST(Spec, FaultsReachTheDeviceTheyBelongTo) {
  std::string error;
  const auto spec = emulator::serial::parseDeviceSpec({"downloader32", "fault=nak-block:9", "fault=no-target"}, error);
  ASSERT_TRUE(spec.has_value()) << error;
  EXPECT_EQ(spec->chip32Faults.nakBlock, std::optional<std::uint32_t>(9));
  EXPECT_TRUE(spec->downloaderFaults.targetAbsent);
  EXPECT_TRUE(spec->downloader.target32);
}

}  // namespace
}  // namespace emuserialtest
