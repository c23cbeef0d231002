// The emulated programmer as a device: its chip socket, its flash, its settings and the state it
// keeps between processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "device/enumerate.hpp"
#include "device/exceptions.hpp"
#include "device/tool.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/programmer/config.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "emulator/programmer/nor_flash.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/programmer/state_file.hpp"
#include "firmware/catalogue.hpp"
#include "tests/support/temp_home.hpp"

namespace {

namespace ep = emulator::programmer;

std::shared_ptr<qx::QUBRIXTool> openTool(const std::shared_ptr<ep::EmulatedProgrammer>& device) {
  auto tool = std::make_shared<qx::QUBRIXTool>(device->attach());
  EXPECT_TRUE(tool->openAndIdentify());
  return tool;
}

int connectStatus(qx::QUBRIXTool& tool, const char* model) {
  const auto m = firmware::FindByName(model);
  try {
    return tool.connect(firmware::modelWord(*m), m->name, m->internalName) ? 0 : -1;
  } catch (const qx::CommandException& e) {
    return e.code();
  }
}

TEST(NorFlash, ProgrammingClearsBitsOnly) {
  ep::NorFlash f(16);
  const std::vector<std::uint8_t> a = {0xF0, 0x0F}, b = {0x0F, 0xFF};
  bool exact = false;
  ASSERT_TRUE(f.program(4, a, &exact));
  EXPECT_TRUE(exact);
  ASSERT_TRUE(f.program(4, b, &exact));
  EXPECT_FALSE(exact);
  EXPECT_EQ(f.bytes()[4], 0x00);
  EXPECT_EQ(f.bytes()[5], 0x0F);
  EXPECT_FALSE(f.program(15, a));
  ASSERT_TRUE(f.erase(4, 2));
  EXPECT_TRUE(f.equals(4, std::vector<std::uint8_t>{0xFF, 0xFF}));
}

TEST(Socket, ConnectChecksTargetAndModel) {
  {
    ep::Config none;
    none.targetAttached = false;
    auto device = ep::EmulatedProgrammer::create(none);
    EXPECT_EQ(connectStatus(*openTool(device), "QB51F08"), 5);
  }
  {
    ep::Config fixed;
    fixed.fixedModel = "QB51F08A";
    auto device = ep::EmulatedProgrammer::create(fixed);
    auto tool = openTool(device);
    EXPECT_EQ(connectStatus(*tool, "QB51F08"), 7);
    EXPECT_EQ(connectStatus(*tool, "QB51F08A"), 0);
  }
  {
    // The universal socket takes the first model asked for and keeps it.
    auto device = ep::EmulatedProgrammer::create();
    auto tool = openTool(device);
    EXPECT_EQ(connectStatus(*tool, "QB51F08A"), 0);
    EXPECT_EQ(tool->flashFlag(), 1u);
    EXPECT_EQ(connectStatus(*tool, "QB51F08"), 7);
    EXPECT_THROW(tool->connect(0x00001234, "X", "Y"), qx::CommandException);
    EXPECT_TRUE(tool->isTargetPowered());
  }
}

TEST(Config, FormatsAndParsesBackAndRefusesBadValues) {
  ep::Config c;
  std::string error;
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"serial", "12345"}, {"version", "1.0.2.5"}, {"model", "QB51F08"}, {"erase-units", "b"},
           {"voltage", "5.0"}, {"names-per-reply", "4"}, {"touch-channels", "40"}, {"boot-serial", "identity"}}) {
    EXPECT_TRUE(ep::setConfigValue(c, key, value, error)) << key << ": " << error;
  }
  const ep::Config back = ep::parseConfig(ep::formatConfig(c));
  EXPECT_EQ(ep::formatConfig(back), ep::formatConfig(c));
  EXPECT_EQ(back.serial, 12345u);
  EXPECT_EQ(back.centivolts, 500u);
  EXPECT_EQ(back.fixedModel, "QB51F08");
  EXPECT_TRUE(back.bootSerialIsIdentity);
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"serial", "0x10"}, {"serial", "99999999999"}, {"version", "1.0"}, {"model", "NoSuchChip"},
           {"erase-unit-size", "300"}, {"touch-channels", "65"}, {"voltage", "-1"}, {"colour", "red"}}) {
    EXPECT_FALSE(ep::setConfigValue(c, key, value, error)) << key << "=" << value;
  }
}

TEST(ProgrammerFlash, TheApplicationHeaderCarriesTheVersion) {
  const auto image = ep::firmwareImage("1.0.2.8");
  EXPECT_EQ(ep::applicationVersion(image), "1.0.2.8");
  auto broken = image;
  broken[ep::kAppOffset] ^= 1;
  EXPECT_FALSE(ep::applicationVersion(broken).has_value());
  auto device = ep::EmulatedProgrammer::create();
  EXPECT_EQ(openTool(device)->firmwareVersion(), "1.0.2.8");
}

