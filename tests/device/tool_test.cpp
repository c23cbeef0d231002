// Target programming commands: the exact requests, the reply data and the programming order on the
// emulated programmer.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "base/texts.hpp"
#include "device/exceptions.hpp"
#include "device/tool.hpp"
#include "firmware/catalogue.hpp"
#include "tests/device/rig.hpp"

namespace {

using rig::frame;
using ToolRig = rig::Rig<qx::QUBRIXTool>;
namespace ep = emulator::programmer;

firmware::McuPtr chip() { return firmware::FindByName("QB51F08"); }

bool connectChip(qx::QUBRIXTool& tool) {
  const auto m = chip();
  return tool.connect(firmware::modelWord(*m), m->name, m->internalName);
}

TEST(ToolRequests, EveryCommandKindSendsItsFrame) {
  ToolRig r;
  qx::QUBRIXTool& t = *r.handle;
  const std::uint32_t word = firmware::modelWord(*chip());
  struct Step {
    std::function<void()> call;
    qx::Bytes expected;
  };
  std::string vendor;
  const Step steps[] = {
      {[&] { EXPECT_TRUE(t.openAndIdentify()); }, frame({0x00, 4})},
      {[&] { EXPECT_EQ(t.getVersionType(vendor), 0); }, frame({0x00, 6})},
      {[&] { EXPECT_TRUE(t.connect(word, "QB51F08", "51F8_S8")); },
       frame({0x08, int(word & 0xFF), int(word >> 8 & 0xFF), int(word >> 16 & 0xFF), int(word >> 24), 'Q', 'B', '5',
              '1', 'F', '0', '8', 0, 0, 0, 0, 0, 0, 0, 0, 0, '5', '1', 'F', '8', '_', 'S', '8'})},
      {[&] { EXPECT_TRUE(t.eraseTargetFlash(0, 0x0400, 0x0002)); }, frame({0x0B, 0, 0x00, 0x04, 0, 0, 0x02, 0x00})},
      {[&] { EXPECT_TRUE(t.eraseTargetFlash(2, 0, 0)); }, frame({0x0B, 2, 0, 0, 0, 0, 0, 0})},
      {[&] { EXPECT_TRUE(t.writeCache(0x10, std::vector<std::uint8_t>{1, 2, 3})); },
       frame({0x0F, 0x10, 0, 0, 0, 3, 1, 2, 3})},
      {[&] { EXPECT_TRUE(t.writeTargetFlash(0x0200, 0x0100)); }, frame({0x0C, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0x00, 0x01})},
      {[&] { EXPECT_FALSE(t.verifyTargetFlash(0x0210, std::vector<std::uint8_t>{0xAB, 0xCD})); },
       frame({0x0D, 0x10, 0x02, 0, 0, 2, 0xAB, 0xCD})},
      {[&] { EXPECT_TRUE(t.screenClear()); }, frame({0x10, 0})},
      {[&] { EXPECT_TRUE(t.screenChecksum(0xA1B2C3D4)); }, frame({0x10, 1, 0xD4, 0xC3, 0xB2, 0xA1})},
      {[&] { EXPECT_TRUE(t.screenState(4)); }, frame({0x10, 2, 4})},
      {[&] { EXPECT_TRUE(t.screenProgress(50)); }, frame({0x10, 3, 50})},
      {[&] { EXPECT_TRUE(t.screenMode(1)); }, frame({0x10, 4, 1})},
      {[&] { EXPECT_TRUE(t.writeEvent(2)); }, frame({0x13, 2})},
      {[&] { EXPECT_TRUE(t.setTargetPower(false)); }, frame({0x11, 2})},
      {[&] { EXPECT_FALSE(t.isTargetPowered()); }, frame({0x11, 0})},
      {[&] { EXPECT_TRUE(t.setTargetPower(true)); }, frame({0x11, 1})},
      {[&] { EXPECT_FLOAT_EQ(t.targetVoltage(), 3.30f); }, frame({0x11, 3})},
      {[&] { EXPECT_TRUE(t.disconnect()); }, frame({0x09})},
  };
  for (const Step& s : steps) {
    const std::size_t before = r.exchanges();
    s.call();
    ASSERT_EQ(r.exchanges(), before + 1);
    EXPECT_EQ(r.lastRequest(), s.expected);
  }
  EXPECT_EQ(t.firmwareVersion(), "1.0.2.8");
  r.device->inspect([](ep::ProgrammerModel& m) {
    EXPECT_EQ(m.screen().checksum, 0xA1B2C3D4u);
    EXPECT_EQ(m.screen().mode, 1);
    EXPECT_EQ(m.screen().writeEvents, std::vector<int>{2});
  });
}

TEST(ToolConnect, NamesOfSixteenBytesGoUnterminatedLongerOnesRaise) {
  ToolRig r;
  const std::uint32_t word = firmware::modelWord(*chip());
  const std::string sixteen = "ABCDEFGHIJKLMNOP";
  EXPECT_TRUE(r.handle->connect(word, sixteen, sixteen));
  const qx::Bytes req = r.lastRequest();
  EXPECT_EQ(std::string(req.begin() + 5, req.begin() + 21), sixteen);
  EXPECT_EQ(std::string(req.begin() + 21, req.begin() + 37), sixteen);
  EXPECT_EQ(req[37], 0);
  for (const auto& [name, internal] : {std::pair{sixteen + "Q", sixteen}, std::pair{sixteen, sixteen + "Q"}}) {
    try {
      r.handle->connect(word, name, internal);
      ADD_FAILURE() << "no exception";
    } catch (const qx::CommandException& e) {
      EXPECT_EQ(e.code(), 162);
    }
  }
  EXPECT_EQ(r.exchanges(), 1u);
}

TEST(ToolConnect, ReplyFillsFlashFlagAndEraseUnits) {
  ToolRig r;
  r.device->addFault(rig::replyWith({0x08, 0, 0x34, 0x12, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}));
  ASSERT_TRUE(connectChip(*r.handle));
  EXPECT_EQ(r.handle->connectInfo(), 0x1234);
  EXPECT_EQ(r.handle->flashFlag(), 1u);
  EXPECT_EQ(r.handle->eraseUnitA(), 0);
  EXPECT_EQ(r.handle->eraseUnitB(), 256);
}

TEST(ToolConnect, EmulatorOffersTheConfiguredEraseUnits) {
  struct Case {
    ep::EraseUnits units;
    int a, b;
  };
  for (const Case& c : {Case{ep::EraseUnits::A, 512, 0}, Case{ep::EraseUnits::B, 0, 512}, Case{ep::EraseUnits::None, 0, 0}}) {
    ep::Config config;
    config.eraseUnits = c.units;
    ToolRig r(config);
    ASSERT_TRUE(connectChip(*r.handle));
    EXPECT_EQ(r.handle->eraseUnitA(), c.a);
    EXPECT_EQ(r.handle->eraseUnitB(), c.b);
    EXPECT_EQ(r.handle->flashFlag(), 1u);
  }
}

TEST(ToolCache, RangeGoesInPiecesOf58AndStopsAtTheFirstFailure) {
  ToolRig r;
  std::vector<std::uint8_t> data(140);
  std::iota(data.begin(), data.end(), 0);
  ASSERT_TRUE(r.handle->writeCacheRange(data));
  const auto pieces = r.requests(0x0F);
  ASSERT_EQ(pieces.size(), 3u);
  const std::size_t offsets[] = {0, 58, 116}, lengths[] = {58, 58, 24};
  for (std::size_t i = 0; i < 3; ++i) {
    qx::Bytes expected = {0x0F, static_cast<std::uint8_t>(offsets[i]), 0, 0, 0, static_cast<std::uint8_t>(lengths[i])};
    expected.insert(expected.end(), data.begin() + static_cast<long>(offsets[i]),
                    data.begin() + static_cast<long>(offsets[i] + lengths[i]));
    EXPECT_EQ(pieces[i], frame(expected));
  }
  EXPECT_TRUE(r.handle->writeCacheRange({}));
  EXPECT_EQ(r.exchanges(), 3u);

  r.device->clearLog();
  // The second piece is taken only in part.
  int seen = 0;
  ep::Fault partial = rig::fault(ep::FaultKind::Tamper, 0x0F, 0, 2);
  partial.tamper = [&seen](qx::Bytes& reply) {
    if (++seen == 2) reply[2] = 57;
  };
  r.device->addFault(partial);
  EXPECT_FALSE(r.handle->writeCacheRange(data));
  EXPECT_EQ(r.exchanges(), 2u);
  EXPECT_THROW(r.handle->writeCache(0, std::vector<std::uint8_t>(59)), qx::CommandException);
  EXPECT_EQ(r.exchanges(), 2u);
}

TEST(ToolVerify, DifferenceIsFalseOtherStatusesRaise) {
  ToolRig r;
  base::setThreadLanguage(base::kLangEnglish);
  r.device->addFault(rig::fault(ep::FaultKind::Status, 0x0D, 12));
  EXPECT_FALSE(r.handle->verifyTargetFlash(0, std::vector<std::uint8_t>{1}));
  r.device->addFault(rig::fault(ep::FaultKind::Status, 0x0D, 8));
  try {
    r.handle->verifyTargetFlash(0, std::vector<std::uint8_t>{1});
    ADD_FAILURE() << "no exception";
  } catch (const qx::CommandException& e) {
    EXPECT_EQ(e.code(), 8);
    EXPECT_STREQ(e.what(), "The target Flash cannot be read.");
  }
  base::setThreadLanguage(base::kLangChinese);
  // verifyRange stops at the first differing piece.
  ASSERT_TRUE(connectChip(*r.handle));
  r.device->clearLog();
  EXPECT_FALSE(r.handle->verifyRange(0x100, std::vector<std::uint8_t>(140, 0x00)));
  ASSERT_EQ(r.exchanges(), 1u);
  EXPECT_TRUE(r.handle->verifyRange(0x100, std::vector<std::uint8_t>(140, 0xFF)));
  const auto pieces = r.requests(0x0D);
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(qx::u32At(pieces[3], 1), 0x100u + 116);
  EXPECT_EQ(pieces[3][5], 24);
}

TEST(ToolPower, VoltageIsHundredthsOfAVolt) {
  ToolRig r;
  r.device->addFault(rig::replyWith({0x11, 0x4A, 0x01, 0x00, 0x00}));
  EXPECT_FLOAT_EQ(r.handle->targetVoltage(), 3.30f);
  r.device->addFault(rig::replyWith({0x11, 0x01}));
  EXPECT_TRUE(r.handle->isTargetPowered());
  r.link->close();
  EXPECT_FLOAT_EQ(r.handle->targetVoltage(), 0.0f);
}

TEST(ToolIdentify, NoVersionClosesTheTransport) {
  struct Case {
    const char* what;
    rig::ep::Fault fault;
  };
  const Case cases[] = {
      {"length 0", rig::replyWith({0x00, 0})},
      {"another id", rig::fault(ep::FaultKind::WrongId, 0x00, 0x09)},
  };
  for (const Case& c : cases) {
    ToolRig r;
    r.link->close();
    r.device->addFault(c.fault);
    EXPECT_FALSE(r.handle->openAndIdentify()) << c.what;
    EXPECT_FALSE(r.link->isOpen()) << c.what;
    EXPECT_EQ(r.exchanges(), 1u) << c.what;
  }
  ToolRig r;
  r.link->close();
  r.device->unplug();
  EXPECT_FALSE(r.handle->openAndIdentify());
  EXPECT_EQ(r.exchanges(), 0u);
}

TEST(ToolIdentify, DeclaredVersionLengthIsCutAtTheFrame) {
  ToolRig r;
  qx::Bytes reply = {0x00, 200};
  reply.resize(64, '7');
  r.device->addFault(rig::replyWith(reply));
  ASSERT_TRUE(r.handle->openAndIdentify());
  EXPECT_EQ(r.handle->firmwareVersion(), std::string(62, '7'));
}

TEST(ToolVersionType, VendorNameOnlyForVariantThree) {
  ep::Config config;
  config.versionType = 3;
  config.vendor = "ACME Labs";
  ToolRig r(config);
  std::string vendor;
  EXPECT_EQ(r.handle->getVersionType(vendor), 3);
  EXPECT_EQ(vendor, "ACME Labs");
  r.device->addFault(rig::replyWith({0x00, 0, 2, 4, 'N', 'o', 'p', 'e'}));
  vendor = "kept";
  EXPECT_EQ(r.handle->getVersionType(vendor), 2);
  EXPECT_EQ(vendor, "kept");
}

// The order the programming runs use, against silicon-like flash.
TEST(ToolProgramming, EraseWriteVerifyAndAMissingEraseFailsVerification) {
  ToolRig r;
  qx::QUBRIXTool& t = *r.handle;
  std::vector<std::uint8_t> image(1300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  auto program = [&](const std::vector<std::uint8_t>& data, bool erase) {
    const std::size_t unit = t.eraseUnitA();
    for (std::size_t a = 0; a < data.size(); a += unit) {
      const std::span<const std::uint8_t> chunk(data.data() + a, std::min(unit, data.size() - a));
      if (erase && !t.eraseTargetFlash(0, static_cast<std::uint32_t>(a), 1)) return false;
      if (!t.writeCacheRange(chunk) || !t.writeTargetFlash(static_cast<std::uint32_t>(a), static_cast<std::uint16_t>(chunk.size()))) return false;
    }
    return true;
  };
  ASSERT_TRUE(t.openAndIdentify());
  ASSERT_TRUE(connectChip(t));
  ASSERT_EQ(t.eraseUnitA(), 512);
  ASSERT_TRUE(program(image, true));
  EXPECT_TRUE(t.verifyRange(0, image));
  std::vector<std::uint8_t> other(image.rbegin(), image.rend());
  ASSERT_TRUE(program(other, false));
  EXPECT_FALSE(t.verifyRange(0, other));
  ASSERT_TRUE(program(other, true));
  EXPECT_TRUE(t.verifyRange(0, other));
  EXPECT_TRUE(t.disconnect());
  EXPECT_THROW(t.eraseTargetFlash(2, 0, 0), qx::CommandException);
}

TEST(ToolHandle, DestroyingTheHandleClosesTheTransport) {
  ToolRig r;
  ASSERT_TRUE(r.link->isOpen());
  r.handle.reset();
  EXPECT_FALSE(r.link->isOpen());
}

}  // namespace
