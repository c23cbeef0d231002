// The fault matrix over the built programs: each USB verb against the emulated programmer with one
// fault chosen through qubrix-emulator --set fault=..., or cancelled by a signal mid-run. Every
// cell asserts the system's line, a non-zero exit, no success line, and afterwards the emulated
// target unpowered (qubrix-emulator --show) and the programmer free for the next process. The
// serial rows run qubrix isp against each serial device of qubrix-emulator serial with one fault;
// the downloaders, which power a target board, must leave it unpowered. The touch link's cells run
// `qubrix touch --port` against `qubrix-emulator serial touchboard fault=...`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/read_file.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

extern char** environ;

namespace {

using testsupport::runCommand;

enum class Verb { Program, Verify, Erase, Power };

struct Cell {
  const char* name;  // the test's name; a cell that cannot hold says why here
  Verb verb;
  const char* fault;  // for qubrix-emulator --set fault=; with a signal: what holds the run for it
  int signal = 0;
  const char* line = "";  // the system's line the run must show
  // The fault keeps the target from being switched off: the run must say so, and it stays powered.
  bool leftPowered = false;
};
// gtest names a cell by its name instead of dumping its bytes.
void PrintTo(const Cell& c, std::ostream* os) { *os << c.name; }

// Lines that only a successful run shows.
const char* const kSuccessLines[] = {"--> Programming successful.", "Programming completed", "Verification successful",
                                     "The target is powered on.", "The target is powered off.", "--> Erased successfully!"};

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

// A line of the run's progress that shows it is under way, for the signal cells; the power switch
// says nothing before it acts, so its cells wait for the run to reach its held state query.
const char* underWay(Verb verb) {
  switch (verb) {
    case Verb::Program:
      return "Programming:  ";
    case Verb::Verify:
      return "Verifying:  ";
    case Verb::Erase:
      return "--> Connected to the target chip.";
    case Verb::Power:
      break;
  }
  return "";
}

void writeImage(const std::filesystem::path& path, int size) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + i / 256));
}

// The built programs in a home of their own.
class Bench : public ::testing::Test {
 protected:
  testsupport::CommandRun qubrix(const std::string& args) {
    return runCommand(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_BINARY + " " + args);
  }
  testsupport::CommandRun emulator(const std::string& args) { return runCommand(std::string(QUBRIX_EMULATOR_BINARY) + " " + args); }

  // qubrix, signalled once the run is under way.
  testsupport::CommandRun signalled(const std::string& args, const char* marker, int sig,
                                    const std::function<void(pid_t)>& meanwhile = {}) {
    return testsupport::runSignalled(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_BINARY + " " + args, marker, sig, meanwhile);
  }

  testsupport::TempHome home_;
};

class Matrix : public Bench, public ::testing::WithParamInterface<Cell> {
 protected:
  void SetUp() override {
    file_ = home_.path() / "image.bin";
    writeImage(file_, 30000);
  }

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
  if (c.verb == Verb::Power && c.signal == 0) {
    // Power toggles: from a powered target, the switch the fault hits is a power-off.
    ASSERT_EQ(qubrix("power --lang en").status, 0);
  }
  if (c.signal != 0) {
    ASSERT_EQ(emulator("--set delays=on").status, 0);
  }
  if (*c.fault != '\0') {
    ASSERT_EQ(emulator(std::string("--set fault=") + c.fault).status, 0);
  }

  const char* marker = underWay(c.verb);
  const auto holdOn = [](pid_t) { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
  const auto r = c.signal == 0 ? qubrix(verbArgs(c.verb, file_.string()))
                               : signalled(verbArgs(c.verb, file_.string()), marker, c.signal,
                                           *marker == '\0' ? std::function<void(pid_t)>(holdOn) : nullptr);
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
  // Whatever the second process would do with the programmer: a job, the store, a touch session.
  struct Second {
    const char* args;
    const char* prefix;
    const char* untouched;
  } seconds[] = {
      {"power --lang en", "--> ", "The target is powered"},
      {"store list --lang en", "Tip: ", "The programmer stores"},
      {"touch --duration 1 --lang en", "--> ", "Target voltage"},
  };
  for (const Second& c : seconds) {
    testsupport::CommandRun second;
    pid_t holder = 0;
    const auto first = signalled(verbArgs(Verb::Program, file_.string()), underWay(Verb::Program), 0, [&](pid_t pid) {
      holder = pid;
      second = qubrix(c.args);
    });
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("--> Programming successful."), std::string::npos) << first.out;
    EXPECT_EQ(second.status, 1) << c.args << "\n" << second.out;
    EXPECT_NE(second.out.find(std::string(c.prefix) + "The QUBRIX Tool 439041101 is in use by process " +
                              std::to_string(holder) + " ("),
              std::string::npos)
        << c.args << "\n" << second.out;
    EXPECT_EQ(second.out.find(c.untouched), std::string::npos) << c.args << "\n" << second.out;
  }
}

