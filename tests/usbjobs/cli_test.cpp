// qubrix program|verify|erase|power and qubrix-tool verify|erase as a user runs them, against the
// emulated programmer whose state lives in the test's own state directory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace usbjobstest {
namespace {

using Output = testsupport::CommandRun;
using testsupport::runCommand;

class Cli : public ::testing::Test {
 protected:
  Output qubrix(const std::string& args, bool emulate = true) {
    return runCommand(std::string(emulate ? "QUBRIX_EMULATE=1 " : "QUBRIX_EMULATE= ") + QUBRIX_BINARY + " " + args);
  }
  Output tool(const std::string& args) { return runCommand(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_TOOL_BINARY + " " + args); }

  testsupport::TempHome home;
  const std::string hex = std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex";
};

TEST_F(Cli, ProgramsVerifiesErasesAndExitsByTheResult) {
  Output r = qubrix("program --lang en -t QB51F16 " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  // Not a terminal: the progress comes as plain lines between the log lines.
  EXPECT_NE(r.out.find("--> Programming...\nProgramming:  80%\nProgramming: 100%\n--> Verifying...\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Verifying: 100%\n--> Programming successful.\n--> Programming completed!"), std::string::npos)
      << r.out;

  r = qubrix("verify --lang en -t QB51F16 " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  r = qubrix("erase --lang en -t QB51F16 --json");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("{\"verb\": \"erase\", \"model\": \"QB51F16\", \"file\": \"\", \"result\": \"success\"", 0), 0u)
      << r.out;
  r = qubrix("verify --lang en -t QB51F16 " + hex);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("--> Verification failed. The target program is inconsistent with the firmware file."),
            std::string::npos);

  r = qubrix("power --lang en");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("--> The target is powered on."), std::string::npos) << r.out;
}

TEST_F(Cli, BadInputEndsNonZeroWithoutASuccessLine) {
  struct Case {
    std::string args;
    bool emulate;
    int status;
    std::string line;
  };
  const std::string missing = (home.path() / "missing.hex").string();
  const std::string empty = (home.path() / "empty.hex").string();
  std::ofstream{empty};
  const Case cases[] = {
      {"program --lang en -t QB99 " + hex, true, 2, "Unknown model \"QB99\""},
      {"program --lang en -t QB51F16", true, 2, "A program file is needed."},
      {"program --lang en -t QB51F16 " + missing, true, 1, "was not loaded"},
      {"program --lang en -t QB51F16 " + empty, true, 1, "was not loaded"},
      {"program --lang en -t QB51F16 " + hex, false, 1, "--> No QUBRIX Tool was found."},
      {"program --lang en -t QB51F16 --json " + hex, false, 1, "\"result\": \"failed\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Output r = qubrix(c.args, c.emulate);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Programming successful"), std::string::npos) << r.out;
  }
}

TEST_F(Cli, TheToolsHeadlessVerbsPrintAndAppendTheirLog) {
  ASSERT_EQ(qubrix("program --lang en -t QB51F16 " + hex).status, 0);
  const std::string log = (home.path() / "run.log").string();
  Output r = tool("verify -t QB51F16 -l " + log + " " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  r = tool("erase -t QB51F16 -l " + log);
  EXPECT_EQ(r.status, 0) << r.out;
  r = tool("verify -t QB51F16 -l " + log + " " + hex);
  EXPECT_EQ(r.status, 1) << r.out;
  r = tool("erase -t QB99");
  EXPECT_EQ(r.status, 2) << r.out;

  std::ifstream in(log);
  int lines = 0;
  int stamped = 0;
  for (std::string line; std::getline(in, line); ++lines) stamped += line.size() > 24 && line[4] == '-' && line[23] == ' ';
  EXPECT_EQ(stamped, lines);
  EXPECT_GE(lines, 15);
}

}  // namespace
}  // namespace usbjobstest
