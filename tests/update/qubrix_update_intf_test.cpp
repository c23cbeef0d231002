// The host side of the system bootloader against the emulated STM32 bootloader on a real
// pseudo-terminal: the exact bytes of every frame, the re-synchronisation and the result codes.
#include <gtest/gtest.h>

#include <memory>

#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/stm32_bootloader.hpp"
#include "update/qubrix_update_intf.hpp"

namespace {

namespace es = emulator::serial;
using Frames = std::vector<isp::Frame>;
using update::QubrixUpdateIntf;

struct Bench {
  explicit Bench(es::Stm32Config config = {}, es::Stm32Faults faults = {})
      : host(std::make_unique<es::Stm32Bootloader>(config, std::move(faults))) {
    EXPECT_TRUE(host.start());
  }
  // The host's frames after the synchronisation, Get and Get ID of openBootloader.
  Frames afterOpen() const {
    const Frames all = host.requests();
    return Frames(all.begin() + std::min<std::ptrdiff_t>(3, static_cast<std::ptrdiff_t>(all.size())), all.end());
  }
  isp::Frame flash(std::size_t from, std::size_t n) {
    isp::Frame out;
    host.withDevice([&](es::SerialDevice& d) {
      const auto bytes = static_cast<es::Stm32Bootloader&>(d).flash().bytes();
      out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(from + n));
    });
    return out;
  }
  es::PtyHost host;
};

TEST(QubrixUpdateIntfTest, OpensWithSyncGetAndGetIdAndLearnsTheEraseCommand) {
  for (std::uint8_t erase : {0x43, 0x44}) {
    es::Stm32Config config;
    config.eraseCommand = erase;
    Bench bench(config);
    QubrixUpdateIntf intf;
    ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
    EXPECT_EQ(intf.eraseCommand(), erase);
    EXPECT_EQ(bench.host.requests(), (Frames{{0x7F}, {0x00, 0xFF}, {0x02, 0xFD}}));
  }
}

TEST(QubrixUpdateIntfTest, EraseAllSendsTheLearntCommandAndItsGlobalBlock) {
  const struct {
    std::uint8_t erase;
    Frames frames;
  } kCases[] = {{0x43, {{0x43, 0xBC}, {0xFF, 0x00}}}, {0x44, {{0x44, 0xBB}, {0xFF, 0xFF, 0x00}}}};
  for (const auto& c : kCases) {
    es::Stm32Config config;
    config.eraseCommand = c.erase;
    Bench bench(config);
    QubrixUpdateIntf intf;
    ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
    EXPECT_EQ(intf.eraseAll(), 0);
    EXPECT_EQ(bench.afterOpen(), c.frames);
  }
}

TEST(QubrixUpdateIntfTest, WriteAndReadBlocksGoOutAsAn3155FramesAndTheFlashHoldsTheBytes) {
  Bench bench;
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  const std::uint8_t one = 0x5A;
  EXPECT_EQ(intf.writeBlock(0x08000080, &one, 1), 0);
  std::vector<std::uint8_t> block(128);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(intf.writeBlock(0x08000100, block.data(), block.size()), 0);
  std::vector<std::uint8_t> back(128);
  EXPECT_EQ(intf.readBlock(0x08000100, back.data(), back.size()), 0);
  EXPECT_EQ(back, block);

  const Frames frames = bench.afterOpen();
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[0], (isp::Frame{0x31, 0xCE}));
  EXPECT_EQ(frames[1], (isp::Frame{0x08, 0x00, 0x00, 0x80, 0x88}));
  EXPECT_EQ(frames[2], (isp::Frame{0x00, 0x5A, 0x5A}));
  EXPECT_EQ(frames[5].size(), 130u);
  EXPECT_EQ(frames[5].front(), 0x7F);
  EXPECT_EQ(frames[6], (isp::Frame{0x11, 0xEE}));
  EXPECT_EQ(frames[8], (isp::Frame{0x7F, 0x80}));
  EXPECT_EQ(bench.flash(0x80, 1), (isp::Frame{0x5A}));
}

TEST(QubrixUpdateIntfTest, AnAlreadySynchronisedBootloaderAnswersNackAndTheOpenStillSucceeds) {
  Bench bench;
  {
    QubrixUpdateIntf first;
    ASSERT_EQ(first.openBootloader(bench.host.path(), 115200), 0);
  }
  QubrixUpdateIntf second;
  EXPECT_EQ(second.openBootloader(bench.host.path(), 115200), 0);
  EXPECT_EQ(second.eraseCommand(), 0x44);
}

