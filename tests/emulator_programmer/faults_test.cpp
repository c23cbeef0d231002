// The emulated programmer's faults as the built programs' tests choose them: written as text, kept
// in the settings, and each one shown the way a real device would show it.
#include <gtest/gtest.h>

#include <string>

#include "device/exceptions.hpp"
#include "device/tool.hpp"
#include "emulator/programmer/config.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "emulator/programmer/faults.hpp"
#include "firmware/catalogue.hpp"

namespace {

namespace ep = emulator::programmer;

TEST(FaultText, ReadsEveryKindAndRefusesWhatDoesNotRead) {
  struct Case {
    const char* text;
    bool reads;
  };
  const Case cases[] = {
      {"", true},
      {"none", true},
      {"silence", true},
      {"silence@11*all", true},
      {"wrong-id:9@00*3", true},
      {"status:24", true},
      {"short:10,lost@11", true},
      {"late@0B", true},
      {"delay:250", true},
      {"unplug-after:40", true},
      {"unplug-on-erase", true},
      {"silence:3", false},       // silence takes no value
      {"status", false},          // status needs one
      {"status:256", false},
      {"delay:60001", false},
      {"lost@1G", false},
      {"lost*0", false},
      {"unplug-after:x", false},
      {"power-cut", false},
      {"silence,,late", false},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ep::FaultPlan::parse(c.text, error).has_value(), c.reads) << c.text;
    EXPECT_EQ(error.empty(), c.reads) << c.text;
  }
}

TEST(FaultText, IsASettingThatTheDeviceShowsFromItsStart) {
  ep::Config config;
  std::string error;
  EXPECT_FALSE(ep::setConfigValue(config, "fault", "sideways", error));
  ASSERT_TRUE(ep::setConfigValue(config, "fault", "status:24@11*all", error)) << error;
  EXPECT_NE(ep::formatConfig(config).find("fault=status:24@11*all\n"), std::string::npos);
  EXPECT_EQ(ep::parseConfig(ep::formatConfig(config)).faults, "status:24@11*all");

  auto device = ep::EmulatedProgrammer::create(config);
  qx::QUBRIXTool tool(device->attach());
  ASSERT_TRUE(tool.openAndIdentify());
  for (int i = 0; i < 2; ++i) {
    try {
      tool.setTargetPower(true);
      ADD_FAILURE() << "the refused status was taken";
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(e.code(), 24);
    }
  }

  ASSERT_TRUE(ep::setConfigValue(config, "fault", "none", error));
  EXPECT_TRUE(config.faults.empty());
}

bool targetPowered(ep::EmulatedProgrammer& device) {
  bool powered = false;
  device.inspect([&](ep::ProgrammerModel& m) { powered = m.persistent().targetPowered; });
  return powered;
}

std::shared_ptr<ep::EmulatedProgrammer> deviceWith(const char* faults) {
  ep::Config config;
  config.faults = faults;
  return ep::EmulatedProgrammer::create(config);
}

TEST(Faults, ALostReplyLeavesTheDeviceActed) {
  auto device = deviceWith("lost@11");
  qx::QUBRIXTool tool(device->attach());
  ASSERT_TRUE(tool.openAndIdentify());
  EXPECT_THROW(tool.setTargetPower(true), qx::ReadTimeoutException);
  EXPECT_TRUE(targetPowered(*device));
  EXPECT_TRUE(tool.isTargetPowered());
}

TEST(Faults, ALateReplyArrivesDuringTheNextExchange) {
  auto device = deviceWith("late@11");
  qx::QUBRIXTool tool(device->attach());
  ASSERT_TRUE(tool.openAndIdentify());
  EXPECT_THROW(tool.setTargetPower(true), qx::ReadTimeoutException);
  // The next request reads the power switch's reply first: the host must not take it for its own.
  EXPECT_THROW(tool.connect(0x51000000 | 0x5000, "QB51F08", "51F8_S8"), qx::DeviceException);
}

TEST(Faults, ASlowReplyIsReadInALaterWait) {
  // ID_TargetPower waits 1000 ms three times: a reply after 1500 ms comes in the second wait,
  // one after 3500 ms in none.
  auto slow = deviceWith("delay:1500@11");
  qx::QUBRIXTool a(slow->attach());
  ASSERT_TRUE(a.openAndIdentify());
  EXPECT_TRUE(a.setTargetPower(true));

  auto tooSlow = deviceWith("delay:3500@11");
  qx::QUBRIXTool b(tooSlow->attach());
  ASSERT_TRUE(b.openAndIdentify());
  EXPECT_THROW(b.setTargetPower(true), qx::ReadTimeoutException);
}

TEST(Faults, UnpluggedTheTargetLosesItsPower) {
  const auto model = firmware::FindByName("QB51F08");
  ASSERT_NE(model, nullptr);
  auto device = deviceWith("unplug-on-erase");
  qx::QUBRIXTool tool(device->attach());
  ASSERT_TRUE(tool.openAndIdentify());
  ASSERT_TRUE(tool.setTargetPower(true));
  ASSERT_TRUE(tool.connect(firmware::modelWord(*model), model->name, model->internalName));
  EXPECT_ANY_THROW(tool.eraseTargetFlash(2, 0, 0));
  EXPECT_FALSE(targetPowered(*device));
  EXPECT_EQ(device->attach(), nullptr);

  device->plugIn();
  qx::QUBRIXTool again(device->attach());
  ASSERT_TRUE(again.openAndIdentify());
  EXPECT_FALSE(again.isTargetPowered());
}

TEST(Faults, UnplugAfterExchangesPowersTheTargetDown) {
  auto device = deviceWith("unplug-after:3");
  qx::QUBRIXTool tool(device->attach());
  ASSERT_TRUE(tool.openAndIdentify());
  std::size_t exchanges = 0;
  try {
    for (; exchanges < 10; ++exchanges) tool.setTargetPower(true);
  } catch (const qx::DeviceException&) {
  }
  EXPECT_LT(exchanges, 10u);
  EXPECT_FALSE(targetPowered(*device));
}

}  // namespace