// A program run and a later verify run in another process meet the same chip.
TEST(State, KeptBetweenDevicesOfTheSameStateDirectory) {
  testsupport::TempHome home;
  const auto dir = ep::stateDirectory();
  EXPECT_EQ(dir, home.path() / "XDG_STATE_HOME" / "QUBRIX" / "emulator");
  std::vector<std::uint8_t> image(700);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13);
  {
    auto device = ep::EmulatedProgrammer::create();
    device->persistIn(dir);
    auto tool = openTool(device);
    ASSERT_EQ(connectStatus(*tool, "QB51F08"), 0);
    ASSERT_TRUE(tool->eraseTargetFlash(2, 0, 0));
    for (std::size_t a = 0; a < image.size(); a += 512) {
      const std::span<const std::uint8_t> chunk(image.data() + a, std::min<std::size_t>(512, image.size() - a));
      ASSERT_TRUE(tool->writeCacheRange(chunk));
      ASSERT_TRUE(tool->writeTargetFlash(static_cast<std::uint32_t>(a), static_cast<std::uint16_t>(chunk.size())));
    }
    ASSERT_TRUE(tool->storeFirmware("kept", 0, 0x51311388, 1, "QB51F08", 0, 0, image));
    ASSERT_TRUE(tool->setTargetPower(false));
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "programmer.state"));
  {
    auto device = ep::EmulatedProgrammer::create();
    device->persistIn(dir);
    auto tool = openTool(device);
    EXPECT_FALSE(tool->isTargetPowered());
    ASSERT_EQ(connectStatus(*tool, "QB51F08"), 0);
    EXPECT_TRUE(tool->verifyRange(0, image));
    EXPECT_EQ(tool->listFirmware(0), std::vector<std::string>{"kept"});
    // The chip stays the one taken first.
    EXPECT_EQ(connectStatus(*tool, "QB51F08A"), 7);
  }
  ep::resetState(dir);
  auto fresh = ep::EmulatedProgrammer::create();
  fresh->persistIn(dir);
  auto tool = openTool(fresh);
  ASSERT_EQ(connectStatus(*tool, "QB51F08A"), 0);
  EXPECT_TRUE(tool->listFirmware(0).empty());
}

// A host killed mid-run closes nothing: what the device wrote is in its state file already.
TEST(State, SavedAfterEveryFlashWriteBatch) {
  testsupport::TempHome home;
  const auto dir = ep::stateDirectory();
  auto device = ep::EmulatedProgrammer::create();
  device->persistIn(dir);
  auto tool = openTool(device);
  ASSERT_EQ(connectStatus(*tool, "QB51F08"), 0);
  ASSERT_TRUE(tool->eraseTargetFlash(2, 0, 0));
  std::vector<std::uint8_t> unit(512);
  for (std::size_t i = 0; i < unit.size(); ++i) unit[i] = static_cast<std::uint8_t>(i * 5 + 1);
  const auto savedByte = [&](std::size_t at) {
    const auto state = ep::loadState(dir);
    return state ? state->targetFlash.bytes()[at] : std::uint8_t{0};
  };
  for (std::uint32_t a : {0u, 512u}) {
    ASSERT_TRUE(tool->writeCacheRange(unit));
    ASSERT_TRUE(tool->writeTargetFlash(a, 512));
    EXPECT_EQ(savedByte(a + 3), unit[3]) << a;
    EXPECT_EQ(savedByte(a + 512 + 3), 0xFF) << a;
  }
  ASSERT_TRUE(tool->storeFirmware("kept", 0, 0x51311388, 1, "QB51F08", 0, 0, unit));
  const auto state = ep::loadState(dir);
  ASSERT_TRUE(state.has_value());
  ASSERT_EQ(state->store.size(), 1u);
  EXPECT_EQ(state->store[0].name, "kept");
}

TEST(State, ADamagedFileGivesAFreshDevice) {
  testsupport::TempHome home;
  const auto dir = ep::stateDirectory();
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "programmer.state") << "QXPS\x01garbage";
  EXPECT_FALSE(ep::loadState(dir).has_value());
  auto device = ep::EmulatedProgrammer::create();
  device->persistIn(dir);
  EXPECT_EQ(openTool(device)->firmwareVersion(), "1.0.2.8");
}

TEST(Bench, AttachedOnlyWithTheEnvironmentVariable) {
  testsupport::TempHome home;
  qx::setHardwareEnumeration(false);
  unsetenv("QUBRIX_EMULATE");
  EXPECT_FALSE(ep::attachBenchFromEnvironment());
  EXPECT_TRUE(qx::enumerateDevices().empty());
  setenv("QUBRIX_EMULATE", "1", 1);
  ASSERT_TRUE(ep::attachBenchFromEnvironment());
  const auto tools = qx::enumerateTools();
  ASSERT_EQ(tools.size(), 1u);
  EXPECT_EQ(qx::toolProduct(tools[0]), "QUBRIX Tool");
  EXPECT_EQ(qx::toolSerialNumber(tools[0]), "439041101");
  ASSERT_TRUE(tools[0]->openAndIdentify());
  EXPECT_EQ(tools[0]->firmwareVersion(), "1.0.2.8");
  unsetenv("QUBRIX_EMULATE");
  qx::setHardwareEnumeration(true);
}

}  // namespace
