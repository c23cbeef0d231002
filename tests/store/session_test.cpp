// The store session against the emulated programmer: the list, adds from every kind of file with
// their refusals and clean-ups, delete and default.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "base/texts.hpp"
#include "device/programmer_lock.hpp"
#include "device/store/store_files.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/production/writer.hpp"
#include "tests/firmware/hex_builder.hpp"
#include "tests/support/foreign_lock.hpp"
#include "tests/store/store_rig.hpp"

namespace storetest {
namespace {

namespace cmd = qx::cmd;
using base::Outcome;

firmware::McuPtr model(const char* name) { return firmware::FindByName(name); }

// Made after the bench, whose programmer it takes; the clock stands still.
struct Session {
  explicit Session(Bench& /*bench*/) : session(firmware::Catalogue(), sink) {
    session.setClock([] { return 1700000000u; });
  }
  RecordingSink sink;
  store::StoreSession session;
};

// A production file of `kind` for QB51F16 holding `data`, with the given settings.
std::vector<std::uint8_t> productionFile(production::FileKind kind, const std::vector<std::uint8_t>& data,
                                         const production::ProductionSettings& settings) {
  const firmware::McuPtr m = model("QB51F16");
  firmware::ProgramImage image;
  image.data = data;
  production::Rand15 random(7);
  const production::ProductionHeader header = production::makeHeader(
      kind, settings, *m, firmware::TypeIndex(*m), 0x1234, static_cast<std::uint32_t>(data.size()), std::ref(random));
  return production::ProductionFileBytes(kind, header, image);
}

production::ProductionSettings keyed() {
  production::ProductionSettings s;
  for (std::size_t i = 0; i < s.key.size(); ++i) s.key[i] = static_cast<std::uint8_t>('a' + i);
  return s;
}

TEST(StoreRefresh, AddIsOfferedBelowFiftyProgramsOnly) {
  for (const std::size_t n : {0u, 1u, 49u, 50u}) {
    SCOPED_TRACE(n);
    Bench bench;
    bench.fill(n);
    Session s(bench);
    EXPECT_EQ(s.session.refresh(), store::RefreshResult::Listed) << s.sink.all();
    EXPECT_EQ(s.sink.rows.size(), n);
    EXPECT_EQ(s.sink.buttons, (store::StoreButtons{n < 50, n > 0}));
  }
}

TEST(StoreRefresh, RowsFollowTheProgrammersOrderWithTheirTexts) {
  setenv("TZ", "UTC", 1);
  tzset();
  Bench bench;
  bench.device->inspect([](ep::ProgrammerModel& m) {
    for (const auto& [name, modelId, size, code, time] :
         std::vector<std::tuple<std::string, std::uint16_t, std::size_t, std::uint32_t, std::uint32_t>>{
             {"zeta", 0x505F, 300, 0xAB, 1709799909u}, {"alpha", 0x7777, 5, 0x12345678, 0}}) {
      ep::StoredFirmware f;
      f.name = name;
      f.modelWord = 0x51310000u | modelId;
      f.data.assign(size, 0);
      f.verifyCode = code;
      f.time = time;
      m.persistent().store.push_back(f);
    }
  });
  Session s(bench);
  ASSERT_EQ(s.session.refresh(), store::RefreshResult::Listed);
  ASSERT_EQ(s.sink.rows.size(), 2u);
  const store::StoreRow& zeta = s.sink.rows[0];
  EXPECT_EQ(zeta.info.name, "zeta");
  EXPECT_EQ(zeta.size, "300");
  EXPECT_EQ(zeta.model, "QB51F16");
  EXPECT_EQ(zeta.verifyCode, "000000AB");
  EXPECT_EQ(zeta.time, "2024-3-7 08:25:09");
  EXPECT_EQ(s.sink.rows[1].model, "Unknown");
  EXPECT_EQ(s.sink.rows[1].time, "1970-1-1 00:00:00");
  base::setThreadLanguage(base::kLangChinese);
  EXPECT_EQ(store::rowFor(s.sink.rows[1].info, firmware::Catalogue()).model, "未知");
  base::setThreadLanguage(base::kLangEnglish);
}

TEST(StoreRefresh, OldFirmwareNoProgrammerOrOneInUseIsRefused) {
  {
    ep::Config old;
    old.firmwareVersion = "1.0.2.4";
    Bench bench(old);
    Session s(bench);
    EXPECT_EQ(s.session.refresh(), store::RefreshResult::Outdated);
    ASSERT_EQ(s.sink.messages.size(), 1u);
    EXPECT_EQ(s.sink.messages[0], "Tip: " + base::text("store.version_too_low"));
    EXPECT_EQ(s.sink.lastIcon, base::MessageIcon::Warning);
    EXPECT_EQ(s.sink.buttons, (store::StoreButtons{false, false}));
  }
  {
    ep::Config current;
    current.firmwareVersion = "1.0.2.5";
    Bench bench(current);
    Session s(bench);
    EXPECT_EQ(s.session.refresh(), store::RefreshResult::Listed) << s.sink.all();
  }
  {
    Bench bench;
    bench.device->unplug();
    Session s(bench);
    EXPECT_EQ(s.session.refresh(), store::RefreshResult::Failed);
    EXPECT_EQ(s.sink.messages, std::vector<std::string>{"Tip: Can't open the QUBRIX Tool."});
  }
  {
    Bench bench;
    Session s(bench);
    {
      testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
      ASSERT_TRUE(other.held());
      EXPECT_EQ(s.session.refresh(), store::RefreshResult::Failed);
      ASSERT_EQ(s.sink.messages.size(), 1u);
      EXPECT_EQ(s.sink.messages[0].rfind("Tip: The QUBRIX Tool 439041101 is in use by process 1 (", 0), 0u)
          << s.sink.messages[0];
      EXPECT_TRUE(bench.device->log().empty());
    }
    EXPECT_EQ(s.session.refresh(), store::RefreshResult::Listed) << s.sink.all();
    // Closed again: the programmer is free for the next process.
    EXPECT_TRUE(testsupport::ForeignLock(qx::programmerLockDirectory() / "439041101.lock").held());
  }
}

TEST(StoreRefresh, AProgrammerErrorIsShownWithItsText) {
  Bench bench;
  bench.fill(2);
  bench.device->addFault({ep::FaultKind::Status, cmd::kFwInfo.id, 1, 1, {}});
  Session s(bench);
  EXPECT_EQ(s.session.refresh(), store::RefreshResult::Failed);
  EXPECT_EQ(s.sink.messages, std::vector<std::string>{"Tip: Refresh failed, error: The operation failed."});
  EXPECT_EQ(s.sink.lastIcon, base::MessageIcon::Error);
  EXPECT_TRUE(s.sink.rows.empty());
}

TEST(StoreAdd, AHexFileIsStoredWithItsGapAsZeroAndMadeActive) {
  Bench bench;
  const auto path = bench.write("blink.hex", fwtest::hexRecord(0x0000, 0, {1, 2, 3, 4}) +
                                                 fwtest::hexRecord(0x0008, 0, {5, 6}) + fwtest::kEndRecord);
  Session s(bench);
  ASSERT_EQ(s.session.add({path, model("QB51F16"), 77}), Outcome::Success) << s.sink.all();
  const auto stored = bench.stored();
  ASSERT_EQ(stored.size(), 1u);
  const ep::StoredFirmware& f = stored[0];
  EXPECT_EQ(f.name, "blink");
  EXPECT_EQ(f.data, (std::vector<std::uint8_t>{1, 2, 3, 4, 0, 0, 0, 0, 5, 6}));
  EXPECT_EQ(f.modelWord, firmware::modelWord(*model("QB51F16")));
  EXPECT_EQ(f.mcuName, "QB51F16");
  EXPECT_EQ(f.internalName, model("QB51F16")->internalName);
  EXPECT_EQ(f.userCode, 77u);
  EXPECT_EQ(f.time, 1700000000u);
  EXPECT_EQ(f.verifyCode, 21u + 255u * (16384u - 10u) + 2u * 16384u + 1u);
  EXPECT_EQ(bench.active(), "blink");
  EXPECT_EQ(s.sink.log.back(), "--> The firmware was added successfully.");
  ASSERT_EQ(s.sink.rows.size(), 1u) << "the list is refreshed";
  EXPECT_EQ(s.sink.progress.front(), 0);
  EXPECT_EQ(s.sink.progress.back(), 100);
}

TEST(StoreAdd, TheVerifyCodeOfOneZeroByteOnAFourKilobyteModel) {
  Bench bench;
  const auto path = bench.write("one.bin", std::vector<std::uint8_t>{0x00});
  Session s(bench);
  ASSERT_EQ(model("QB53L04")->flashSize, 4096u);
  ASSERT_EQ(s.session.add({path, model("QB53L04"), 0}), Outcome::Success) << s.sink.all();
  EXPECT_EQ(bench.stored().at(0).verifyCode, 255u * 4095u + 2u * 4096u + 1u);
  EXPECT_EQ(s.sink.rows.at(0).verifyCode, "00100F02");
}

TEST(StoreAdd, AProductionFileBringsItsModelKeyLimitAndUserCode) {
  Bench bench;
  bench.device->inspect([](ep::ProgrammerModel& m) { m.persistent().limit = {0xDEAD, 9, 3}; });
  production::ProductionSettings settings = keyed();
  settings.user_code_enable = true;
  settings.user_code = 4242;
  settings.write_limit_num_enable = true;
  settings.write_num_max = 500;
  const std::vector<std::uint8_t> data = fwtest::pattern(1000);
  const auto path = bench.write("line3.CAB", productionFile(production::FileKind::EncryptedProgram, data, settings));
  Session s(bench);
  // The model chosen in the window does not matter: the file names its own.
  ASSERT_EQ(s.session.add({path, model("QB53L04"), 1}), Outcome::Success) << s.sink.all();
  const ep::StoredFirmware f = bench.stored().at(0);
  EXPECT_EQ(f.name, "line3");
  EXPECT_EQ(f.data, data);
  EXPECT_EQ(f.mcuName, "QB51F16");
  EXPECT_EQ(f.userCode, 4242u);
  EXPECT_TRUE(f.hasKey);
  EXPECT_EQ(f.key, settings.key);
  EXPECT_NE(f.fileId, 0u);
  bench.device->inspect([&](ep::ProgrammerModel& m) {
    EXPECT_EQ(m.persistent().limit.fileId, f.fileId);
    EXPECT_EQ(m.persistent().limit.maxCount, 500u);
  });

  // The counter that already belongs to the file is kept (the same random fill gives the same id).
  bench.device->inspect([&](ep::ProgrammerModel& m) { m.persistent().limit.count = 17; });
  const auto again = bench.write("line3b.cap", productionFile(production::FileKind::ProductionProject, data, settings));
  ASSERT_EQ(s.session.add({again, model("QB51F16"), 0}), Outcome::Success) << s.sink.all();
  bench.device->inspect([&](ep::ProgrammerModel& m) { EXPECT_EQ(m.persistent().limit.count, 17u); });
  EXPECT_EQ(bench.active(), "line3b");
}

TEST(StoreAdd, AProductionFileForAnotherProgrammerIsRefusedBeforeAnythingIsStored) {
  Bench bench;
  production::ProductionSettings settings = keyed();
  settings.writer_ID_limit_enable = true;
  settings.write_id_num = 439041101 + 1;
  const auto path = bench.write("other.cap", productionFile(production::FileKind::ProductionProject, {1, 2, 3}, settings));
  Session s(bench);
  EXPECT_EQ(s.session.add({path, model("QB51F16"), 0}), Outcome::Failed);
  EXPECT_EQ(s.sink.messages,
            std::vector<std::string>{"Tip: This file is an encrypted program file and the downloader does not match it."});
  EXPECT_TRUE(bench.stored().empty());
  const auto ids = bench.ids();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), cmd::kFwCreate.id), 0);

  settings.write_id_num = 439041101;
  const auto ours = bench.write("ours.cap", productionFile(production::FileKind::ProductionProject, {1, 2, 3}, settings));
  EXPECT_EQ(s.session.add({ours, model("QB51F16"), 0}), Outcome::Success) << s.sink.all();
}