TEST_F(Matrix, AStoreAddCancelledBySigtermRemovesItsHalfWrittenProgram) {
  ASSERT_EQ(emulator("--set delays=on").status, 0);
  const auto r = signalled("store add --lang en -t QB51F32 " + file_.string(), "Adding", SIGTERM);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.out;
  EXPECT_NE(r.out.find("The operation has been cancelled by the user!"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("The firmware was added successfully."), std::string::npos) << r.out;
  const auto shown = emulator("--show");
  EXPECT_NE(shown.out.find("0 stored firmwares"), std::string::npos) << shown.out;
  EXPECT_EQ(qubrix("store list --lang en").status, 0);
}

TEST_F(Matrix, ProgramAllCancelledBySigtermLeavesTheTargetUnpowered) {
  ASSERT_EQ(emulator("--set delays=on").status, 0);
  // "##": a programmer's row has passed ten percent.
  const auto r = signalled("program --all --lang en -t QB51F32 " + file_.string(), "##", SIGTERM);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.out;
  EXPECT_NE(r.out.find("  cancelled "), std::string::npos) << r.out;
  const auto shown = emulator("--show");
  EXPECT_NE(shown.out.find("target unpowered"), std::string::npos) << shown.out;
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
    {"program_status_invalid_operation", Verb::Program, "status:2@0F", 0, "--> Invalid operation."},
    {"program_status_target_powered", Verb::Program, "status:3@08", 0, "--> The target is not a power-off state."},
    {"program_status_unknown_model", Verb::Program, "status:4@08", 0, "--> Unknown MCU model."},
    {"program_status_cannot_connect", Verb::Program, "status:5@08", 0, "--> Unable to connect to the target."},
    {"program_status_model_mismatch", Verb::Program, "status:7@08", 0, "--> Model mismatch."},
    {"program_status_flash_unreadable", Verb::Program, "status:8@0D", 0, "--> The target Flash cannot be read."},
    {"program_status_flash_not_erased", Verb::Program, "status:9@0B", 0, "--> The target Flash cannot be erased."},
    {"program_status_flash_not_written", Verb::Program, "status:10@0C", 0, "--> The target Flash cannot be written."},
    {"program_status_verify_differs", Verb::Program, "status:12@0D", 0, "--> Programming failed."},
    {"program_status_verification_failed", Verb::Program, "status:18@0D", 0, "--> Verification failed."},
    {"program_status_overvoltage", Verb::Program, "status:19@08", 0, "--> Overvoltage."},
    {"program_status_overcurrent", Verb::Program, "status:20@08", 0, "--> Overcurrent."},
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
    {"verify_sighup", Verb::Verify, "", SIGHUP, "The user cancels the verification."},
    {"erase_silence_at_identification", Verb::Erase, "silence", 0, "--> Failed to open the QUBRIX Tool."},
    {"erase_wrong_id", Verb::Erase, "wrong-id:99@0B", 0, "--> Failed to erase the target Flash."},
    {"erase_status_failed", Verb::Erase, "status:1@0B", 0, "--> Failed to erase the target Flash."},
    {"erase_unplug_during_the_erase", Verb::Erase, "unplug-on-erase", 0, kGone},
    // The erase's own reply is waited for 24 s: the connect's (15 s) and the voltage query's are
    // the ones lost or late here.
    {"erase_reply_lost_at_the_connect", Verb::Erase, "lost@08", 0, "--> Failed to connect to the target mcu."},
    {"erase_late_reply_at_the_voltage_query", Verb::Erase, "late@11", 0, "--> Failed to erase the target Flash."},
    // A whole-chip erase cannot stop half-way: the signal comes while the voltage query is held,
    // before the erase is sent. The erase at 10/50/90 % is one command: its unplug is above.
    {"erase_ctrl_c_before_the_erase_command", Verb::Erase, "delay:1500@11", SIGINT, "--> SIGINT received: the job is cancelled."},
    {"erase_sigterm_before_the_erase_command", Verb::Erase, "delay:1500@11", SIGTERM, "--> SIGTERM received: the job is cancelled."},
    {"power_silence_leaves_the_target_powered_as_no_switch_is_heard", Verb::Power, "silence@11*all", 0, kTimeout, true},
    {"power_wrong_id_leaves_the_target_powered_as_no_switch_is_answered", Verb::Power, "wrong-id:99@11*all", 0,
     "--> expected ID_TargetPower", true},
    {"power_status_failed_leaves_the_target_powered_as_the_switch_is_refused", Verb::Power, "status:1@11*all", 0,
     "--> Power-off failed.", true},
    {"power_unplug_at_the_switch", Verb::Power, "unplug-after:3", 0, kGone},
    {"power_reply_lost_leaves_the_target_powered_as_the_state_query_goes_unanswered", Verb::Power, "lost@11", 0, kTimeout,
     true},
    {"power_late_reply_leaves_the_target_powered_as_the_state_query_goes_unanswered", Verb::Power, "late@11", 0, kTimeout,
     true},
    // From an unpowered target: the signal comes while the state query is held, and the switch-on
    // is never sent.
    {"power_ctrl_c_before_the_switch_on", Verb::Power, "delay:1500@11", SIGINT, "--> SIGINT received: the job is cancelled."},
    {"power_sigterm_before_the_switch_on", Verb::Power, "delay:1500@11", SIGTERM, "--> SIGTERM received: the job is cancelled."},
};

INSTANTIATE_TEST_SUITE_P(Usb, Matrix, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell>& cell) { return std::string(cell.param.name); });

