// The program worker against the emulated programmer: units, erase, padding, limits, version,
// and every way a run can end.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "firmware/catalogue.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

using base::Outcome;

ep::Config units(ep::EraseUnits kind, std::uint16_t size) {
  ep::Config c;
  c.eraseUnits = kind;
  c.eraseUnitSize = size;
  return c;
}

std::vector<std::pair<std::uint32_t, std::uint16_t>> burns(const Rig& rig) {
  std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
  for (const auto& e : rig.requests(kBurn)) out.emplace_back(u32(e.request, 1), u16(e.request, 9));
  return out;
}

struct EraseRequest {
  std::uint8_t mode;
  std::uint32_t address;
  std::uint16_t count;
  bool operator==(const EraseRequest&) const = default;
};

std::vector<EraseRequest> erases(const Rig& rig) {
  std::vector<EraseRequest> out;
  for (const auto& e : rig.requests(kErase)) out.push_back({e.request[1], u32(e.request, 2), u16(e.request, 6)});
  return out;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }

  Outcome run(Rig& rig, const usbjobs::UsbJob& job) { return usbjobs::runProgram(job, sink, rig.running); }

  // What every run that reached the programmer leaves behind.
  void expectClosedAndUnpowered(Rig& rig) {
    EXPECT_FALSE(rig.anyTransportOpen());
    EXPECT_FALSE(rig.targetPowered());
    ASSERT_FALSE(sink.controls.empty());
    EXPECT_EQ(sink.controls.back(), true);
  }
  void expectNoSuccess() {
    EXPECT_FALSE(sink.has("--> Programming successful.")) << sink.text();
    for (const LogEntry& e : sink.log) EXPECT_EQ(e.line.find("Programming completed"), std::string::npos) << e.line;
  }

  RecordingSink sink;
};

