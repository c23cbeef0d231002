// qubrix for scripts and production lines, run as a user would against emulated programmers: the
// programmer chosen by --serial, power to a known state, the JSON result, program --all, models
// filtered, and the language without --lang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace usbjobstest {
namespace {

using Output = testsupport::CommandRun;
using testsupport::runCommand;

class CliLines : public ::testing::Test {
 protected:
  Output qubrix(const std::string& args, int programmers = 2, const std::string& env = "LC_ALL=C") {
    return runCommand(env + " QUBRIX_EMULATE=" + std::to_string(programmers) + " " + QUBRIX_BINARY + " " + args);
  }

  testsupport::TempHome home;
  const std::string hex = std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex";
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CliLines, PowerSwitchesTheChosenProgrammerToAKnownState) {
  Output r = qubrix("power off --json --serial 1A2B3C4E");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "\"programmer\": {\"serial\": \"439041102\", \"sn\": \"SN: 1A2B3C4E\", \"version\": \"1.0.2.8\"}"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\"power\": \"off\"")) << r.out;

  r = qubrix("power on --serial 439041101");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "--> The target is powered on.")) << r.out;
  // Each programmer keeps its own state across runs; status changes nothing.
  for (int i = 0; i < 2; ++i) {
    r = qubrix("power status --json --serial 1A2B3C4E");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "\"power\": \"off\"")) << r.out;
    r = qubrix("power status --json --serial 1A2B3C4D");
    EXPECT_TRUE(has(r.out, "\"power\": \"on\"")) << r.out;
    EXPECT_TRUE(has(r.out, "\"targetVoltage\": 3.30")) << r.out;
  }
  // The toggle stays the window's Power button.
  r = qubrix("power --serial 1A2B3C4D");
  EXPECT_TRUE(has(r.out, "--> The target is powered off.")) << r.out;
}

TEST_F(CliLines, SeveralProgrammersNeedSerialAndAnUnknownOneIsRefused) {
  struct Case {
    std::string args;
    int programmers;
    int status;
    std::string part;
  };
  const Case cases[] = {
      {"program -t QB51F16 " + hex, 2, 2, "Several QUBRIX Tool programmers are attached; choose one:\n  --serial 439041101"},
      {"erase -t QB51F16 --serial 77", 2, 2, "No QUBRIX Tool with serial number 77 is attached. Attached:"},
      {"power status", 3, 2, "--serial 439041103    SN: 1A2B3C4F"},
      {"power sideways", 1, 2, "power takes one of on, off, status and toggle"},
      {"program --all --serial 439041101 -t QB51F16 " + hex, 2, 2, "--all and --serial exclude each other"},
      {"erase -t QB51F16", 1, 0, "--> Erased successfully!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Output r = qubrix(c.args, c.programmers);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_TRUE(has(r.out, c.part)) << r.out;
  }
}

TEST_F(CliLines, JsonCarriesTheWholeResultOfAFailedVerification) {
  ASSERT_EQ(qubrix("program -t QB51F16 " + hex, 1).status, 0);
  ASSERT_EQ(qubrix("erase -t QB51F16", 1).status, 0);
  const Output r = qubrix("verify --json -t QB51F16 " + hex, 1);
  EXPECT_EQ(r.status, 1) << r.out;
  for (const char* part : {"\"result\": \"failed\", \"exitStatus\": 1", "\"checksum\": \"003FF2C2\"", "\"size\": 100",
                           "\"sn\": \"SN: 1A2B3C4D\"", "\"targetVoltage\": 3.30", "\"failedStep\": \"verify\"",
                           "\"statusCode\": 12", "\"firstDifference\": \"0x00000000\"", "\"seconds\": "}) {
    EXPECT_TRUE(has(r.out, part)) << part << "\n" << r.out;
  }
}

TEST_F(CliLines, ProgramAllProgramsEveryProgrammerAndSummarises) {
  Output r = qubrix("program --all -t QB51F16 " + hex, 2);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "SN: 1A2B3C4D  success")) << r.out;
  EXPECT_TRUE(has(r.out, "SN: 1A2B3C4E  success")) << r.out;
  EXPECT_TRUE(has(r.out, "Summary: 2 of 2 programmers succeeded.")) << r.out;
  // One progress line per programmer and phase step, not a shared bar.
  EXPECT_TRUE(has(r.out, "SN: 1A2B3C4E  Verifying [####################] 100%")) << r.out;
  // Both were really programmed: each verifies on its own.
  for (const char* sn : {"1A2B3C4D", "1A2B3C4E"}) {
    EXPECT_EQ(qubrix(std::string("verify -t QB51F16 --serial ") + sn + " " + hex).status, 0) << sn;
  }

  r = qubrix("program --all --json -t QB51F16 " + hex, 3);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "\"all\": true")) << r.out;
  EXPECT_TRUE(has(r.out, "\"succeeded\": 3")) << r.out;
  EXPECT_TRUE(has(r.out, "\"sn\": \"SN: 1A2B3C4F\"")) << r.out;

  // One that fails makes the whole run fail: the second holds a chip of another model.
  const auto second = home.path() / "XDG_STATE_HOME" / "QUBRIX" / "emulator" / "programmer-2";
  std::filesystem::create_directories(second);
  std::ofstream(second / "programmer.conf") << "model=QB51F08\n";
  r = qubrix("program --all -t QB51F16 " + hex, 2);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "Summary: 1 of 2 programmers succeeded.")) << r.out;
  EXPECT_TRUE(has(r.out, "SN: 1A2B3C4D  success")) << r.out;
  EXPECT_TRUE(has(r.out, "SN: 1A2B3C4E  failed")) << r.out;
}

