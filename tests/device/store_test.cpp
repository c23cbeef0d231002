// The firmware store commands and their composites.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <stdexcept>

#include "device/exceptions.hpp"
#include "device/tool.hpp"
#include "tests/device/rig.hpp"

namespace {

namespace ep = emulator::programmer;
using rig::frame;
using ToolRig = rig::Rig<qx::QUBRIXTool>;

TEST(StoreList, NamesEndAtAnEmptyNameAndACutNameIsDropped) {
  ToolRig r;
  r.device->addFault(rig::replyWith({0x60, 0, 'A', 0, 'B', 'C', 0, 0, 'X', 0}));
  EXPECT_EQ(r.handle->listFirmware(3), (std::vector<std::string>{"A", "BC"}));
  EXPECT_EQ(r.lastRequest(), frame({0x60, 3, 0}));
  qx::Bytes full = {0x60, 0, 'A', 0};
  full.resize(64, 'Z');
  r.device->addFault(rig::replyWith(full));
  EXPECT_EQ(r.handle->listFirmware(0), std::vector<std::string>{"A"});
}

std::string seven(int i) { return "fw" + std::to_string(i); }

TEST(StoreList, AllFirmwareAsksFromTheNumberOfRecordsSoFar) {
  ep::Config config;
  config.namesPerReply = 4;
  ToolRig r(config);
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(r.handle->createFirmware(seven(i), 0, 0x51311388, i, "QB51F08"));
  r.device->clearLog();
  const auto all = r.handle->listAllFirmware();
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[6].name, "fw6");
  EXPECT_EQ(all[6].verifyCode, 6u);
  EXPECT_EQ(all[6].modelId, 0x1388);
  std::vector<int> starts;
  for (const auto& req : r.requests(0x60)) starts.push_back(qx::u16At(req, 1));
  EXPECT_EQ(starts, (std::vector<int>{0, 4, 7}));
}

TEST(StoreList, AllFirmwareEndsAgainstADeviceThatNeverStops) {
  {
    // The same names again and again.
    ToolRig r;
    r.device->addFault(rig::replyWith({0x60, 0, 'A', 0, 'B', 0}, 0x60, -1));
    r.device->addFault(rig::fault(ep::FaultKind::Status, 0x61, 0, -1));
    EXPECT_EQ(r.handle->listAllFirmware().size(), 2u);
    EXPECT_EQ(r.requests(0x60).size(), 2u);
  }
  {
    // A new name in every reply.
    ToolRig r;
    int n = 0;
    ep::Fault endless = rig::fault(ep::FaultKind::Tamper, 0x60, 0, -1);
    endless.tamper = [&n](qx::Bytes& reply) {
      const std::string name = "n" + std::to_string(n++);
      reply = frame({0x60, 0});
      std::copy(name.begin(), name.end(), reply.begin() + 2);
    };
    r.device->addFault(endless);
    r.device->addFault(rig::fault(ep::FaultKind::Status, 0x61, 0, -1));
    EXPECT_EQ(r.handle->listAllFirmware().size(), 255u);
  }
}