// --- serial: qubrix isp against qubrix-emulator serial on a pseudo-terminal ---

enum class Serial { Bootloader, Downloader, W3x };

struct SerialDevice {
  const char* words;
  const char* model;
  int imageSize;
  const char* extra;     // options of qubrix isp besides the port, model and file
  const char* underWay;  // a line that shows the transfer is under way
  const char* success;   // the last line of a run that succeeded
  bool powersTarget;
};

SerialDevice serialDevice(Serial d) {
  switch (d) {
    case Serial::Bootloader:
      return {"bootloader family=K7A1 model=0x5305", "QB54T16", 8192, "--upgrade-baud 921600", "--> Programming...",
              "--> Verification successful.", false};
    case Serial::Downloader:
      return {"downloader family=K7A1 model=0x5305", "QB54T16", 8192, "", "--> Download the target file to the QUBRIX Tool...",
              "--> Programming completed! Time consumption", true};
    case Serial::W3x:
      break;
  }
  return {"downloader32 model=0x9039 name=QX32B128", "QX32B128", 20480, "", "--> Erased successfully!",
          "--> Time consumption", true};
}

// The request that carries the block `percent` of the way through the image, counted as the reply
// faults count (from the synchronisation on, without it): short frames send SetBaud, ConfirmBaud,
// ProgramStart and Erase first; the 32-bit path PowerCycleTarget, Identify and EraseApplication,
// and its first 4 KiB are never sent. `unplug-after` counts the 32-bit path's Sync as well.
std::size_t blockRequest(Serial d, int percent, bool countingSync = false) {
  const SerialDevice dev = serialDevice(d);
  if (d == Serial::W3x) {
    const int blocks = (dev.imageSize - 4096) / 512;
    return 4 + (countingSync ? 1 : 0) + static_cast<std::size_t>(blocks * percent / 100);
  }
  return 5 + static_cast<std::size_t>(dev.imageSize / 128 * percent / 100);
}

// The 32-bit path's VerifyRange: the reply that no timer asks for again.
std::size_t verifyRangeRequest() { return blockRequest(Serial::W3x, 100); }

struct SerialCell {
  std::string name;  // the test's name; a cell that cannot hold says why here
  Serial device;
  std::string fault;  // qubrix-emulator serial words
  int signal = 0;
  std::string line;
  bool survives = false;  // the host rides the fault out and the run succeeds
};
void PrintTo(const SerialCell& c, std::ostream* os) { *os << c.name; }

const char* const kSerialSuccessLines[] = {"Verification successful", "Programming completed! Time consumption",
                                           "The verification was successful", "结束升级"};
constexpr const char* kStalled = "--> No answer for 2 s: the operation is given up.";
constexpr const char* kStopped = "--> Stop upgrading!";

