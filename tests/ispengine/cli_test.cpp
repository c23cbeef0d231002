// `qubrix isp` as a user runs it, against emulated devices on pseudo-terminals.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/texts.hpp"

#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/pty_host.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

extern char** environ;

namespace ispenginetest {
namespace {

using CliRun = testsupport::CommandRun;

CliRun qubrix(const std::string& args) {
  return testsupport::runCommand(std::string(QUBRIX_BINARY) + " isp --lang en " + args);
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

TEST_F(Cli, AProductionFileProgramsItsOwnModelAndRefusesAnother) {
  const std::string cap = (home.path() / "blink.cap").string();
  const CliRun pack = testsupport::runCommand(std::string(QUBRIX_BINARY) + " pack --lang en --cap -t QB54T16 -o " + cap +
                                              " " + hex);
  ASSERT_EQ(pack.status, 0) << pack.out;
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(qb54t16()));
  ASSERT_TRUE(host.start());
  CliRun r = qubrix("--port " + host.path() + " " + cap);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("--> Verification successful."), std::string::npos) << r.out;
  r = qubrix("--port " + host.path() + " -t QB51F16 " + cap);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.out.find("is a production file for QB54T16; it cannot be used for QB51F16."), std::string::npos) << r.out;
}

TEST_F(Cli, ProgramsAndChecksPastAStrayByteAndRepeatedSyncAnswers) {
  for (const char* fault : {"fault=stray-byte:5", "fault=answer-every-sync"}) {
    std::string error;
    const auto spec = emulator::serial::parseDeviceSpec({"bootloader", "family=K7A1", "model=0x5305", fault}, error);
    ASSERT_TRUE(spec) << error;
    emulator::serial::PtyHost host(emulator::serial::makeDevice(*spec));
    ASSERT_TRUE(host.start());
    CliRun r = qubrix("--port " + host.path() + " -t QB54T16 --upgrade-baud 921600 --stall-timeout 5 " + hex);
    EXPECT_EQ(r.status, 0) << fault << r.out;
    EXPECT_NE(r.out.find("--> Verification successful."), std::string::npos) << r.out;
    r = qubrix("--port " + host.path() + " -t QB54T16 --check --stall-timeout 5 " + hex);
    EXPECT_EQ(r.status, 0) << fault << r.out;
  }
}

TEST_F(Cli, JsonIsOneObjectWithTheRunsResult) {
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(qb54t16()));
  ASSERT_TRUE(host.start());
  const CliRun r = qubrix("--json --port " + host.path() + " -t QB54T16 " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("{\"verb\": \"isp\", \"model\": \"QB54T16\", \"file\": \"" + hex + "\", \"port\": \"" +
                            host.path() + "\", \"result\": \"success\", \"exitStatus\": 0, \"checksum\": \"003FF2C2\", \"size\": 100",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("{\"text\": \"--> Verification successful.\", \"error\": false}"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
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

struct FailureCase {
  const char* what;
  const char* device;  // the words qubrix-emulator takes
  int textId;          // the line the run must end with before the exit
};

class CliFailure : public Cli, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CliFailure, EndsWithItsTextAndExitsNonZero) {
  const FailureCase& c = GetParam();
  std::string error;
  std::vector<std::string> words;
  for (std::istringstream in(c.device); in;) {
    std::string w;
    if (in >> w) words.push_back(w);
  }
  const auto spec = emulator::serial::parseDeviceSpec(words, error);
  ASSERT_TRUE(spec) << error;
  emulator::serial::PtyHost host(emulator::serial::makeDevice(*spec));
  ASSERT_TRUE(host.start());
  const CliRun r = qubrix("--port " + host.path() + " -t QB54T16 " + hex);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(base::textIn(1033, c.textId)), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Replies, CliFailure, ::testing::Values(
    FailureCase{"chipOfAnotherModel", "bootloader family=K7A1 model=0x5305 fault=model-mismatch", 289},
    FailureCase{"noTarget", "downloader family=K7A1 model=0x5305 fault=no-target", 188},
    FailureCase{"targetOfAnotherModel", "downloader family=K7A1 model=0x5305 fault=model-mismatch", 191},
    FailureCase{"writeError", "downloader family=K7A1 model=0x5305 fault=write-error", 282},
    FailureCase{"powerNotOff", "downloader family=K7A1 model=0x5305 fault=power-not-off", 284},
    FailureCase{"limit", "downloader family=K7A1 model=0x5305 fault=limit", 310},
    FailureCase{"toolId", "downloader family=K7A1 model=0x5305 fault=tool-id", 311}),
    [](const auto& p) { return std::string(p.param.what); });

// The emulator program as a user starts it: it prints the port's path, and qubrix isp programs and
// checks the device there; SIGTERM ends it and takes the port out of the list.
TEST_F(Cli, TheEmulatorProgramServesADeviceUntilTerminated) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> argvText{QUBRIX_EMULATOR_BINARY, "serial", "downloader", "family=K7A1", "model=0x5305"};
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  FILE* lines = ::fdopen(out[0], "r");
  char first[256] = {};
  ASSERT_NE(std::fgets(first, sizeof first, lines), nullptr);
  const std::string path(first, std::strcspn(first, "\t\n"));
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << first;

  EXPECT_EQ(qubrix("--port " + path + " -t QB54T16 " + hex).status, 0);
  EXPECT_EQ(qubrix("--port " + path + " -t QB54T16 --check " + hex).status, 0);

  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::fclose(lines);
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
