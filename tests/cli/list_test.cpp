// qubrix list against the emulated bench, and without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "emulator/programmer/bench.hpp"
#include "tests/support/temp_home.hpp"

namespace cli {
int runList(const std::vector<std::string>& args);
}

namespace {

std::string list(const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(cli::runList(args), 0);
  return testing::internal::GetCapturedStdout();
}

TEST(QubrixList, ShowsTheEmulatedProgrammerOnlyWhenAsked) {
  testsupport::TempHome home;
  qx::setHardwareEnumeration(false);
  unsetenv("QUBRIX_EMULATE");
  emulator::programmer::attachBenchFromEnvironment();
  EXPECT_EQ(list({"--lang", "en"}), "No QUBRIX Tool programmer is attached.\n");
  EXPECT_EQ(list({"--json"}), "[]\n");

  setenv("QUBRIX_EMULATE", "1", 1);
  ASSERT_TRUE(emulator::programmer::attachBenchFromEnvironment());
  EXPECT_EQ(list({"--lang", "en"}), "QUBRIX Tool  SN: 1A2B3C4D  v1.0.2.8  application\n");
  EXPECT_EQ(list({"--json"}),
            "[\n  {\"product\": \"QUBRIX Tool\", \"serial\": \"439041101\", \"sn\": \"SN: 1A2B3C4D\", "
            "\"version\": \"1.0.2.8\", \"mode\": \"application\"}\n]\n");
  unsetenv("QUBRIX_EMULATE");
  base::setThreadLanguage(base::kLangChinese);
  qx::setHardwareEnumeration(true);
}

}  // namespace