TEST_F(CliLines, ModelsFilteredByFamilyAndPattern) {
  Output r = qubrix("models --json --family qb51f 'QB51F16*'", 0);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "{\"name\": \"QB51F16\", \"family\": \"QB51F Series\", \"modelId\": \"0x505F\"")) << r.out;
  EXPECT_FALSE(has(r.out, "QB51F08")) << r.out;
  r = qubrix("models --family QX32A", 0);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(has(r.out, "QB51F")) << r.out;
  EXPECT_EQ(qubrix("models --json nosuchchip", 0).out, "[]\n");
  EXPECT_EQ(qubrix("models nosuchchip", 0).status, 1);
}

TEST_F(CliLines, InfoAndPackJsonAreOneObjectAlsoWhenTheyFail) {
  const std::string cab = (home.path() / "made.cab").string();
  Output r = qubrix("pack --json --cab -t QB51F16 --key 0123456789abcdef -o " + cab + " " + hex, 0);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(has(r.out, "\"result\": \"success\", \"exitStatus\": 0, \"output\": \"" + cab + "\", \"fileId\": \"")) << r.out;
  EXPECT_TRUE(has(r.out, "\"checksum\": \"003FF2C2\", \"size\": 100}\n")) << r.out;
  r = qubrix("info --json " + cab, 0);
  EXPECT_TRUE(has(r.out, "\"production\": {\"limit\": 0, \"limitEnabled\": false")) << r.out;
  r = qubrix("pack --json --cab -t QB51F16 -o " + cab + " " + hex, 0);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "\"result\": \"failed\", \"exitStatus\": 1}")) << r.out;

  r = qubrix("info --json -t QB51F16 " + hex, 0);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "{\"verb\": \"info\", \"model\": \"QB51F16\", \"file\": \"" + hex +
                       "\", \"result\": \"success\", \"exitStatus\": 0, \"checksum\": \"003FF2C2\", \"size\": 100}\n");
  r = qubrix("info --json -t QB51F16 /nonexistent.hex", 0);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(has(r.out, "\"result\": \"failed\", \"exitStatus\": 1}")) << r.out;
}

TEST_F(CliLines, LanguageFollowsTheLocaleUnlessTheWindowChoseOne) {
  EXPECT_TRUE(has(qubrix("power status", 1, "LC_ALL= LANG=zh_CN.UTF-8").out, "目标已"));
  EXPECT_TRUE(has(qubrix("power status", 1, "LC_ALL= LANG=en_US.UTF-8").out, "--> The target is powered"));
  const auto config = home.path() / "XDG_CONFIG_HOME" / "QUBRIX";
  std::filesystem::create_directories(config);
  std::ofstream(config / "QUBRIX Tool.ini") << "[%General]\nLangID=2052\n";
  EXPECT_TRUE(has(qubrix("power status", 1, "LC_ALL=en_US.UTF-8").out, "目标已"));
  EXPECT_TRUE(has(qubrix("power status --lang en", 1, "LC_ALL=zh_CN.UTF-8").out, "--> The target is powered"));
}

}  // namespace
}  // namespace usbjobstest