TEST(QubrixUpdateIntfTest, ASilentLineGetsTwoSynchronisationBytesThen43) {
  es::Stm32Faults faults;
  faults.silent = true;
  Bench bench({}, faults);
  QubrixUpdateIntf intf;
  EXPECT_EQ(intf.openBootloader(bench.host.path(), 115200), 43);
  EXPECT_EQ(bench.host.requests(), (Frames{{0x7F}, {0x7F}}));
}

TEST(QubrixUpdateIntfTest, ASecondOpenNeitherReopensNorChangesTheRate) {
  Bench bench;
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  EXPECT_EQ(intf.openBootloader("/dev/null/nothing", 9600), 0);
  EXPECT_EQ(bench.host.deviceRate(), 115200u);
  EXPECT_EQ(bench.host.garbledBytes(), 0u);
  EXPECT_EQ(bench.host.requests().size(), 6u);
}

TEST(QubrixUpdateIntfTest, RefusalsBecomeTheirCodes) {
  QubrixUpdateIntf closed;
  EXPECT_EQ(closed.openBootloader("/nonexistent/tty", 115200), 42);
  std::uint8_t byte = 0;
  EXPECT_EQ(closed.writeBlock(0x08000000, &byte, 1), 28);
  EXPECT_EQ(closed.eraseAll(), 30);

  es::Stm32Faults faults;
  faults.nackCommands = {0x31, 0x11, 0x21};
  Bench bench({}, faults);
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  EXPECT_EQ(intf.writeBlock(0x08000000, &byte, 1), 28);
  EXPECT_EQ(intf.readBlock(0x08000000, &byte, 1), 37);
  EXPECT_EQ(intf.goAddress(0x08000000), 38);
  // Outside the flash, the address is refused.
  es::Stm32Faults none;
  Bench plain({}, none);
  QubrixUpdateIntf other;
  ASSERT_EQ(other.openBootloader(plain.host.path(), 115200), 0);
  EXPECT_EQ(other.readBlock(0x20000000, &byte, 1), 37);
}

TEST(QubrixUpdateIntfTest, FlashMustBeErasedBeforeItIsWrittenAgain) {
  Bench bench;
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  const std::uint8_t first[4] = {0x0F, 0x0F, 0x0F, 0x0F};
  const std::uint8_t second[4] = {0xF0, 0xF0, 0xF0, 0xF0};
  EXPECT_EQ(intf.writeBlock(0x08000000, first, 4), 0);
  EXPECT_EQ(intf.writeBlock(0x08000000, second, 4), 28);
  EXPECT_EQ(intf.eraseAll(), 0);
  EXPECT_EQ(intf.writeBlock(0x08000000, second, 4), 0);
  EXPECT_EQ(bench.flash(0, 4), (isp::Frame{0xF0, 0xF0, 0xF0, 0xF0}));
}

TEST(QubrixUpdateIntfTest, WriteVerifyResynchronisesAndReadsTheBlockBack) {
  Bench bench;
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  std::uint8_t data[16];
  for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
  EXPECT_EQ(intf.writeVerify(0x08000200, data, 16), 0);
  const Frames frames = bench.afterOpen();
  // Write (3 frames), then 0x7F answered with NACK, Get, Get ID, then Read (3 frames).
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[3], (isp::Frame{0x7F}));
  EXPECT_EQ(frames[8], (isp::Frame{0x0F, 0xF0}));
  for (auto& b : data) b = static_cast<std::uint8_t>(~b);
  EXPECT_EQ(intf.writeVerify(0x08000200, data, 16), 28);  // not erased: the write itself is refused
}

TEST(QubrixUpdateIntfTest, GoStartsTheApplicationAndTheLineFallsSilent) {
  Bench bench;
  QubrixUpdateIntf intf;
  ASSERT_EQ(intf.openBootloader(bench.host.path(), 115200), 0);
  EXPECT_EQ(intf.goAddress(0x08000000), 0);
  EXPECT_EQ(bench.afterOpen(), (Frames{{0x21, 0xDE}, {0x08, 0x00, 0x00, 0x00, 0x08}}));
  EXPECT_EQ(intf.openBootloader({}, 0), 43);
}

}  // namespace