TEST(StoreNames, LengthsAreCheckedBeforeSending) {
  ToolRig r;
  const std::string n62(62, 'n'), n63(63, 'n'), n45(45, 'n'), n46(46, 'n'), n57(57, 'n'), n58(58, 'n');
  const std::vector<std::uint8_t> key(16), shortKey(15);
  const char* k62 = "The length of name must be greater than 0 and less than 62.";
  const char* k46 = "The length of name must be greater than 0 and less than 46.";
  const char* k57 = "The length of name must be greater than 0 and less than 57.";
  const char* kKey = "The length of key must be 16.";
  const char* kTarget = "The target internal name must be greater than 0 and less than 16.";
  struct Case {
    std::function<void()> call;
    const char* message;  // nullptr: accepted (and sent)
  };
  qx::QUBRIXTool& t = *r.handle;
  const Case cases[] = {
      {[&] { t.deleteFirmware(n62); }, nullptr},
      {[&] { t.deleteFirmware(n63); }, k62},
      {[&] { t.deleteFirmware(""); }, k62},
      {[&] { t.setActiveFirmware(n63); }, k62},
      {[&] { t.setFirmwareKey(std::string(46, 'n'), key); }, nullptr},
      {[&] { t.setFirmwareKey(std::string(47, 'n'), key); }, k46},
      {[&] { t.setFirmwareKey("a", shortKey); }, kKey},
      {[&] { t.setFirmwareTarget(n45, "T"); }, nullptr},
      {[&] { t.setFirmwareTarget(n46, "T"); }, k46},
      {[&] { t.setFirmwareTarget("a", std::string(16, 't')); }, nullptr},
      {[&] { t.setFirmwareTarget("a", std::string(17, 't')); }, kTarget},
      {[&] { t.setFirmwareTarget("a", ""); }, kTarget},
      {[&] { t.setFirmwareUserCode(n57, 1); }, nullptr},
      {[&] { t.setFirmwareUserCode(n58, 1); }, k57},
      {[&] { t.setFirmwareTime(n58, 1); }, k57},
  };
  for (const Case& c : cases) {
    const std::size_t before = r.exchanges();
    if (c.message == nullptr) {
      EXPECT_NO_THROW(c.call());
      EXPECT_EQ(r.exchanges(), before + 1);
      continue;
    }
    try {
      c.call();
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(r.exchanges(), before);
  }
  const qx::Bytes req = r.requests(0x65).front();
  EXPECT_EQ(req[1], 62);
  EXPECT_EQ(std::string(req.begin() + 2, req.end()), n62);
}

TEST(StoreCreate, RequestAndTheNameLimits) {
  ToolRig r;
  ASSERT_TRUE(r.handle->createFirmware("blink", 0x01020304, 0x51311388, 0xCAFEF00D, std::string(16, 'M')));
  qx::Bytes expected = {0x62, 5, 'b', 'l', 'i', 'n', 'k', 4, 3, 2, 1, 0x88, 0x13, 0x31, 0x51, 0x0D, 0xF0, 0xFE, 0xCA};
  expected.insert(expected.end(), 16, 'M');
  EXPECT_EQ(r.lastRequest(), frame(expected));
  for (const auto& [name, mcu] : {std::pair{std::string(33, 'n'), std::string("M")}, std::pair{std::string("n"), std::string(17, 'M')}}) {
    try {
      r.handle->createFirmware(name, 0, 0, 0, mcu);
      ADD_FAILURE() << "no exception";
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(e.code(), 162);
    }
  }
  EXPECT_EQ(r.exchanges(), 1u);
  // A second one of the same name is refused by the device (strict).
  EXPECT_THROW(r.handle->createFirmware("blink", 0, 0, 0, "M"), qx::CommandException);
}

TEST(StoreMeta, RequestsOfTheSoftCommands) {
  ToolRig r;
  qx::QUBRIXTool& t = *r.handle;
  ASSERT_TRUE(t.createFirmware("fw", 7, 0x51311388, 1, "QB51F08"));
  std::vector<std::uint8_t> key(16);
  std::iota(key.begin(), key.end(), 0xA0);
  struct Step {
    std::function<bool()> call;
    qx::Bytes expected;
  };
  qx::Bytes keyFrame = {0x68, 2, 'f', 'w'};
  keyFrame.insert(keyFrame.end(), key.begin(), key.end());
  const Step steps[] = {
      {[&] { return t.syncCacheToFirmware("fw", 0x200, 0x100); }, frame({0x66, 2, 'f', 'w', 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0})},
      {[&] { return t.setActiveFirmware("fw"); }, frame({0x67, 2, 'f', 'w'})},
      {[&] { return t.setFirmwareKey("fw", key); }, frame(keyFrame)},
      {[&] { return t.setFirmwareTarget("fw", "51F8_S8"); }, frame({0x69, 7, 2, 'f', 'w', '5', '1', 'F', '8', '_', 'S', '8'})},
      {[&] { return t.setFirmwareUserCode("fw", 0x11223344); }, frame({0x69, 3, 2, 'f', 'w', 0x44, 0x33, 0x22, 0x11})},
      {[&] { return t.setFirmwareTime("fw", 0x65000000); }, frame({0x69, 4, 2, 'f', 'w', 0, 0, 0, 0x65})},
      {[&] { return t.setLimit(7, 3); }, frame({0x6C, 7, 0, 0, 0, 3, 0, 0, 0})},
      {[&] { return t.incrementLimit(7); }, frame({0x6E, 7, 0, 0, 0})},
      {[&] { return t.deleteFirmware("fw"); }, frame({0x65, 2, 'f', 'w'})},
  };
  for (const Step& s : steps) {
    EXPECT_TRUE(s.call());
    EXPECT_EQ(r.lastRequest(), s.expected);
  }
  qx::LimitInfo limit;
  ASSERT_TRUE(t.getLimit(7, limit));
  EXPECT_EQ(r.lastRequest(), frame({0x6D, 7, 0, 0, 0}));
  EXPECT_EQ(limit.fileId, 7u);
  EXPECT_EQ(limit.maxCount, 3u);
  EXPECT_EQ(limit.count, 1u);
  // Soft refusals from the device: the firmware is gone, and the counter does not belong to file 8.
  EXPECT_FALSE(t.setActiveFirmware("fw"));
  EXPECT_FALSE(t.incrementLimit(8));
}

TEST(StoreFirmware, BlocksOf512WithProgressAndTheImageArrivesWhole) {
  ToolRig r;
  std::vector<std::uint8_t> image(1300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
  std::vector<int> progress;
  ASSERT_TRUE(r.handle->storeFirmware("img", 9, 0x51311388, 0xABCD, "QB51F08", 0x77, 1700000000, image,
                                      [&](int p) { progress.push_back(p); }));
  EXPECT_EQ(progress, (std::vector<int>{0, 39, 78, 100}));
  std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks;
  for (const auto& req : r.requests(0x66)) blocks.emplace_back(qx::u32At(req, 9), qx::u32At(req, 13));
  EXPECT_EQ(blocks, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 512}, {512, 512}, {1024, 276}}));
  r.device->inspect([&](ep::ProgrammerModel& m) {
    ASSERT_EQ(m.persistent().store.size(), 1u);
    const ep::StoredFirmware& f = m.persistent().store[0];
    EXPECT_EQ(f.data, image);
    EXPECT_EQ(f.userCode, 0x77u);
    EXPECT_EQ(f.time, 1700000000u);
  });
  qx::FirmwareInfo info;
  ASSERT_TRUE(r.handle->firmwareInfo("img", info));
  EXPECT_EQ(info.size, 1300u);
  EXPECT_EQ(info.time, 1700000000u);
}

