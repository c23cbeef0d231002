// The bootloader handle: memory pieces, mode, restarts and the update sequence.
#include <gtest/gtest.h>

#include "device/enumerate.hpp"
#include "device/exceptions.hpp"
#include "device/upgrade.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "tests/device/rig.hpp"

namespace {

namespace ep = emulator::programmer;
using rig::frame;

// A device already in its bootloader, with a handle on it.
struct BootRig {
  BootRig() {
    device->inspect([](ep::ProgrammerModel& m) { m.persistent().bootMode = true; });
    link = device->attach();
    link->open();
    handle = std::make_shared<qx::QUBRIXToolUpgradeIntf>(link);
  }
  std::size_t count(std::uint8_t id) const {
    std::size_t n = 0;
    for (const auto& e : device->log()) n += e.request[0] == id;
    return n;
  }
  std::shared_ptr<ep::EmulatedProgrammer> device = ep::EmulatedProgrammer::create();
  std::shared_ptr<qx::Interface> link;
  std::shared_ptr<qx::QUBRIXToolUpgradeIntf> handle;
};

TEST(UpgradeMemory, ReadsGoInPiecesOf60AndWritesOf56) {
  BootRig r;
  const auto before = r.handle->readMemory(0x08005800, 2048);
  ASSERT_EQ(before.size(), 2048u);
  const auto log = r.device->log();
  ASSERT_EQ(log.size(), 35u);
  EXPECT_EQ(log[0].request, frame({0xE1, 0, 0x00, 0x58, 0x00, 0x08, 60, 0}));
  EXPECT_EQ(log[34].request, frame({0xE1, 0, 0xF8, 0x5F, 0x00, 0x08, 8, 0}));

  std::vector<std::uint8_t> page(2048);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 31);
  r.device->clearLog();
  ASSERT_TRUE(r.handle->erasePage(0x08005800));
  EXPECT_EQ(r.device->log().back().request, frame({0xE3, 0, 0x00, 0x58, 0x00, 0x08, 1, 0}));
  ASSERT_TRUE(r.handle->writeMemory(0x08005800, page));
  EXPECT_EQ(r.count(0xE2), 37u);
  qx::Bytes last = {0xE2, 0, 0xE0, 0x5F, 0x00, 0x08, 32, 0};
  last.insert(last.end(), page.end() - 32, page.end());
  EXPECT_EQ(r.device->log().back().request, frame(last));
  EXPECT_EQ(r.handle->readMemory(0x08005800, 2048), page);
}

TEST(UpgradeMemory, ShortPiecesContinueAfterTheLastByteEmptyOnesEmptyTheResult) {
  BootRig r;
  ep::Fault shortPiece = rig::fault(ep::FaultKind::Tamper, 0xE1);
  shortPiece.tamper = [](qx::Bytes& reply) { reply[2] = 10; };
  r.device->addFault(shortPiece);
  ASSERT_EQ(r.handle->readMemory(0x08000000, 100).size(), 100u);
  const auto log = r.device->log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(qx::u32At(log[1].request, 2), 0x0800000Au);
  EXPECT_EQ(log[1].request[6], 60);
  EXPECT_EQ(qx::u32At(log[2].request, 2), 0x08000046u);
  EXPECT_EQ(log[2].request[6], 30);

  // A declared length beyond the frame gives no more than the frame and the request hold.
  ep::Fault tooLong = rig::fault(ep::FaultKind::Tamper, 0xE1);
  tooLong.tamper = [](qx::Bytes& reply) { reply[2] = 0xFF; reply[3] = 0xFF; };
  r.device->addFault(tooLong);
  EXPECT_EQ(r.handle->readMemoryBlock(0x08000000, 60).size(), 60u);

  ep::Fault none = rig::fault(ep::FaultKind::Tamper, 0xE1);
  none.tamper = [](qx::Bytes& reply) { reply[2] = 0; };
  r.device->addFault(none);
  EXPECT_TRUE(r.handle->readMemory(0x08000000, 100).empty());
}

TEST(UpgradeMemory, OutOfRangeAndTheBootloadersOwnAreaAreRefused) {
  BootRig r;
  const std::uint32_t addresses[] = {0x07FFFFF0, 0x08020000};
  for (std::uint32_t a : addresses) {
    try {
      r.handle->readMemoryBlock(a, 16);
      ADD_FAILURE() << "no exception";
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(e.code(), 11);
    }
  }
  EXPECT_THROW(r.handle->erasePage(0x08000000), qx::CommandException);
  EXPECT_THROW(r.handle->writeMemoryBlock(0x08005000, std::vector<std::uint8_t>{1}), qx::CommandException);
  EXPECT_THROW(r.handle->readMemoryBlock(0x08000000, 61), qx::CommandException);
  EXPECT_EQ(r.device->log().size(), 4u);
}

