// How every handle judges replies: the status checks, another echoed id, silence and a closed
// transport, driven through the emulator's faults.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/exceptions.hpp"
#include "device/tool.hpp"
#include "device/touch_debug.hpp"
#include "device/upgrade.hpp"
#include "tests/device/rig.hpp"

namespace {

namespace ep = emulator::programmer;
using rig::fault;

// One device, with all three handle kinds on the same transport.
struct Handles {
  Handles() : tool(rig.link), touch(rig.link), upgrade(rig.link) {}
  rig::Rig<qx::QUBRIXToolBase> rig;
  qx::QUBRIXTool tool;
  qx::TouchDebug touch;
  qx::QUBRIXToolUpgradeIntf upgrade;
};

// A call that tells true, false, or raises.
using Call = std::function<bool(Handles&)>;

struct Op {
  const char* name;  // the command name in "expected ..."
  std::uint8_t id;
  Call call;
};

std::vector<Op> operations() {
  std::vector<std::uint16_t> values(40);
  std::vector<std::uint8_t> numbers(40);
  std::string vendor;
  const std::vector<std::uint8_t> bytes = {1, 2};
  std::uint8_t u8 = 0;
  std::uint16_t a = 0, b = 0;
  std::uint64_t flags = 0;
  qx::FirmwareInfo info;
  return {
      {"ID_Info", 0x00, [=](Handles& h) mutable { return h.tool.getVersionType(vendor) >= 0; }},
      {"ID_Connect", 0x08, [](Handles& h) { return h.tool.connect(0x51311388, "QB51F08", "51F8_S8"); }},
      {"ID_Disconnect", 0x09, [](Handles& h) { return h.tool.disconnect(); }},
      {"ID_EraseTgtFlash", 0x0B, [](Handles& h) { return h.tool.eraseTargetFlash(2, 0, 0); }},
      {"ID_WriteTgtFlash", 0x0C, [](Handles& h) { return h.tool.writeTargetFlash(0, 16); }},
      {"ID_VerifyTgtFlash", 0x0D, [=](Handles& h) { return h.tool.verifyTargetFlash(0, bytes); }},
      {"ID_WriteCache", 0x0F, [=](Handles& h) { return h.tool.writeCache(0, bytes); }},
      {"ID_ScreenStatus", 0x10, [](Handles& h) { return h.tool.screenState(1); }},
      {"ID_TargetPower", 0x11, [](Handles& h) { return h.tool.setTargetPower(true); }},
      {"ID_WriteEvent", 0x13, [](Handles& h) { return h.tool.writeEvent(1); }},
      {"ID_TD_Connect", 0x50, [=](Handles& h) mutable { return h.touch.tdConnect(u8); }},
      {"ID_TD_Disconnect", 0x51, [](Handles& h) { return h.touch.tdDisconnect(); }},
      {"ID_TD_GetState", 0x52, [=](Handles& h) mutable { return h.touch.tdGetState(u8); }},
      {"ID_TD_GetChannelCount", 0x53, [=](Handles& h) mutable { return h.touch.tdGetChannelCount(u8); }},
      {"ID_TD_GetRefChData", 0x54, [=](Handles& h) mutable { return h.touch.tdGetRefChData(a, b); }},
      {"ID_TD_GetKeysFlagSN", 0x55, [=](Handles& h) mutable { return h.touch.tdGetKeysFlagSN(flags); }},
      {"ID_TD_GetBaselineData", 0x56, [=](Handles& h) mutable { return h.touch.tdGetBaselineData(8, values); }},
      {"ID_TD_GetRawData", 0x57, [=](Handles& h) mutable { return h.touch.tdGetRawData(8, values); }},
      {"ID_TD_GetThresholdData", 0x58, [=](Handles& h) mutable { return h.touch.tdGetThresholdData(8, values); }},
      {"ID_TD_SetThresholdData", 0x59, [=](Handles& h) { return h.touch.tdSetThresholdData(std::span(values).first(4)); }},
      {"ID_TD_GetChannelNumber", 0x5A, [=](Handles& h) mutable { return h.touch.tdGetChannelNumber(8, numbers); }},
      {"ID_FW_List", 0x60, [](Handles& h) { return h.tool.listFirmware(0).empty(); }},
      {"ID_FW_Info", 0x61, [=](Handles& h) mutable { return h.tool.firmwareInfo("A", info); }},
      {"ID_FW_Create", 0x62, [](Handles& h) { return h.tool.createFirmware("A", 0, 0, 0, "M"); }},
      {"ID_FW_Delete", 0x65, [](Handles& h) { return h.tool.deleteFirmware("A"); }},
      {"ID_FW_SyncCacheToFw", 0x66, [](Handles& h) { return h.tool.syncCacheToFirmware("A", 0, 16); }},
      {"ID_FW_SetActive", 0x67, [](Handles& h) { return h.tool.setActiveFirmware("A"); }},
      {"ID_FW_SetKey", 0x68, [](Handles& h) { return h.tool.setFirmwareKey("A", std::vector<std::uint8_t>(16)); }},
      {"ID_FW_SetMeta", 0x69, [](Handles& h) { return h.tool.setFirmwareTime("A", 1); }},
      {"ID_FW_SetLimit", 0x6C, [](Handles& h) { return h.tool.setLimit(1, 2); }},
      {"ID_FW_GetLimit", 0x6D, [=](Handles& h) {
         qx::LimitInfo l;
         return h.tool.getLimit(1, l);
       }},
      {"ID_FW_LimitInc", 0x6E, [](Handles& h) { return h.tool.incrementLimit(1); }},
      {"ID_UPGRADE_RD_MEM", 0xE1, [](Handles& h) { return !h.upgrade.readMemoryBlock(0x08000000, 8).empty(); }},
      {"ID_UPGRADE_WR_MEM", 0xE2, [=](Handles& h) { return h.upgrade.writeMemoryBlock(0x08005800, bytes); }},
      {"ID_UPGRADE_ERASE", 0xE3, [](Handles& h) { return h.upgrade.erasePage(0x08005800); }},
  };
}

TEST(ReplyChecks, AnotherEchoedIdRaisesExpectedNameWithoutRetry) {
  for (const Op& op : operations()) {
    Handles h;
    h.rig.device->addFault(fault(ep::FaultKind::WrongId, std::nullopt, op.id == 0x09 ? 0x08 : 0x09));
    try {
      op.call(h);
      ADD_FAILURE() << op.name << ": no exception";
    } catch (const qx::CommandException&) {
      ADD_FAILURE() << op.name << ": not a status";
    } catch (const qx::DeviceException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("expected ") + op.name);
    }
    EXPECT_EQ(h.rig.exchanges(), 1u) << op.name;
  }
}

