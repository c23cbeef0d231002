// qubrix writer download, run as a process against the emulated Writer: success only with
// "Programming successful.", the refusals, and a Writer that fails mid-way.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "emulator/writer/bench.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace {

namespace fs = std::filesystem;

class WriterCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::makeTempDir("qx_writer_cli");
    fs::copy_file(fs::path(QUBRIX_EXAMPLES_DIR) / "blink.hex", dir_ / "blink.hex");
  }
  void TearDown() override { fs::remove_all(dir_); }
  testsupport::CommandRun writer(const std::string& arguments, bool emulated = true) const {
    return testsupport::runCommand(std::string(emulated ? "QUBRIX_EMULATE=1 " : "env -u QUBRIX_EMULATE ") + "'" +
                                   QUBRIX_BINARY + "' writer download '" + (dir_ / "blink.hex").string() + "' " +
                                   arguments + " --lang en");
  }
  static void configure(const std::string& key, const std::string& value) {
    emulator::writer::WriterConfig c = emulator::writer::loadBenchWriterConfig();
    std::string error;
    ASSERT_TRUE(emulator::writer::setWriterConfigValue(c, key, value, error)) << error;
    c.paced = false;
    c.rounds = 0;
    ASSERT_TRUE(emulator::writer::saveBenchWriterConfig(c));
  }

  testsupport::TempHome home_;
  fs::path dir_;
};

TEST_F(WriterCli, DownloadEndsWithProgrammingSuccessful) {
  const auto run = writer("-t QB51F16 --limit 100");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("--> USB connection successful!\n--> Upgrade begins."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--> Verification successful.\n--> Programming successful.\n"), std::string::npos) << run.out;
}

TEST_F(WriterCli, RefusalsEndWithoutSending) {
  const struct {
    const char* options;
    bool emulated;
    int status;
    const char* text;
  } cases[] = {
      {"-t QB51F16 --key 0123456789abcde", true, 1, "[Tip] Please enter a 16-character key."},
      {"-t QB51F16 --limit 0", true, 1, "[Tip] Please set the maximum number of programming attempts."},
      {"-t QB51F16 --user-code 0", true, 1,
       "[Tip] Please set the user roll code starting address, ranging from 1 to 999999999."},
      {"-t QB51F16 --writer-id 1234567", true, 1, "[Tip] Please set the 32-bit Writer ID."},
      {"-t QB51F16 --user-code 4293967296", true, 2, "Out of range, value range [0~4293967295]."},
      {"-t QB51F16", false, 1, "[Tip] Please connect the Writer!"},
  };
  for (const auto& c : cases) {
    const auto run = writer(c.options, c.emulated);
    EXPECT_EQ(run.status, c.status) << c.options << "\n" << run.out;
    EXPECT_NE(run.out.find(c.text), std::string::npos) << c.options << "\n" << run.out;
    EXPECT_EQ(run.out.find("Upgrade begins."), std::string::npos) << c.options;
  }
}

TEST_F(WriterCli, AWrongCheckCodeFailsWithItsLine) {
  configure("check-code", "wrong");
  const auto run = writer("-t QB51F16");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("does not match the file's checksum"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Programming successful."), std::string::npos);
}

TEST_F(WriterCli, AWriterUnpluggedMidDownloadFails) {
  configure("unplug-after", "30");
  const auto run = writer("-t QB51F16");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("the download was abandoned."), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Programming successful."), std::string::npos);
}

TEST_F(WriterCli, ASignalMidDownloadCancelsItAndExitsWithTheSignal) {
  emulator::writer::WriterConfig c = emulator::writer::loadBenchWriterConfig();
  c.paced = true;  // at a real Writer's pace, so that the signal finds the download under way
  c.rounds = 0;
  ASSERT_TRUE(emulator::writer::saveBenchWriterConfig(c));
  const auto run = testsupport::runSignalled(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_BINARY + " writer download " +
                                                 (dir_ / "blink.hex").string() + " -t QB51F16 --lang en",
                                             "--> Upgrade begins.", SIGTERM);
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.out;
  EXPECT_NE(run.out.find("--> SIGTERM received: the job is cancelled."), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Programming successful."), std::string::npos) << run.out;
}

}  // namespace