TEST(UpgradeMode, ModeQueryReadsOnlyOneAndTwo) {
  BootRig r;
  EXPECT_EQ(r.handle->getMode(), 1);
  EXPECT_EQ(r.device->log().back().request, frame({0xE0}));
  r.device->addFault(rig::replyWith({0xE0, 3}));
  EXPECT_EQ(r.handle->getMode(), 0);
  r.device->addFault(rig::fault(ep::FaultKind::Silence, 0xE0));
  EXPECT_THROW(r.handle->getMode(), qx::ReadTimeoutException);
}

TEST(UpgradeRestart, SendsItsFrameAndIgnoresAGoneDevice) {
  BootRig r;
  r.handle->restart(2);
  EXPECT_EQ(r.device->log().back().request, frame({0xE4, 2}));
  EXPECT_TRUE(r.device->log().back().reply.empty());
  // The restart took the device off the bus: this transport is gone.
  EXPECT_THROW(r.handle->getAppVersion(), qx::DeviceException);
  r.device->unplug();
  EXPECT_NO_THROW(r.handle->restart(1));
}

// The update sequence: into the bootloader, look the device up again, erase and write the
// application, read it back, start it; the new version is the one in the image.
TEST(UpgradeSequence, RestartReEnumeratesAndTheNewImageBringsItsVersion) {
  for (bool bootSerialIsIdentity : {false, true}) {
    ep::Config config;
    config.bootSerialIsIdentity = bootSerialIsIdentity;
    auto device = ep::EmulatedProgrammer::create(config);
    qx::setHardwareEnumeration(false);
    const int provider = qx::addDeviceProvider([device] {
      std::vector<std::shared_ptr<qx::Interface>> found;
      if (auto link = device->attach()) found.push_back(link);
      return found;
    });
    auto tool = qx::firstUpgrade();
    ASSERT_NE(tool, nullptr);
    ASSERT_TRUE(tool->link()->open());
    const std::string serial = qx::toolSerialNumber(tool);
    EXPECT_EQ(serial, "439041101");
    ASSERT_EQ(tool->getMode(), 2);
    const std::string identity = tool->getBootIdentity();
    tool->restart(1);
    tool.reset();
    auto boot = qx::findUpgradeBySerial(serial);
    if (boot == nullptr) boot = qx::findUpgradeBySerial(identity);
    ASSERT_NE(boot, nullptr);
    EXPECT_EQ(qx::toolSerialNumber(boot), bootSerialIsIdentity ? identity : serial);
    ASSERT_TRUE(boot->link()->open());
    ASSERT_EQ(boot->getMode(), 1);

    std::vector<std::uint8_t> image = ep::firmwareImage("1.0.3.0", 5000);
    image.erase(image.begin(), image.begin() + ep::kAppOffset);
    for (std::size_t o = 0; o < image.size(); o += 2048) {
      const std::span<const std::uint8_t> part(image.data() + o, std::min<std::size_t>(2048, image.size() - o));
      ASSERT_TRUE(boot->erasePage(0x08005800 + static_cast<std::uint32_t>(o)));
      ASSERT_TRUE(boot->writeMemory(0x08005800 + static_cast<std::uint32_t>(o), part));
      EXPECT_TRUE(std::ranges::equal(boot->readMemory(0x08005800 + static_cast<std::uint32_t>(o), static_cast<std::uint32_t>(part.size())), part));
    }
    boot->restart(2);
    boot.reset();
    auto app = qx::findUpgradeBySerial(serial);
    ASSERT_NE(app, nullptr);
    ASSERT_TRUE(app->link()->open());
    EXPECT_EQ(app->getMode(), 2);
    EXPECT_EQ(app->getAppVersion(), "1.0.3.0");
    app.reset();
    qx::removeDeviceProvider(provider);
    qx::setHardwareEnumeration(true);
  }
}

TEST(UpgradeSequence, AnImageWithoutAValidHeaderDoesNotStart) {
  BootRig r;
  ASSERT_TRUE(r.handle->erasePage(0x08005800));
  r.handle->restart(2);
  auto link = r.device->attach();
  ASSERT_TRUE(link->open());
  qx::QUBRIXToolUpgradeIntf again(link);
  EXPECT_EQ(again.getMode(), 1);
  EXPECT_EQ(again.getAppVersion(), "");
}

}  // namespace
