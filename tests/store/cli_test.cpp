// qubrix store against the emulated programmer whose store lives in the test's own state
// directory, so that one run adds and the next lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace {

using testsupport::CommandRun;

class StoreCli : public ::testing::Test {
 protected:
  CommandRun qubrix(const std::string& args) {
    return testsupport::runCommand(std::string("QUBRIX_EMULATE=1 TZ=UTC ") + QUBRIX_BINARY + " store --lang en " + args);
  }
  std::string copy(const std::string& name) {
    const std::filesystem::path to = home.path() / name;
    std::filesystem::copy_file(std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex", to);
    return to.string();
  }

  testsupport::TempHome home;
};

TEST_F(StoreCli, AddListDefaultDeleteRoundTrip) {
  CommandRun r = qubrix("add -t QB51F16 --user-code 12 " + copy("motor.hex"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Adding: 100%\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--> The firmware was added successfully.\n"), std::string::npos) << r.out;
  ASSERT_EQ(qubrix("add -t QB53L04 " + copy("fan.hex")).status, 0);

  r = qubrix("list");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("Name   Size  Model    Verify Code  Time\nmotor  100   QB51F16  003FF2C2     20", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nfan    100   QB53L04  "), std::string::npos) << r.out;
  r = qubrix("list --json");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("{\"name\": \"motor\", \"size\": 100, \"model\": \"QB51F16\", \"modelId\": 20575, "
                       "\"verifyCode\": \"003FF2C2\", \"time\": "),
            std::string::npos)
      << r.out;

  r = qubrix("default motor");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "--> The setting was successful.\n");
  r = qubrix("delete motor");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "--> Deletion successful.\n");
  r = qubrix("delete motor");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out, "--> Deletion failed.\n");
  r = qubrix("default motor");
  EXPECT_EQ(r.status, 1) << r.out;
  r = qubrix("list --json");
  EXPECT_EQ(r.out.find("motor"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"fan\""), std::string::npos) << r.out;
}

TEST_F(StoreCli, RefusalsEndNonZero) {
  const std::string empty = (home.path() / "empty.bin").string();
  std::ofstream{empty};
  struct Case {
    std::string args;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"", 2, "an operation is needed"},
      {"rename a b", 2, "unknown operation"},
      {"add " + copy("blink.hex"), 2, "A HEX or BIN file needs -t MODEL."},
      {"add -t QB99 x.bin", 2, "Unknown model \"QB99\""},
      {"add -t QB51F16 --user-code 12x x.bin", 2, "Invalid user code."},
      {"add -t QB51F16 --user-code 4294967296 x.bin", 2, "Invalid user code."},
      {"delete --json x", 2, "--json is taken by list only"},
      {"add -t QB51F16 " + empty, 1, "Tip: Please select a valid firmware."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CommandRun r = qubrix(c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
  }
  const CommandRun none = testsupport::runCommand(std::string("QUBRIX_EMULATE= ") + QUBRIX_BINARY + " store --lang en list");
  EXPECT_EQ(none.status, 1) << none.out;
  EXPECT_NE(none.out.find("Tip: Can't open the QUBRIX Tool."), std::string::npos) << none.out;
}

}  // namespace