TEST(StoreFirmware, AHalfWrittenOrMetaLessFirmwareIsDeletedAndReportedAsFailure) {
  struct Case {
    const char* what;
    std::uint8_t failing;  // command refused with status 2
  };
  for (const Case& c : {Case{"sync", 0x66}, Case{"meta", 0x69}}) {
    ToolRig r;
    r.device->addFault(rig::fault(ep::FaultKind::Status, c.failing, 2));
    EXPECT_FALSE(r.handle->storeFirmware("img", 0, 0x51311388, 0, "M", 0, 0, std::vector<std::uint8_t>(600, 1)))
        << c.what;
    EXPECT_EQ(r.requests(0x65).size(), 1u) << c.what;
    r.device->inspect([&](ep::ProgrammerModel& m) { EXPECT_TRUE(m.persistent().store.empty()) << c.what; });
  }
}

TEST(StoreFirmware, ListedNamesOfTheDeviceFillTheReplyAsConfigured) {
  ToolRig r;
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(r.handle->createFirmware("firmware" + std::to_string(i), 0, 0, 0, "M"));
  // 9 or 10 bytes a name: six fit into the 62 bytes of one reply.
  EXPECT_EQ(r.handle->listFirmware(0).size(), 6u);
  EXPECT_EQ(r.handle->listAllFirmware().size(), 12u);
  EXPECT_THROW(r.handle->firmwareInfo("missing", *std::make_unique<qx::FirmwareInfo>()), qx::CommandException);
}

}  // namespace
