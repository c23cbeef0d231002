// Plug and unplug, and the lookup of the mode's device, as the window answers them.
#include <gtest/gtest.h>

#include "ui/main/device_change.hpp"
#include "device/hotplug.hpp"

namespace {

using qx::DeviceAction;
using qx::DeviceBus;
using qx::DeviceEvent;
using mainwin::LogNote;

struct TableCase {
  const char* name;
  DeviceEvent event;
  std::optional<LogNote> note;
  bool addUsb;
  std::optional<bool> writer;
  bool cleanup;
};

class DeviceTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(DeviceTable, ReactsAsTheTableSays) {
  const TableCase& c = GetParam();
  const auto r = mainwin::ReactToDevice(c.event);
  EXPECT_EQ(r.note, c.note);
  EXPECT_EQ(r.addUsbPort, c.addUsb);
  EXPECT_EQ(r.lookUpAgain, c.addUsb);
  EXPECT_EQ(r.writerPresent, c.writer);
  EXPECT_EQ(r.stopTouchSerialTimer, c.writer == false);
  EXPECT_EQ(r.modeCleanup, c.cleanup);
}

constexpr auto kIn = DeviceAction::Arrival;
constexpr auto kOut = DeviceAction::Removal;

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceTable,
    ::testing::Values(
        TableCase{"WriterIn", {kIn, DeviceBus::Hid, 0xFFCA, 0x0123}, LogNote{241, false}, false, true, false},
        TableCase{"WriterOut", {kOut, DeviceBus::Hid, 0xFFCA, 0x0123}, LogNote{242, false}, false, false, false},
        TableCase{"ProgrammerIn", {kIn, DeviceBus::Hid, 0xFFCA, 0x0125}, std::nullopt, true, std::nullopt, false},
        TableCase{"ProgrammerOut", {kOut, DeviceBus::Hid, 0xFFCA, 0x0125}, LogNote{295, true}, false, std::nullopt, true},
        TableCase{"SerialAdapterIn", {kIn, DeviceBus::Usb, 0x10C4, 0xEA60}, LogNote{297, false}, false, std::nullopt, false},
        TableCase{"SerialAdapterOut", {kOut, DeviceBus::Usb, 0x0403, 0x6001}, LogNote{296, true}, false, std::nullopt, true},
        // The programmer's own USB device and foreign HID devices (a keyboard) say nothing.
        TableCase{"OwnUsbDevice", {kOut, DeviceBus::Usb, 0xFFCA, 0x0125}, std::nullopt, false, std::nullopt, false},
        TableCase{"ForeignHid", {kOut, DeviceBus::Hid, 0x046D, 0xC31C}, std::nullopt, false, std::nullopt, false},
        TableCase{"OtherQubrixHid", {kIn, DeviceBus::Hid, 0xFFCA, 0x0999}, std::nullopt, false, std::nullopt, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RemovalCleanup, StopsOnlyWhatRunsInTheMode) {
  EXPECT_TRUE(mainwin::PlanRemovalCleanup(0, true, true).stopIsp);
  EXPECT_FALSE(mainwin::PlanRemovalCleanup(0, true, true).stopTouchLink);
  EXPECT_FALSE(mainwin::PlanRemovalCleanup(0, false, false).stopIsp);  // idle: nothing to stop
  EXPECT_TRUE(mainwin::PlanRemovalCleanup(2, true, true).stopTouchLink);
  EXPECT_FALSE(mainwin::PlanRemovalCleanup(2, true, true).stopIsp);
  EXPECT_FALSE(mainwin::PlanRemovalCleanup(1, true, true).stopIsp);
}

TEST(DeviceLookup, TheModeDecidesWhatIsWanted) {
  mainwin::DeviceLookups none;
  mainwin::DeviceLookups both;
  both.programmers = [] { return std::vector<mainwin::AttachedProgrammer>{{"QUBRIX Tool", "0001"}}; };
  both.writer = [] { return std::optional<mainwin::AttachedWriter>({"/dev/hidraw3", 65, 65}); };

  auto o = mainwin::LookUpDevice(0, both);
  EXPECT_TRUE(o.found);
  EXPECT_EQ(o.note, (LogNote{294, false}));
  EXPECT_FALSE(o.writer);
  o = mainwin::LookUpDevice(0, none);
  EXPECT_FALSE(o.found);
  EXPECT_EQ(o.note, std::nullopt);

  o = mainwin::LookUpDevice(1, both);
  EXPECT_TRUE(o.found);
  ASSERT_TRUE(o.writer);
  EXPECT_EQ(o.writer->path, "/dev/hidraw3");
  o = mainwin::LookUpDevice(1, none);
  EXPECT_EQ(o.note, (LogNote{308, true}));

  for (int mode : {2, 3}) {
    o = mainwin::LookUpDevice(mode, both);
    EXPECT_FALSE(o.found);
    EXPECT_EQ(o.note, std::nullopt);
  }
}

TEST(DeviceLookup, UsbEntryOnlyOnce) {
  std::vector<std::string> ports{"/dev/ttyUSB0"};
  mainwin::AddUsbPort(ports);
  mainwin::AddUsbPort(ports);
  EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyUSB0", "USB"}));
}

TEST(UdevProperties, VendorAndProductFromTheEvent) {
  auto e = qx::HidEventOf("add", "0003:0000FFCA:00000125");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->bus, DeviceBus::Hid);
  EXPECT_EQ(e->action, kIn);
  EXPECT_EQ(e->vendor, 0xFFCA);
  EXPECT_EQ(e->product, 0x0125);

  e = qx::UsbEventOf("remove", "10c4/ea60/100");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->bus, DeviceBus::Usb);
  EXPECT_EQ(e->action, kOut);
  EXPECT_EQ(e->vendor, 0x10C4);
  EXPECT_EQ(e->product, 0xEA60);

  EXPECT_FALSE(qx::HidEventOf("bind", "0003:0000FFCA:00000125"));
  EXPECT_FALSE(qx::HidEventOf("add", "0003:0000FFCA"));
  EXPECT_FALSE(qx::UsbEventOf("add", "zz/1/0"));
  EXPECT_FALSE(qx::UsbEventOf("add", ""));
}

}  // namespace