// A 100-byte image of a 16 KB model without tail padding (programLength 128).
TEST_F(Program, WritesAndVerifiesUnitsOfTheConnectReply) {
  struct Case {
    ep::EraseUnits kind;
    std::uint16_t size;
    std::uint8_t mode;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> burns;
    std::vector<int> progress;
  };
  const Case cases[] = {
      {ep::EraseUnits::A, 64, 0, {{0, 64}, {64, 64}}, {0, 50, 100, 0, 50, 100}},
      {ep::EraseUnits::A, 512, 0, {{0, 128}}, {0, 100, 0, 100}},
      {ep::EraseUnits::B, 256, 1, {{0, 128}}, {0, 100, 0, 100}},
      {ep::EraseUnits::None, 0, 0, {{0, 64}, {64, 64}}, {0, 50, 100, 0, 50, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Rig rig(units(c.kind, c.size));
    sink = {};
    const usbjobs::UsbJob job = jobFor("QB52K16", 100, 128);
    ASSERT_EQ(run(rig, job), Outcome::Success) << sink.text();
    EXPECT_EQ(burns(rig), c.burns);
    // The K7A0 family erases the area up front, in units of the chosen mode.
    const std::uint16_t unit = c.kind == ep::EraseUnits::None ? 64 : c.size;
    EXPECT_EQ(erases(rig), (std::vector<EraseRequest>{{c.mode, 0, static_cast<std::uint16_t>((128 + unit - 1) / unit)}}));
    EXPECT_EQ(sink.progress, c.progress);
    EXPECT_EQ(rig.targetFlash(0, 128), std::vector<std::uint8_t>(job.bytes.begin(), job.bytes.begin() + 128));
    std::size_t verified = 0;
    for (const auto& e : rig.requests(kVerify)) verified += e.request[5];
    EXPECT_EQ(verified, 128u);
    EXPECT_TRUE(sink.has("--> Programming successful."));
    EXPECT_EQ(sink.log.back().line.rfind("--> Programming completed! Time consumption: ", 0), 0u) << sink.text();
    EXPECT_EQ(sink.power.back(), std::make_pair(usbjobs::PowerIcon::Off, std::string("Power &ON")));
    expectClosedAndUnpowered(rig);
  }
}

TEST_F(Program, SendsTheScreenSequenceAndEventsInOrder) {
  Rig rig(units(ep::EraseUnits::A, 512));
  ASSERT_EQ(run(rig, jobFor("QB52K16", 100, 128)), Outcome::Success) << sink.text();
  std::vector<std::pair<int, std::uint32_t>> screen;
  std::vector<int> events;
  for (const auto& e : rig.device->log()) {
    if (e.request[0] == kScreen) screen.emplace_back(e.request[1], e.request[1] == 1 ? u32(e.request, 2) : e.request[2]);
    if (e.request[0] == kEvent) events.push_back(e.request[1]);
  }
  // clear, checksum, state 1, mode 1; state 4, progress 0, 100; state 7, progress 0, 100; state 5.
  const std::vector<std::pair<int, std::uint32_t>> expected = {{0, 0},   {1, 0x1234}, {2, 1}, {4, 1}, {2, 4}, {3, 0},
                                                               {3, 100}, {2, 7},      {3, 0}, {3, 100}, {2, 5}};
  EXPECT_EQ(screen, expected);
  EXPECT_EQ(events, (std::vector<int>{1, 2}));
  const auto connect = rig.requests(kConnect).at(0).request;
  EXPECT_EQ(u32(connect, 1), firmware::modelWord(*firmware::FindByName("QB52K16")));
  EXPECT_TRUE(sink.has("--> QUBRIX Tool v1.0.2.8"));
  EXPECT_TRUE(sink.has("--> Target voltage: 3.30V"));
}

TEST_F(Program, ErasesUpFrontUnitByUnitOrTheWholeChip) {
  struct Case {
    const char* model;
    bool eraseChip;
    std::vector<EraseRequest> expected;
  };
  // 1000 data bytes, programLength 1024, unit 512.
  const Case cases[] = {
      {"QB52K16", false, {{0, 0, 2}}},             // family type 0x000
      {"QB54T16", false, {{0, 0, 2}}},             // family type 0x100 (tail: 1040 → 1536 bytes, 3 units)
      {"QB61C16", false, {{0, 0, 1}, {0, 512, 1}}},  // T4N2, model id 0x5A68: unit by unit
      {"QB61C16", true, {{2, 0, 0}}},              // the whole chip, no unit erase
      {"QB52K16", true, {{2, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + (c.eraseChip ? " erase-chip" : ""));
    Rig rig(units(ep::EraseUnits::A, 512));
    sink = {};
    usbjobs::UsbJob job = jobFor(c.model, 1000, 1024);
    job.eraseChip = c.eraseChip;
    ASSERT_EQ(run(rig, job), Outcome::Success) << sink.text();
    std::vector<EraseRequest> expected = c.expected;
    if (std::string(c.model) == "QB54T16" && !c.eraseChip) expected = {{0, 0, 3}};
    EXPECT_EQ(erases(rig), expected);
    EXPECT_EQ(sink.has("--> The program area of the target mcu is being erased..."), expected.size() == 1u);
    EXPECT_EQ(rig.targetFlash(0, 1000), std::vector<std::uint8_t>(job.bytes.begin(), job.bytes.begin() + 1000));
  }
}

TEST_F(Program, PadsTheTailFamiliesAndStaysInsideTheFlash) {
  struct Case {
    const char* model;
    std::int64_t programLength;
    std::uint16_t unit;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> lastBurns;
  };
  const Case cases[] = {
      // 16 bytes of tail make the copy 16400 bytes: 48 more fill its last unit of 64.
      {"QB51F16", 128, 64, {{0, 64}, {64, 64}, {128, 64}}},
      {"QB52K16", 128, 64, {{0, 64}, {64, 64}}},
      // Near the end of the flash the padding would reach past it; the last unit ends at 16384.
      {"QB51F16", 16256, 512, {{15360, 512}, {15872, 512}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.programLength));
    Rig rig(units(ep::EraseUnits::A, c.unit));
    sink = {};
    ASSERT_EQ(run(rig, jobFor(c.model, 100, c.programLength)), Outcome::Success) << sink.text();
    auto all = burns(rig);
    ASSERT_GE(all.size(), c.lastBurns.size());
    all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(c.lastBurns.size()));
    EXPECT_EQ(all, c.lastBurns);
  }
  // The padding is erased flash: the burnt tail reads back as 0xFF.
  Rig rig(units(ep::EraseUnits::A, 64));
  ASSERT_EQ(run(rig, jobFor("QB51F16", 100, 128)), Outcome::Success);
  EXPECT_EQ(rig.targetFlash(128, 64), std::vector<std::uint8_t>(64, 0xFF));
}

struct LimitCase {
  const char* what;
  ep::LimitCounter before;
  Outcome outcome;
  ep::LimitCounter after;
  bool setLimitSent;
};

class Limits : public Program, public ::testing::WithParamInterface<LimitCase> {};

constexpr std::uint32_t kFileId = 0x11223344;

TEST_P(Limits, CountTheRunsOfAProductionFile) {
  const LimitCase& c = GetParam();
  Rig rig;
  rig.device->inspect([&](ep::ProgrammerModel& m) {
    m.persistent().limit = c.before;
    m.persistent().targetPowered = true;
  });
  usbjobs::UsbJob job = jobFor("QB52K16", 100, 128);
  job.productionFile = true;
  job.production.write_limit_num_enable = true;
  job.production.encrypt_file_id = kFileId;
  job.production.write_num_max = 3;
  EXPECT_EQ(run(rig, job), c.outcome) << sink.text();
  ep::LimitCounter after;
  rig.device->inspect([&](ep::ProgrammerModel& m) { after = m.persistent().limit; });
  EXPECT_EQ(after.fileId, c.after.fileId);
  EXPECT_EQ(after.maxCount, c.after.maxCount);
  EXPECT_EQ(after.count, c.after.count);
  EXPECT_EQ(rig.requests(kSetLimit).size(), c.setLimitSent ? 1u : 0u);
  if (c.outcome != Outcome::Success) {
    EXPECT_TRUE(sink.hasError("--> The maximum number of programming attempts has been reached and it cannot be programmed."))
        << sink.text();
    EXPECT_TRUE(rig.requests(kConnect).empty());
    EXPECT_TRUE(rig.requests(kLimitInc).empty());
    expectNoSuccess();
  }
  expectClosedAndUnpowered(rig);
}

INSTANTIATE_TEST_SUITE_P(
    Program, Limits,
    ::testing::Values(LimitCase{"another file's record is reset", {7, 5, 5}, Outcome::Success, {kFileId, 3, 1}, true},
                      LimitCase{"one below the maximum", {kFileId, 3, 2}, Outcome::Success, {kFileId, 3, 3}, false},
                      LimitCase{"at the maximum", {kFileId, 3, 3}, Outcome::Failed, {kFileId, 3, 3}, false}),
    [](const auto& p) { return std::to_string(p.index); });

TEST_F(Program, AProductionFileForAnotherProgrammerIsRefused) {
  for (const std::uint32_t id : {439041101u, 439041102u}) {
    Rig rig;
    sink = {};
    usbjobs::UsbJob job = jobFor("QB52K16", 100, 128);
    job.productionFile = true;
    job.production.writer_ID_limit_enable = true;
    job.production.write_id_num = id;
    const bool ours = id == 439041101u;
    EXPECT_EQ(run(rig, job), ours ? Outcome::Success : Outcome::Failed) << sink.text();
    EXPECT_EQ(sink.hasError("--> The QUBRIX Tool does not match."), !ours);
    EXPECT_EQ(rig.requests(kConnect).size(), ours ? 1u : 0u);
    expectClosedAndUnpowered(rig);
  }
}

TEST_F(Program, ChecksTheProgrammersFirmwareVersion) {
  struct Case {
    const char* version;
    bool accepted;
    bool invalid;
  };
  const Case cases[] = {{"1.0.2", true, false},    {"1.0.2.0", true, false}, {"2.0.0", true, false},
                        {"1.0.1.9", false, false}, {"0.9.9", false, false},  {"1.0", false, true},
                        {"1.0.x", false, true},    {"1.0.2.3.4", false, true}, {"1..2", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Rig rig;
    ep::Fault f;
    f.kind = ep::FaultKind::Tamper;
    f.command = 0x00;
    f.tamper = [version = std::string(c.version)](qx::Bytes& reply) {
      reply[1] = static_cast<std::uint8_t>(version.size());
      std::copy(version.begin(), version.end(), reply.begin() + 2);
    };
    rig.device->addFault(f);
    rig.device->inspect([](ep::ProgrammerModel& m) { m.persistent().targetPowered = true; });
    sink = {};
    EXPECT_EQ(run(rig, jobFor("QB52K16", 100, 128)), c.accepted ? Outcome::Success : Outcome::Failed) << sink.text();
    EXPECT_EQ(rig.requests(kConnect).size(), c.accepted ? 1u : 0u);
    const bool tooLow = !c.accepted && !c.invalid;
    EXPECT_EQ(sink.messages, tooLow ? std::vector<std::string>{"Tip: The firmware version of the QUBRIX Tool is lower than "
                                                               "v1.0.2. Please upgrade the QUBRIX Tool."}
                                    : std::vector<std::string>{});
    EXPECT_EQ(sink.hasError("--> Invalid firmware version string."), c.invalid);
    expectClosedAndUnpowered(rig);
  }
}

struct FailureCase {
  const char* what;
  std::function<void(Rig&)> arrange;
  std::vector<std::string> errorLines;
};

class Failures : public Program, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, EndWithTheirLinesPoweredOffAndClosed) {
  const FailureCase& c = GetParam();
  Rig rig(units(ep::EraseUnits::A, 64));
  c.arrange(rig);
  EXPECT_EQ(run(rig, jobFor("QB61C16", 1000, 1024)), Outcome::Failed) << sink.text();
  for (const std::string& line : c.errorLines) EXPECT_TRUE(sink.hasError(line)) << line << "\n" << sink.text();
  expectNoSuccess();
  EXPECT_FALSE(rig.anyTransportOpen());
  EXPECT_EQ(sink.controls, (std::vector<bool>{false, true}));
  // An unplugged programmer takes the target's power with it; one still on the bus must have switched it off.
  if (rig.device->attach() != nullptr) {
    EXPECT_FALSE(rig.targetPowered());
  }
}

void fault(Rig& rig, ep::FaultKind kind, std::uint8_t command, unsigned value = 0) {
  ep::Fault f;
  f.kind = kind;
  f.command = command;
  f.value = value;
  rig.device->addFault(f);
}

INSTANTIATE_TEST_SUITE_P(
    Program, Failures,
    ::testing::Values(
        FailureCase{"no programmer", [](Rig& r) { r.detach(); }, {"--> No QUBRIX Tool was found."}},
        FailureCase{"does not open",
                    [](Rig& r) {
                      ep::Fault f;
                      f.kind = ep::FaultKind::Tamper;
                      f.command = 0x00;
                      f.tamper = [](qx::Bytes& reply) { reply[1] = 0; };
                      r.device->addFault(f);
                    },
                    {"--> Failed to open the QUBRIX Tool."}},
        FailureCase{"target does not answer",
                    [](Rig& r) { fault(r, ep::FaultKind::Status, kConnect, 5); },
                    {"--> Unable to connect to the target.", "--> Failed to connect to the target mcu."}},
        FailureCase{"another model in the socket",
                    [](Rig& r) {
                      r.device->inspect([](ep::ProgrammerModel& m) {
                        m.persistent().adoptedModel = firmware::modelWord(*firmware::FindByName("QB52K16"));
                      });
                    },
                    {"--> Model mismatch.", "--> Failed to connect to the target mcu."}},
        FailureCase{"erase refused",
                    [](Rig& r) { fault(r, ep::FaultKind::Status, kErase, 9); },
                    {"--> The target Flash cannot be erased.", "--> Programming failed."}},
        FailureCase{"time-out in the middle",
                    [](Rig& r) {
                      fault(r, ep::FaultKind::Silence, kBurn);
                      fault(r, ep::FaultKind::Silence, kBurn);
                    },
                    {"--> Data reading timeout.", "--> Programming failed."}},
        FailureCase{"unplugged in the middle", [](Rig& r) { r.device->unplugAfter(40); }, {"--> Programming failed."}},
        FailureCase{"verification differs",
                    [](Rig& r) { fault(r, ep::FaultKind::Status, kVerify, 12); },
                    {"--> Programming failed."}}),
    [](const auto& p) { return std::to_string(p.index); });

TEST_F(Program, ATargetThatDoesNotAnswerShowsOnTheProgrammersScreen) {
  ep::Config config;
  config.targetAttached = false;
  Rig rig(config);
  EXPECT_EQ(run(rig, jobFor("QB52K16", 100, 128)), Outcome::Failed);
  const auto screens = rig.requests(kScreen);
  ASSERT_FALSE(screens.empty());
  EXPECT_EQ(screens.back().request[1], 2);
  EXPECT_EQ(screens.back().request[2], 2);
  EXPECT_TRUE(rig.requests(kEvent).empty());
}

TEST_F(Program, AnEmptyImageSendsNothing) {
  Rig rig;
  EXPECT_EQ(run(rig, jobFor("QB52K16", 0, 0)), Outcome::Failed);
  EXPECT_TRUE(sink.hasError("--> Please load a firmware."));
  EXPECT_TRUE(rig.device->log().empty());
  EXPECT_TRUE(sink.controls.empty());
}

TEST_F(Program, ACancelEndsAtTheNextUnitAndPowersOff) {
  Rig rig(units(ep::EraseUnits::A, 64));
  sink.onPercent = [&rig](int percent) {
    if (percent >= 50) rig.running = false;
  };
  EXPECT_EQ(run(rig, jobFor("QB61C16", 1000, 1024)), Outcome::Cancelled) << sink.text();
  EXPECT_EQ(burns(rig).size(), 8u);
  EXPECT_TRUE(rig.requests(kVerify).empty());
  EXPECT_TRUE(sink.has("--> The user cancels programming."));
  EXPECT_EQ(sink.progress.back(), 0);
  const auto screens = rig.requests(kScreen);
  EXPECT_EQ(std::make_pair(screens.back().request[1], screens.back().request[2]), std::make_pair(std::uint8_t{2}, std::uint8_t{0}));
  expectNoSuccess();
  expectClosedAndUnpowered(rig);
}

}  // namespace
}  // namespace usbjobstest