std::vector<SerialCell> serialCells() {
  std::vector<SerialCell> cells;
  for (Serial d : {Serial::Bootloader, Serial::Downloader, Serial::W3x}) {
    const std::string prefix = d == Serial::Bootloader ? "bootloader" : d == Serial::Downloader ? "downloader" : "w3x";
    const auto at = [&](int percent) { return std::to_string(blockRequest(d, percent)); };
    const bool w3x = d == Serial::W3x;
    cells.push_back({prefix + "_silence", d, "fault=silent", 0, kStalled});
    cells.push_back({prefix + "_noise_mid_run_survives_as_the_host_skips_bytes_that_start_no_reply", d,
                     "fault=noise-at:" + at(50), 0, "", true});
    // A block's acknowledgement of the 32-bit path that never arrives whole is answered by the
    // block's resend: its checksum reply is taken instead.
    cells.push_back({prefix + (w3x ? "_bad_checksum_on_the_checksum_reply_as_blocks_are_resent" : "_bad_checksum"), d,
                     "fault=bad-checksum:" + (w3x ? std::to_string(verifyRangeRequest()) : at(50)), 0, kStalled});
    cells.push_back({prefix + "_negative_acknowledgement_of_the_erase", d, "fault=nak-erase", 0,
                     w3x ? "--> Erase failed!" : "-->  擦除Flash失败!"});
    cells.push_back({prefix + (w3x ? "_dropped_checksum_reply_as_blocks_are_resent" : "_dropped_reply"), d,
                     "fault=drop-reply:" + (w3x ? std::to_string(verifyRangeRequest()) : at(50)), 0, kStalled});
    for (int percent : {10, 50, 90}) {
      cells.push_back({prefix + "_unplug_at_" + std::to_string(percent) + "_percent", d,
                       "fault=unplug-after:" + std::to_string(blockRequest(d, percent, true)), 0, kStopped});
    }
    // A lost reply holds the run (half-way, or at the 32-bit path's checksum) until the signal
    // comes, however loaded the machine.
    cells.push_back({prefix + "_sigterm", d, "fault=drop-reply:" + (w3x ? std::to_string(verifyRangeRequest()) : at(50)),
                     SIGTERM, "--> The operation has been cancelled by the user!"});
  }
  return cells;
}

