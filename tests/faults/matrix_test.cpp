// The fault matrix over the built programs: each USB verb against the emulated programmer with one
// fault chosen through qubrix-emulator --set fault=..., or cancelled by a signal mid-run. Every
// cell asserts the system's line, a non-zero exit, no success line, and afterwards the emulated
// target unpowered (qubrix-emulator --show) and the programmer free for the next process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

extern char** environ;

namespace {

using testsupport::runCommand;

enum class Verb { Program, Verify, Erase, Power };

struct Cell {
  const char* name;  // the test's name; a cell that cannot hold says why here
  Verb verb;
  const char* fault;  // for qubrix-emulator --set fault=; empty: a signal instead
  int signal = 0;
  const char* line = "";  // the system's line the run must show
  // The fault keeps the target from being switched off: the run must say so, and it stays powered.
  bool leftPowered = false;
};

// Lines that only a successful run shows.
const char* const kSuccessLines[] = {"--> Programming successful.", "Programming completed", "Verification successful",
                                     "The target is powered on.", "The target is powered off.", "Erase successful"};

std::string verbArgs(Verb verb, const std::string& file) {
  switch (verb) {
    case Verb::Program:
      return "program --lang en -t QB51F32 " + file;
    case Verb::Verify:
      return "verify --lang en -t QB51F32 " + file;
    case Verb::Erase:
      return "erase --lang en -t QB51F32";
    case Verb::Power:
      break;
  }
  return "power --lang en";
}

// A line of the run's progress that shows it is under way, for the signal cells.
const char* underWay(Verb verb) {
  switch (verb) {
    case Verb::Program:
      return "Programming:  ";
    case Verb::Verify:
      return "Verifying:  ";
    case Verb::Erase:
    case Verb::Power:
      break;
  }
  return "--> Connected to the target chip.";
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Matrix : public ::testing::TestWithParam<Cell> {
 protected:
  void SetUp() override {
    file_ = home_.path() / "image.bin";
    std::ofstream out(file_, std::ios::binary);
    for (int i = 0; i < 30000; ++i) out.put(static_cast<char>(i * 7 + i / 256));
  }

  testsupport::CommandRun qubrix(const std::string& args) {
    return runCommand(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_BINARY + " " + args);
  }
  testsupport::CommandRun emulator(const std::string& args) { return runCommand(std::string(QUBRIX_EMULATOR_BINARY) + " " + args); }

  // Starts qubrix, waits until the run is under way, calls `meanwhile` with its process id, sends
  // the signal (none: 0) and gives what it printed.
  testsupport::CommandRun signalled(const std::string& args, const char* marker, int sig,
                                    const std::function<void(pid_t)>& meanwhile = {}) {
    const auto output = home_.path() / "run.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string command = std::string("QUBRIX_EMULATE=1 exec ") + QUBRIX_BINARY + " " + args;
    std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                               nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // A generous bound: the run shows its progress within a second on an idle machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (readFile(output).find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (meanwhile) meanwhile(pid);
    if (sig != 0) kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(output)};
  }

  testsupport::TempHome home_;
  std::filesystem::path file_;
};

TEST_P(Matrix, FailsWithItsLineAndLeavesTheTargetUnpoweredAndTheProgrammerFree) {
  const Cell& c = GetParam();
  // The device's pace only matters while a signal cell must catch its run under way.
  ASSERT_EQ(emulator("--set delays=off").status, 0);
  if (c.verb == Verb::Verify) {
    // Something to verify: the chip programmed with the file first.
    const auto r = qubrix(verbArgs(Verb::Program, file_.string()));
    ASSERT_EQ(r.status, 0) << r.out;
  }
  if (c.verb == Verb::Power) {
    // Power toggles: from a powered target, the switch the fault hits is a power-off.
    ASSERT_EQ(qubrix("power --lang en").status, 0);
  }
  ASSERT_EQ(emulator(c.signal == 0 ? std::string("--set fault=") + c.fault : std::string("--set delays=on")).status, 0);

  const auto r = c.signal == 0 ? qubrix(verbArgs(c.verb, file_.string()))
                               : signalled(verbArgs(c.verb, file_.string()), underWay(c.verb), c.signal);
  EXPECT_NE(r.status, 0) << r.out;
  if (c.signal != 0) {
    EXPECT_EQ(r.status, 128 + c.signal) << r.out;
  }
  EXPECT_NE(r.out.find(c.line), std::string::npos) << "expected \"" << c.line << "\" in\n" << r.out;
  for (const char* success : kSuccessLines) EXPECT_EQ(r.out.find(success), std::string::npos) << success << "\n" << r.out;

  ASSERT_EQ(emulator("--set fault=none").status, 0);
  const auto shown = emulator("--show");
  EXPECT_NE(shown.out.find(c.leftPowered ? "target powered" : "target unpowered"), std::string::npos) << shown.out;
  // The programmer was closed and its lock released: the next process gets it (power reads it first).
  const auto next = qubrix("power --lang en");
  EXPECT_EQ(next.status, 0) << next.out;
  EXPECT_EQ(next.out.find("is in use by process"), std::string::npos) << next.out;
}

TEST_F(Matrix, ASecondProcessIsRefusedTheProgrammerAndToldWhoHoldsIt) {
  ASSERT_EQ(emulator("--set delays=on").status, 0);
  testsupport::CommandRun second;
  pid_t holder = 0;
  const auto first = signalled(verbArgs(Verb::Program, file_.string()), underWay(Verb::Program), 0, [&](pid_t pid) {
    holder = pid;
    second = qubrix("power --lang en");
  });
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("--> Programming successful."), std::string::npos) << first.out;
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_NE(second.out.find("--> The QUBRIX Tool 439041101 is in use by process " + std::to_string(holder) + " ("),
            std::string::npos)
      << second.out;
  EXPECT_EQ(second.out.find("The target is powered"), std::string::npos) << second.out;
}