TEST(ReplyChecks, IdentificationAndModeQueriesTakeAnotherIdAsNoAnswer) {
  Handles h;
  h.rig.device->addFault(fault(ep::FaultKind::WrongId, std::nullopt, 0x09, 3));
  EXPECT_EQ(h.upgrade.getMode(), 0);
  EXPECT_EQ(h.upgrade.getBootIdentity(), "");
  EXPECT_EQ(h.upgrade.getAppVersion(), "");
  EXPECT_EQ(h.upgrade.getMode(), 2);
  EXPECT_EQ(h.upgrade.getBootIdentity(), "QUBRIX Tool Boot");
}

TEST(ReplyChecks, StatusesAreJudgedByEachCommandsCheck) {
  enum Result { True, False, Raises };
  struct Case {
    const char* check;
    std::uint8_t id;
    std::uint8_t status;
    Result result;
  };
  const Case cases[] = {
      {"strict", 0x09, 0, True},        {"strict", 0x09, 3, Raises},       {"strict", 0x60, 1, Raises},
      {"soft", 0x65, 0, True},          {"soft", 0x65, 1, Raises},         {"soft", 0x65, 2, False},
      {"soft", 0x52, 16, False},        {"touch connect", 0x50, 0, True},  {"touch connect", 0x50, 1, False},
      {"touch connect", 0x50, 5, Raises}, {"touch data", 0x57, 0, True},   {"touch data", 0x57, 1, Raises},
      {"touch data", 0x57, 24, Raises}, {"touch data", 0x57, 2, False},    {"verify", 0x0D, 0, True},
      {"verify", 0x0D, 12, False},      {"verify", 0x0D, 8, Raises},       {"no status", 0x6D, 7, True},
  };
  const auto ops = operations();
  for (const Case& c : cases) {
    const Op& op = *std::find_if(ops.begin(), ops.end(), [&](const Op& o) { return o.id == c.id; });
    Handles h;
    h.rig.device->addFault(fault(ep::FaultKind::Status, c.id, c.status, -1));
    try {
      const bool ok = op.call(h);
      EXPECT_EQ(ok ? True : False, c.result) << c.check << " " << op.name << " status " << int(c.status);
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(c.result, Raises) << c.check << " " << op.name << " status " << int(c.status);
      EXPECT_EQ(e.code(), c.status);
    }
  }
}