class SerialMatrix : public Bench, public ::testing::WithParamInterface<SerialCell> {
 protected:
  // Starts qubrix-emulator serial and gives the port's path once it is served.
  std::string serve(const std::string& words) {
    emulatorOut_ = home_.path() / "emulator.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, emulatorOut_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string command = std::string("exec ") + QUBRIX_EMULATOR_BINARY + " serial " + words;
    std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                               nullptr};
    EXPECT_EQ(posix_spawn(&emulatorPid_, "/bin/sh", &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string out;
    while ((out = testsupport::readFile(emulatorOut_)).find('\t') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return out.substr(0, out.find('\t'));
  }

  // What the emulated tool last said about its target board, once it has said it is unpowered or
  // a generous time has passed (after a run given up, the tool ends the session by its own time-out).
  std::string lastPowerLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::string last;
    do {
      const std::string out = testsupport::readFile(emulatorOut_);
      const std::size_t at = out.rfind("target ");
      last = at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
      if (last == "target unpowered") break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return last;
  }

  void TearDown() override {
    if (emulatorPid_ <= 0) return;
    kill(emulatorPid_, SIGTERM);
    int status = 0;
    waitpid(emulatorPid_, &status, 0);
  }

  std::filesystem::path emulatorOut_;
  pid_t emulatorPid_ = 0;
};

TEST_P(SerialMatrix, FailsWithItsLineAndLeavesTheTargetUnpowered) {
  const SerialCell& c = GetParam();
  const SerialDevice dev = serialDevice(c.device);
  const auto file = home_.path() / "image.bin";
  writeImage(file, dev.imageSize);
  const std::string port = serve(std::string(dev.words) + " " + c.fault);
  ASSERT_FALSE(port.empty()) << testsupport::readFile(emulatorOut_);
  // A signal cell waits for its signal; the others give up a silent line after 2 s.
  const std::string args = std::string("isp --lang en --port ") + port + " -t " + dev.model + " --stall-timeout " +
                           (c.signal != 0 ? "60 " : "2 ") + dev.extra + " " + file.string();

  const auto r = c.signal == 0 ? qubrix(args) : signalled(args, dev.underWay, c.signal);
  if (c.survives) {
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(dev.success), std::string::npos) << r.out;
  } else {
    EXPECT_NE(r.status, 0) << r.out;
    if (c.signal != 0) {
      EXPECT_EQ(r.status, 128 + c.signal) << r.out;
    }
    EXPECT_NE(r.out.find(c.line), std::string::npos) << "expected \"" << c.line << "\" in\n" << r.out;
    for (const char* success : kSerialSuccessLines) EXPECT_EQ(r.out.find(success), std::string::npos) << success << "\n" << r.out;
  }
  if (dev.powersTarget) {
    EXPECT_EQ(lastPowerLine(), "target unpowered") << testsupport::readFile(emulatorOut_);
  } else {
    EXPECT_EQ(testsupport::readFile(emulatorOut_).find("target powered"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Serial, SerialMatrix, ::testing::ValuesIn(serialCells()),
                         [](const ::testing::TestParamInfo<SerialCell>& cell) { return cell.param.name; });

// `qubrix-emulator serial WORDS...` as a user starts it, serving until the cell is over.
class ServedDevice {
 public:
  explicit ServedDevice(std::vector<std::string> words) {
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    words.insert(words.begin(), {QUBRIX_EMULATOR_BINARY, "serial"});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    lines_ = ::fdopen(out[0], "r");
    char first[256] = {};
    if (pid_ != 0 && std::fgets(first, sizeof first, lines_) != nullptr) path_.assign(first, std::strcspn(first, "\t\n"));
  }
  ~ServedDevice() {
    if (pid_ != 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (lines_ != nullptr) std::fclose(lines_);
  }
  ServedDevice(const ServedDevice&) = delete;
  ServedDevice& operator=(const ServedDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = 0;
  FILE* lines_ = nullptr;
  std::string path_;
};

struct TouchCell {
  const char* name;
  const char* fault;
  int status;        // the run's exit status
  const char* line;  // a line the run must show
};
void PrintTo(const TouchCell& c, std::ostream* os) { *os << c.name; }

class TouchMatrix : public ::testing::TestWithParam<TouchCell> {};

TEST_P(TouchMatrix, EndsWithItsLineAndExitStatus) {
  const TouchCell& c = GetParam();
  ServedDevice board({"touchboard", "channels=8", std::string("fault=") + c.fault});
  ASSERT_EQ(board.path().rfind("/dev/pts/", 0), 0u);
  const auto r = runCommand(std::string(QUBRIX_BINARY) + " touch --lang en --port " + board.path() + " --duration 2");
  EXPECT_EQ(r.status, c.status) << r.out;
  EXPECT_NE(r.out.find(c.line), std::string::npos) << "expected \"" << c.line << "\" in\n" << r.out;
  // Frames that broke the rules never reach the samples: every difference is baseline - current.
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned ms = 0, channel = 0, current = 0, baseline = 0, threshold = 0;
    int difference = 0;
    if (std::sscanf(line.c_str(), "%u ms TP%u current %u baseline %u differ %d threshold %u", &ms, &channel, &current, &baseline,
                    &difference, &threshold) == 6) {
      EXPECT_LT(channel, 8u) << line;
      EXPECT_EQ(difference, static_cast<int>(baseline) - static_cast<int>(current)) << line;
    }
  }
}

constexpr const char* kStreaming = "--> The target chip has been connected and data is being read...";

const TouchCell kTouchCells[] = {
    {"no_acknowledgement", "no-ack", 1, "qubrix touch: no touch debugging board answered on"},
    {"chip_refused", "chip-refused", 1,
     "--> The target chip cannot be connected. Please check the hardware connection or application software Settings!"},
    {"bad_checksum_every_third_frame", "bad-checksum:3", 0, kStreaming},
    {"noise_before_every_second_frame", "noise:2", 0, kStreaming},
    {"oversize_frame_before_every_second_frame", "oversize:2", 0, kStreaming},
    {"unplug_after_30_frames", "unplug-after:30", 1, "--> The connection has been disconnected and the serial port is closed!"},
};

INSTANTIATE_TEST_SUITE_P(TouchSerial, TouchMatrix, ::testing::ValuesIn(kTouchCells),
                         [](const ::testing::TestParamInfo<TouchCell>& cell) { return std::string(cell.param.name); });

// A kill or a closed terminal ends a touch stream as Ctrl+C does: the board's target is power-cycled,
// the port closed, and the board is free for the next run.
TEST(TouchSignals, SigtermOrSighupEndsTheStreamWithTheLinkClosed) {
  ServedDevice board({"touchboard", "channels=8"});
  for (int sig : {SIGTERM, SIGHUP}) {
    const auto r = testsupport::runSignalled(std::string(QUBRIX_BINARY) + " touch --lang en --port " + board.path(), kStreaming, sig);
    EXPECT_EQ(r.status, 128 + sig) << r.out;
    EXPECT_NE(r.out.find("--> Exiting the connection..."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--> The connection has been disconnected and the serial port is closed!"), std::string::npos) << r.out;
  }
  const auto next = runCommand(std::string(QUBRIX_BINARY) + " touch --lang en --port " + board.path() + " --duration 0.5");
  EXPECT_EQ(next.status, 0) << next.out;
  EXPECT_NE(next.out.find(kStreaming), std::string::npos) << next.out;
}

}  // namespace