TEST(StoreAdd, BadFilesAreRefusedWithTheirMessageAndTheStoreUnchanged) {
  Bench bench;
  bench.fill(1);
  const std::vector<std::uint8_t> cab = productionFile(production::FileKind::EncryptedProgram, {1, 2, 3, 4}, keyed());
  std::vector<std::uint8_t> foreign(300);
  for (std::size_t i = 0; i < foreign.size(); ++i) foreign[i] = static_cast<std::uint8_t>(i * 31);
  const std::string valid = base::text("store.invalid_firmware");
  const std::string tooLarge = base::text("firmware.too_large");
  struct Case {
    std::string file;
    std::vector<std::uint8_t> contents;
    std::string message;
  };
  const std::string bigHex = fwtest::hexFile(fwtest::pattern(16385));
  const Case cases[] = {
      {"empty.hex", {}, valid},
      {"empty.bin", {}, valid},
      {"empty.cab", {}, valid},
      {"bad.hex", {':', '0', '1', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'}, valid},
      {"big.bin", std::vector<std::uint8_t>(16385, 0x5A), tooLarge},
      {"big.hex", std::vector<std::uint8_t>(bigHex.begin(), bigHex.end()), tooLarge},
      {"cut.cab", std::vector<std::uint8_t>(cab.begin(), cab.end() - 1), valid},
      {"header.cap", std::vector<std::uint8_t>(cab.begin(), cab.begin() + 200), valid},
      {"foreign.cab", foreign, valid},
      {std::string(33, 'n') + ".bin", {1, 2, 3}, base::text("device.status.162")},
      {".bin", {1, 2, 3}, base::text("device.status.16")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Session s(bench);
    bench.device->clearLog();
    EXPECT_EQ(s.session.add({bench.write(c.file, c.contents), model("QB51F16"), 0}), Outcome::Failed);
    EXPECT_EQ(s.sink.messages, std::vector<std::string>{"Tip: " + c.message}) << s.sink.all();
    EXPECT_EQ(bench.stored().size(), 1u);
    EXPECT_TRUE(bench.device->log().empty()) << "nothing was sent";
  }
  Session s(bench);
  EXPECT_EQ(s.session.add({bench.home.path() / "missing.bin", model("QB51F16"), 0}), Outcome::Failed);
  EXPECT_EQ(s.sink.messages, std::vector<std::string>{"Tip: " + valid});
}

TEST(StoreAdd, AFullStoreOrAnExistingNameLeavesTheStoreAsItWas) {
  Bench bench;
  bench.fill(50);
  Session s(bench);
  EXPECT_EQ(s.session.add({bench.write("new.bin", std::vector<std::uint8_t>{1}), model("QB51F16"), 0}), Outcome::Failed);
  EXPECT_TRUE(s.sink.logged("[E] --> The operation failed.")) << s.sink.all();
  EXPECT_TRUE(s.sink.logged("[E] --> Failed to add firmware."));
  EXPECT_EQ(bench.stored().size(), 50u);

  const auto before = bench.stored().at(3).data;
  EXPECT_EQ(s.session.add({bench.write("p3.bin", std::vector<std::uint8_t>{9, 9}), model("QB51F16"), 0}),
            Outcome::Failed);
  EXPECT_TRUE(s.sink.logged("[E] --> The firmware already exists.")) << s.sink.all();
  EXPECT_EQ(bench.stored().at(3).data, before);
}

// The third ID_FW_SetMeta (the target, after user code and time) answers status 2.
ep::Fault thirdMetaRefused() {
  auto count = std::make_shared<int>(0);
  ep::Fault f{ep::FaultKind::Tamper, qx::cmd::kFwSetMeta.id, 0, -1, {}};
  f.tamper = [count](qx::Bytes& reply) {
    if (++*count == 3) reply[1] = 2;
  };
  return f;
}

TEST(StoreAdd, AFailedStepAfterTheCreateRemovesTheProgram) {
  struct Case {
    const char* what;
    ep::Fault fault;
  };
  const Case cases[] = {
      {"block refused", {ep::FaultKind::Status, cmd::kFwSyncCacheToFw.id, 2, 1, {}}},
      {"block lost", {ep::FaultKind::Silence, cmd::kFwSyncCacheToFw.id, 0, 1, {}}},
      {"meta refused", {ep::FaultKind::Status, cmd::kFwSetMeta.id, 2, 1, {}}},
      {"target refused", thirdMetaRefused()},
      {"key refused", {ep::FaultKind::Status, cmd::kFwSetKey.id, 2, 1, {}}},
      {"limit unread", {ep::FaultKind::ShortReport, cmd::kFwGetLimit.id, 0, 1, {}}},
      {"active refused", {ep::FaultKind::Status, cmd::kFwSetActive.id, 2, 1, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench bench;
    Session s(bench);
    const auto path = bench.write("prog.cab", productionFile(production::FileKind::EncryptedProgram,
                                                             fwtest::pattern(1300), keyed()));
    bench.device->addFault(c.fault);
    EXPECT_EQ(s.session.add({path, model("QB51F16"), 0}), Outcome::Failed);
    EXPECT_TRUE(s.sink.logged("[E] --> Failed to add firmware.")) << s.sink.all();
    EXPECT_TRUE(bench.stored().empty()) << s.sink.all();
    EXPECT_TRUE(bench.active().empty());
  }
}

TEST(StoreAdd, AProgramLeftByAnUnplugIsRemovedOnceTheProgrammerIsBack) {
  Bench bench;
  Session s(bench);
  const auto path = bench.write("half.bin", fwtest::pattern(4000));
  bench.device->unplugAfter(8);
  EXPECT_EQ(s.session.add({path, model("QB51F16"), 0}), Outcome::Failed);
  EXPECT_TRUE(s.sink.logged("[E] --> Failed to add firmware.")) << s.sink.all();
  ASSERT_EQ(bench.stored().size(), 1u) << "the programmer went before it could be cleaned up";
  bench.device->plugIn();
  EXPECT_EQ(s.session.refresh(), store::RefreshResult::Listed) << s.sink.all();
  EXPECT_TRUE(bench.stored().empty());
  EXPECT_TRUE(s.sink.rows.empty());
}

TEST(StoreDelete, DeletesTheSelectedAndSaysSoForEach) {
  Bench bench;
  bench.fill(3);
  Session s(bench);
  ASSERT_EQ(s.session.refresh(), store::RefreshResult::Listed);
  EXPECT_EQ(s.session.remove({"p0", "p2"}), Outcome::Success);
  EXPECT_EQ(s.sink.log, (std::vector<std::string>{"--> Deletion successful.", "--> Deletion successful."}));
  ASSERT_EQ(bench.stored().size(), 1u);
  EXPECT_EQ(bench.stored()[0].name, "p1");
  ASSERT_EQ(s.sink.rows.size(), 1u);
  EXPECT_EQ(s.sink.rows[0].info.name, "p1");

  s.sink.log.clear();
  EXPECT_EQ(s.session.remove({"gone", std::string(63, 'x')}), Outcome::Failed);
  EXPECT_EQ(s.sink.log, (std::vector<std::string>{
                            "[E] --> Deletion failed.",
                            "[E] --> Deletion failed. Error The length of name must be greater than 0 and less than 62."}));
  EXPECT_EQ(bench.stored().size(), 1u);
}

TEST(StoreDefault, MakesTheProgramActive) {
  Bench bench;
  bench.fill(2);
  Session s(bench);
  EXPECT_EQ(s.session.makeDefault("p1"), Outcome::Success);
  EXPECT_EQ(bench.active(), "p1");
  EXPECT_EQ(s.session.makeDefault("nothing"), Outcome::Failed);
  EXPECT_EQ(s.sink.log, (std::vector<std::string>{"--> The setting was successful.", "[E] --> Setting failed."}));
  EXPECT_EQ(bench.active(), "p1");
  bench.device->unplug();
  EXPECT_EQ(s.session.makeDefault("p0"), Outcome::Failed);
  EXPECT_EQ(s.sink.messages.back(), "Tip: Can't open the QUBRIX Tool.");
}

}  // namespace
}  // namespace storetest

namespace storetest {
namespace {

// Adding 64 KiB takes the protocol's minimum: identify, create, per 512-byte block nine cache
// writes (8 x 58 + 48) and a sync, user code, time, target, active, and the list read again
// (names from 0, the one record, names from 1).
TEST(StoreAdd, SixtyFourKibibytesTakeTheProtocolsMinimumOfExchanges) {
  Bench bench;
  Session s(bench);
  const auto path = bench.write("big.bin", fwtest::pattern(64 * 1024));
  bench.device->clearLog();
  ASSERT_EQ(s.session.add({path, model("QB59W128"), 0}), Outcome::Success) << s.sink.all();
  const auto ids = bench.ids();
  EXPECT_EQ(ids.size(), 1u + 1u + 128u * (9u + 1u) + 4u + 3u);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), qx::cmd::kWriteCache.id), 128 * 9);
  EXPECT_EQ(bench.stored().at(0).data, fwtest::pattern(64 * 1024));
}

}  // namespace
}  // namespace storetest