TEST(ReplyChecks, TouchStatus24HasTheFallbackTextInBothLanguages) {
  for (int lang : {base::kLangEnglish, base::kLangChinese}) {
    base::setThreadLanguage(lang);
    Handles h;
    h.rig.device->addFault(fault(ep::FaultKind::Status, 0x56, 24));
    std::vector<std::uint16_t> values(8);
    try {
      h.touch.tdGetBaselineData(8, values);
      ADD_FAILURE() << "no exception";
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(e.code(), 24);
      EXPECT_STREQ(e.what(), "读数据超时。");
    }
  }
  base::setThreadLanguage(base::kLangChinese);
}

TEST(ReplyChecks, SilenceWaitsThreeTimeOutsOfTheCommand) {
  struct Case {
    const char* op;
    std::uint8_t id;
    long long waitedMs;
  };
  const Case cases[] = {{"ID_Disconnect", 0x09, 3000}, {"ID_EraseTgtFlash", 0x0B, 24000}, {"ID_WriteCache", 0x0F, 300},
                        {"ID_TD_Connect", 0x50, 9000}, {"ID_TargetPower", 0x11, 3000}};
  const auto ops = operations();
  for (const Case& c : cases) {
    const Op& op = *std::find_if(ops.begin(), ops.end(), [&](const Op& o) { return o.id == c.id; });
    Handles h;
    h.rig.device->addFault(fault(ep::FaultKind::Silence, c.id));
    std::vector<std::string> traces;
    base::setTraceListener([&](std::string_view line) { traces.emplace_back(line); });
    const auto before = h.rig.clock().now();
    EXPECT_THROW(op.call(h), qx::ReadTimeoutException) << c.op;
    base::setTraceListener(nullptr);
    EXPECT_EQ((h.rig.clock().now() - before).count(), c.waitedMs) << c.op;
    EXPECT_EQ(traces.size(), 3u) << c.op;
    // The device answers again afterwards.
    EXPECT_NO_THROW(h.tool.screenClear());
  }
}

TEST(ReplyChecks, PowerQueriesWaitTheirShorterTimeOut) {
  Handles h;
  h.rig.device->addFault(fault(ep::FaultKind::Silence, 0x11));
  const auto before = h.rig.clock().now();
  EXPECT_THROW(h.tool.targetVoltage(), qx::ReadTimeoutException);
  EXPECT_EQ((h.rig.clock().now() - before).count(), 1500);
}

TEST(ReplyChecks, ClosedTransportGivesFalseAndSendsNothing) {
  for (const Op& op : operations()) {
    Handles h;
    h.rig.link->close();
    bool result = true;
    EXPECT_NO_THROW(result = op.call(h)) << op.name;
    // The two calls above that report "nothing" as true are the list and an empty version type.
    if (op.id != 0x60 && op.id != 0x00) {
      EXPECT_FALSE(result) << op.name;
    }
    EXPECT_EQ(h.rig.exchanges(), 0u) << op.name;
  }
}

TEST(ReplyChecks, UnplugInTheMiddleRaisesDeviceException) {
  Handles h;
  h.rig.device->unplugAfter(2);
  std::vector<std::uint8_t> data(300, 0x5A);
  EXPECT_THROW(h.tool.writeCacheRange(data), qx::DeviceException);
  EXPECT_EQ(h.rig.exchanges(), 2u);
  EXPECT_THROW(h.tool.disconnect(), qx::DeviceException);
  EXPECT_EQ(h.rig.device->attach(), nullptr);
  // Plugged in again, it is a new device on the bus that has forgotten its target connection.
  h.rig.device->plugIn();
  auto again = h.rig.device->attach();
  ASSERT_TRUE(again->open());
  qx::QUBRIXTool fresh(again);
  EXPECT_THROW(fresh.eraseTargetFlash(2, 0, 0), qx::CommandException);
  // A short report deciphers to garbage: its id no longer matches.
  Handles s;
  s.rig.device->addFault(fault(ep::FaultKind::ShortReport, 0x09, 5));
  EXPECT_THROW(s.tool.disconnect(), qx::DeviceException);
}

}  // namespace
