// qubrix program|verify|erase|power as a user runs them, against the emulated programmer whose
// state lives in the test's own state directory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/usbjobs/cli_fixture.hpp"

namespace usbjobstest {
namespace {

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

// Production files carry their locks into every run that sends their program to a programmer.
TEST_F(ProductionCli, TheRunLimitHoldsAndCountsWithoutAModelOption) {
  const std::string once = pack("once.cap", "--limit 1 --writer-id 1A2B3C4D");
  Output r = qubrix("program --lang en " + once);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("--> Programming successful."), std::string::npos) << r.out;
  r = qubrix("program --lang en --json " + once);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("\"model\": \"QB51F16\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("The maximum number of programming attempts has been reached and it cannot be programmed."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Programming successful"), std::string::npos) << r.out;
  // Verification is no programming run: it neither needs nor takes one.
  r = qubrix("verify --lang en " + once);
  EXPECT_EQ(r.status, 0) << r.out;

  // Another file's record is started afresh with that file's maximum.
  const std::string twice = pack("twice.cap", "--limit 2");
  EXPECT_EQ(qubrix("program --lang en -t QB51F16 " + twice).status, 0);
  EXPECT_EQ(qubrix("program --lang en " + twice).status, 0);
  EXPECT_EQ(qubrix("program --lang en " + twice).status, 1);
}

TEST_F(ProductionCli, AnotherProgrammerOrAnotherModelIsRefusedOnEveryPath) {
  const std::string locked = pack("locked.cap", "--limit 1 --writer-id 00000001");
  struct Case {
    std::string command;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {"program --lang en " + locked, 1, "--> The QUBRIX Tool does not match."},
      {"program --lang en --erase-chip -t QB51F16 " + locked, 1, "--> The QUBRIX Tool does not match."},
      {"verify --lang en " + locked, 1, "--> The QUBRIX Tool does not match."},
      {"program --lang en -t QB51F08 " + locked, 2, "is a production file for QB51F16; it cannot be used for QB51F08."},
      {"verify --lang en -t QB51F08 " + locked, 2, "is a production file for QB51F16; it cannot be used for QB51F08."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const Output r = qubrix(c.command);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Connected to the target chip."), std::string::npos) << r.out;
  }
  // Nothing was programmed: the counter of the locked file was never touched.
  const std::string open = pack("open.cap", "");
  EXPECT_EQ(qubrix("program --lang en " + open).status, 0);
  EXPECT_EQ(qubrix("verify --lang en " + open).status, 0);
}

}  // namespace
}  // namespace usbjobstest
