// The command-line dialog's run: raw file bytes unit by unit, with the dialog's texts; and the
// -l log file.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "base/texts.hpp"
#include "device/jobs/load_program.hpp"
#include "device/jobs/log_file.hpp"
#include "device/programmer_lock.hpp"
#include "firmware/catalogue.hpp"
#include "tests/support/foreign_lock.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

using base::Outcome;

class TextSink : public usbjobs::LoadRunSink {
 public:
  void onLog(const std::string& text, base::LogColour) override { log += text; }
  void onMessage(const std::string&, const std::string& text, base::MessageIcon) override { log += text; }
  void onProgress(int percent) override { progress.push_back(percent); }
  std::string log;
  std::vector<int> progress;
};

class LoadRun : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }

  std::string file(std::size_t n) {
    const std::string path = (rig.home.path() / ("f" + std::to_string(n) + ".bin")).string();
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < n; ++i) out.put(static_cast<char>(i * 5 + 1));
    return path;
  }
  Outcome run(const std::string& model, const std::string& path) {
    return usbjobs::runLoadProgram(firmware::Catalogue(), model, path, sink);
  }
  std::vector<std::pair<std::uint32_t, std::uint16_t>> burns() const {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
    for (const auto& e : rig.requests(kBurn)) out.emplace_back(u32(e.request, 1), u16(e.request, 9));
    return out;
  }
  std::vector<std::pair<std::uint32_t, std::uint16_t>> erases() const {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
    for (const auto& e : rig.requests(kErase)) out.emplace_back(u32(e.request, 2), u16(e.request, 6));
    return out;
  }

  Rig rig;
  TextSink sink;
};

TEST_F(LoadRun, WritesUnitByUnitWithTheDialogsLog) {
  const std::string path = file(1000);
  ASSERT_EQ(run("QB52K16", path), Outcome::Success) << sink.log;
  EXPECT_EQ(burns(), (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{0, 512}, {512, 488}}));
  EXPECT_EQ(erases(), (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{0, 1}, {512, 1}}));
  EXPECT_EQ(sink.progress, (std::vector<int>{0, 51, 100}));
  EXPECT_EQ(sink.log, "QB52K16\r\n" + path + "\r\n已连接至目标。\r\nflash_size=1\r\n--> Programming...\r\ndone.\r\n");
  std::vector<std::uint8_t> expected(1000);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i * 5 + 1);
  EXPECT_EQ(rig.targetFlash(0, 1000), expected);
  std::vector<int> events;
  for (const auto& e : rig.requests(kEvent)) events.push_back(e.request[1]);
  EXPECT_EQ(events, (std::vector<int>{1, 2}));
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);

  // Pressed again: the same file once more.
  rig.device->clearLog();
  ASSERT_EQ(run("QB52K16", path), Outcome::Success);
  EXPECT_EQ(burns().size(), 2u);
}

TEST_F(LoadRun, AModelIdWithHighNibbleAErasesUpFront) {
  // QB52K64A has model id 0x51A5.
  ASSERT_EQ(run("QB52K64A", file(1000)), Outcome::Success) << sink.log;
  EXPECT_EQ(erases(), (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{0, 2}}));
  EXPECT_NE(sink.log.find("--> 正在擦除Flash...--> Programming...\r\n"), std::string::npos) << sink.log;
}

TEST_F(LoadRun, AnEmptyFileSendsTheEventsButNoData) {
  ASSERT_EQ(run("QB52K16", file(0)), Outcome::Success);
  EXPECT_TRUE(erases().empty());
  EXPECT_TRUE(burns().empty());
  EXPECT_TRUE(rig.requests(kWriteCache).empty());
  EXPECT_EQ(rig.requests(kEvent).size(), 2u);
  EXPECT_EQ(rig.requests(kDisconnect).size(), 1u);
}

TEST_F(LoadRun, StopsBeforeTheProgrammerOnAnUnknownModelAnUnreadableFileOrAProgrammerInUse) {
  EXPECT_EQ(run("QB99", file(10)), Outcome::Failed);
  EXPECT_NE(sink.log.find("无效的芯片型号[QB99]，请选择正确的芯片型号，单击“烧录”。"), std::string::npos);
  sink.log.clear();
  EXPECT_EQ(run("QB52K16", (rig.home.path() / "missing.hex").string()), Outcome::Failed);
  EXPECT_NE(sink.log.find("Error in reading the file!\r\n"), std::string::npos) << sink.log;
  EXPECT_EQ(sink.log.find("done."), std::string::npos);
  EXPECT_TRUE(rig.device->log().empty());
  {
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    EXPECT_EQ(run("QB52K16", file(10)), Outcome::Failed);
    EXPECT_NE(sink.log.find("The QUBRIX Tool 439041101 is in use by process 1 ("), std::string::npos) << sink.log;
    EXPECT_TRUE(rig.device->log().empty());
  }
  rig.detach();
  EXPECT_EQ(run("QB52K16", file(10)), Outcome::Failed);
  EXPECT_NE(sink.log.find("No QUBRIX Tool was found.\r\n"), std::string::npos);
}

TEST_F(LoadRun, FailuresAreLoggedBeforeDone) {
  struct Case {
    const char* what;
    std::function<void(Rig&)> arrange;
    std::string before;
  };
  const Case cases[] = {
      {"a short cache write leaves the loop",
       [](Rig& r) {
         ep::Fault f;
         f.kind = ep::FaultKind::Tamper;
         f.command = kWriteCache;
         f.tamper = [](qx::Bytes& reply) { reply[2] = 0; };
         r.device->addFault(f);
       },
       "--> Programming failed.\r\n"},
      {"the target does not answer",
       [](Rig& r) {
         ep::Fault f;
         f.kind = ep::FaultKind::Status;
         f.command = kConnect;
         f.value = 5;
         r.device->addFault(f);
       },
       "--> Programming failed, Error: Unable to connect to the target.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sink.log.clear();
    c.arrange(rig);
    EXPECT_EQ(run("QB52K16", file(1000)), Outcome::Failed);
    const std::string tail = c.before + "done.\r\n";
    ASSERT_GE(sink.log.size(), tail.size());
    EXPECT_EQ(sink.log.substr(sink.log.size() - tail.size()), tail) << sink.log;
  }
  // The loop's failure still ends the session.
  EXPECT_EQ(rig.requests(kEvent).back().request[1], 2);
}

TEST(LogFile, StampsEveryLineAndJoinsTextsThatContinueALine) {
  testsupport::TempHome home;
  const auto path = home.path() / "run.log";
  {
    usbjobs::LogFile log(path);
    ASSERT_TRUE(log.ok());
    log.append("QB52K16\r\nf.hex\r\n");
    log.append("--> 正在擦除Flash...");
    log.append("--> Programming...\r\n");
    log.append("last without a break");
  }
  usbjobs::LogFile again(path);
  again.append("appended\n");
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
  const std::vector<std::string> texts = {"QB52K16", "f.hex", "--> 正在擦除Flash...--> Programming...",
                                          "last without a break", "appended"};
  ASSERT_EQ(lines.size(), texts.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, stamped)) << lines[i];
    EXPECT_EQ(m[1], texts[i]);
  }
  EXPECT_FALSE(usbjobs::LogFile(home.path() / "no" / "such" / "dir.log").ok());
}

}  // namespace
}  // namespace usbjobstest
