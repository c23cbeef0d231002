#pragma once
// The USB verbs of qubrix as a user runs them, against the emulated programmer
// whose state lives in the test's own state directory.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace usbjobstest {

using Output = testsupport::CommandRun;
using testsupport::runCommand;

class Cli : public ::testing::Test {
 protected:
  Output qubrix(const std::string& args, bool emulate = true) {
    return runCommand(std::string(emulate ? "QUBRIX_EMULATE=1 " : "QUBRIX_EMULATE= ") + QUBRIX_BINARY + " " + args);
  }

  testsupport::TempHome home;
  const std::string hex = std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex";
};

// Production files made by qubrix pack for QB51F16 from the example; the emulated programmer's
// serial number is 439041101, 1A2B3C4D as a writer id.
class ProductionCli : public Cli {
 protected:
  std::string pack(const std::string& name, const std::string& settings) {
    const std::string out = (home.path() / name).string();
    const Output r = qubrix("pack --lang en --cap -t QB51F16 " + settings + " -o " + out + " " + hex);
    EXPECT_EQ(r.status, 0) << r.out;
    return out;
  }
};

}  // namespace usbjobstest
