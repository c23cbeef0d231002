// `qubrix isp` as a user runs it, against emulated devices on pseudo-terminals.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/pty_host.hpp"
#include "tests/support/temp_home.hpp"

namespace ispenginetest {
namespace {

struct CliRun {
  int status;
  std::string out;
};

CliRun qubrix(const std::string& args) {
  const std::string command = std::string(QUBRIX_BINARY) + " isp --lang en " + args + " 2>&1";
  CliRun r{-1, {}};
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) r.out += buf;
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class Cli : public ::testing::Test {
 protected:
  testsupport::TempHome home;
  const std::string hex = std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex";
};

emulator::serial::ChipConfig qb54t16() {
  emulator::serial::ChipConfig c;
  c.familyType = 0x100;
  c.modelId = 0x5305;
  return c;
}

TEST_F(Cli, ProgramsAndChecksAndExitsZero) {
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(qb54t16()));
  ASSERT_TRUE(host.start());
  CliRun r = qubrix("--port " + host.path() + " -t QB54T16 --upgrade-baud 921600 " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("--> Verification successful."), std::string::npos) << r.out;
  r = qubrix("--port " + host.path() + " -t QB54T16 --check " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(Cli, AStalledRunEndsWithItsLineAndExitsNonZero) {
  emulator::serial::ChipFaults faults;
  faults.silent = true;
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(qb54t16(), faults));
  ASSERT_TRUE(host.start());
  const CliRun r = qubrix("--port " + host.path() + " -t QB54T16 --stall-timeout 1 " + hex);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("--> No answer for 1 s: the operation is given up.\n--> Stop upgrading!"), std::string::npos) << r.out;
}

TEST_F(Cli, AFailureReplyExitsNonZero) {
  emulator::serial::DownloaderConfig config;
  config.chip = qb54t16();
  emulator::serial::DownloaderFaults faults;
  faults.writeError = true;
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::SerialDownloader>(config, faults));
  ASSERT_TRUE(host.start());
  const CliRun r = qubrix("--port " + host.path() + " -t QB54T16 " + hex);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("--> An error occurred when writing to the target chip. Please try again!"), std::string::npos) << r.out;
}

TEST_F(Cli, QueryVersionPrintsTheToolsVersion) {
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::SerialDownloader>());
  ASSERT_TRUE(host.start());
  const CliRun r = qubrix("--port " + host.path() + " --query-version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "v51.60\n");
}

TEST_F(Cli, UsageErrorsExitTwo) {
  EXPECT_EQ(qubrix("-t QB54T16 " + hex).status, 2);
  EXPECT_EQ(qubrix("--port /dev/null -t NOSUCHCHIP " + hex).status, 2);
  EXPECT_EQ(qubrix("--port /dev/null -t QB54T16").status, 2);
  EXPECT_EQ(qubrix("--port /dev/null -t QB54T16 --stall-timeout 0 " + hex).status, 2);
  // A path that is no serial port: the run does not start.
  const CliRun r = qubrix("--port /dev/null -t QB54T16 " + hex);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Failed to open the serial port."), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ispenginetest