constexpr const char* kTimeout = "--> Data reading timeout.";
constexpr const char* kGone = "--> The device is no longer connected.";

// ID_WriteCache (0F) carries the program, ID_VerifyTgtFlash (0D) the verification, ID_TargetPower
// (11) the power switch; the erase verb's own command (0B) waits 8 s three times, so its silence
// cells hit the first exchange (the identification) instead.
const Cell kCells[] = {
    {"program_silence", Verb::Program, "silence@0F", 0, kTimeout},
    {"program_wrong_id", Verb::Program, "wrong-id:99@0F", 0, "--> Programming failed."},
    {"program_status_failed", Verb::Program, "status:1@0F", 0, "--> Programming failed."},
    {"program_status_out_of_range", Verb::Program, "status:11@0F", 0, "--> Programming failed."},
    {"program_status_not_connected", Verb::Program, "status:6@0C", 0, "--> Programming failed."},
    {"program_reply_lost", Verb::Program, "lost@0F", 0, kTimeout},
    {"program_late_reply", Verb::Program, "late@0F", 0, "--> Programming failed."},
    {"program_unplug_at_10_percent", Verb::Program, "unplug-after:40", 0, kGone},
    {"program_unplug_at_50_percent", Verb::Program, "unplug-after:110", 0, kGone},
    {"program_unplug_at_90_percent", Verb::Program, "unplug-after:180", 0, kGone},
    {"program_ctrl_c", Verb::Program, "", SIGINT, "The user cancels programming."},
    {"program_sigterm", Verb::Program, "", SIGTERM, "The user cancels programming."},
    {"program_sighup", Verb::Program, "", SIGHUP, "The user cancels programming."},
    {"verify_silence", Verb::Verify, "silence@0D", 0, kTimeout},
    {"verify_wrong_id", Verb::Verify, "wrong-id:99@0D", 0, "Verification failed"},
    {"verify_status_failed", Verb::Verify, "status:1@0D", 0, "Verification failed"},
    {"verify_reply_lost", Verb::Verify, "lost@0D", 0, kTimeout},
    {"verify_late_reply", Verb::Verify, "late@0D", 0, "Verification failed"},
    {"verify_unplug_at_10_percent", Verb::Verify, "unplug-after:25", 0, kGone},
    {"verify_unplug_at_50_percent", Verb::Verify, "unplug-after:60", 0, kGone},
    {"verify_unplug_at_90_percent", Verb::Verify, "unplug-after:95", 0, kGone},
    {"verify_ctrl_c", Verb::Verify, "", SIGINT, "The user cancels the verification."},
    {"verify_sigterm", Verb::Verify, "", SIGTERM, "The user cancels the verification."},
    {"erase_silence_at_identification", Verb::Erase, "silence", 0, "--> Failed to open the QUBRIX Tool."},
    {"erase_status_failed", Verb::Erase, "status:1@0B", 0, "--> Failed to erase the target Flash."},
    {"erase_unplug_during_the_erase", Verb::Erase, "unplug-on-erase", 0, kGone},
    {"power_silence_leaves_the_target_powered_as_no_switch_is_heard", Verb::Power, "silence@11*all", 0, kTimeout, true},
    {"power_wrong_id_leaves_the_target_powered_as_no_switch_is_answered", Verb::Power, "wrong-id:99@11*all", 0,
     "--> expected ID_TargetPower", true},
    {"power_status_failed_leaves_the_target_powered_as_the_switch_is_refused", Verb::Power, "status:1@11*all", 0,
     "--> Power-off failed.", true},
    {"power_unplug_at_the_switch", Verb::Power, "unplug-after:3", 0, kGone},
};

INSTANTIATE_TEST_SUITE_P(Usb, Matrix, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell>& cell) { return std::string(cell.param.name); });

}  // namespace
