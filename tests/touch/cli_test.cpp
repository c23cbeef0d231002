// qubrix touch against the emulated programmer: the sample stream, a threshold that sticks on the
// target from one run to the next, the export, and the lines of a programmer that is not there;
// the same stream, a threshold set and the export with --port from the emulated touch board on a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/touch_board.hpp"
#include "tests/support/read_file.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace {

using testsupport::runCommand;

// The rows of `qubrix touch --csv` counted per channel, each checked for its difference and, where
// the target's keys follow its thresholds, its key flag.
void readCsvSamples(const std::string& out, bool keyFollowsThreshold, std::map<int, int>& perChannel) {
  std::istringstream lines(out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "time_ms,channel,current,baseline,difference,threshold,key");
  while (std::getline(lines, line)) {
    int ms = 0, channel = 0, current = 0, baseline = 0, difference = 0, threshold = 0, key = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%d,%d", &ms, &channel, &current, &baseline, &difference, &threshold, &key), 7)
        << line;
    EXPECT_EQ(difference, baseline - current) << line;
    if (keyFollowsThreshold) {
      EXPECT_EQ(key == 1, difference > threshold) << line;
    }
    ++perChannel[channel];
  }
}

class TouchCli : public ::testing::Test {
 protected:
  testsupport::CommandRun qubrix(const std::string& args, bool emulate = true) {
    return runCommand(std::string(emulate ? "QUBRIX_EMULATE=1 " : "QUBRIX_EMULATE= ") + QUBRIX_BINARY + " touch --lang en " + args);
  }
  testsupport::TempHome home;
};

TEST_F(TouchCli, CsvStreamsSamplesOfEveryChannel) {
  // The samples alone: the log lines go to stderr.
  const auto run = runCommand(std::string("(QUBRIX_EMULATE=1 ") + QUBRIX_BINARY + " touch --duration 0.3 --csv 2>/dev/null)");
  ASSERT_EQ(run.status, 0) << run.out;
  std::map<int, int> perChannel;
  readCsvSamples(run.out, true, perChannel);
  ASSERT_EQ(perChannel.size(), 8u);
  EXPECT_GT(perChannel.begin()->second, 3);
  for (const auto& [channel, samples] : perChannel) EXPECT_EQ(samples, perChannel.begin()->second) << channel;
}

TEST_F(TouchCli, ThresholdsSetInOneRunAreExportedByTheNext) {
  auto run = qubrix("set 3 80");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("TP3 threshold 80"), std::string::npos) << run.out;
  ASSERT_EQ(qubrix("set 5 1500").status, 0);
  const auto file = home.path() / "Touchconfig.TXT";
  run = qubrix("export -o " + file.string());
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("--> Saved to: " + file.string()), std::string::npos) << run.out;
  const std::string text = testsupport::readFile(file);
  EXPECT_EQ(text,
            "  #define KEY_SEQ       \\\r\n"
            "  {TS_CH0 , 120 },      \\\r\n  {TS_CH1 , 120 },      \\\r\n  {TS_CH2 , 120 },      \\\r\n"
            "  {TS_CH3 ,  80 },      \\\r\n  {TS_CH4 , 120 },      \\\r\n  {TS_CH5 , 1500},      \\\r\n"
            "  {TS_CH6 , 120 },      \\\r\n  {TS_CH7 , 120 },      \\\r\n");
}

TEST_F(TouchCli, RefusalsAndAMissingProgrammer) {
  auto run = qubrix("set 42 80");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("no channel TP42"), std::string::npos) << run.out;
  EXPECT_EQ(qubrix("set 3").status, 2);
  EXPECT_EQ(qubrix("--duration -1").status, 2);
  run = qubrix("--duration 0.1", false);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("[Tip] The USB QUBRIX Tool was not found. Please plug it into your computer."), std::string::npos)
      << run.out;
}

TEST_F(TouchCli, PortStreamsTheBoardsSamplesAsCsvAndEndsWithAPowerCycle) {
  namespace es = emulator::serial;
  es::PtyHost board(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = 5}));
  ASSERT_TRUE(board.start());
  const auto run = runCommand(std::string("(") + QUBRIX_BINARY + " touch --lang en --port " + board.path() + " --duration 1 --csv 2>/dev/null)");
  ASSERT_EQ(run.status, 0) << run.out;
  std::map<int, int> perChannel;
  readCsvSamples(run.out, false, perChannel);
  ASSERT_EQ(perChannel.size(), 5u);
  EXPECT_GT(perChannel.begin()->second, 3);
  const auto requests = board.requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests.front(), (isp::Frame{0x55, 0x01, 0x11, 0x10}));
  EXPECT_EQ(requests.back(), (isp::Frame{0x55, 0x01, 0x22, 0x23}));
}

TEST_F(TouchCli, PortSetsAThresholdOnTheBoardAndTheNextRunExportsIt) {
  namespace es = emulator::serial;
  es::PtyHost board(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = 5}));
  ASSERT_TRUE(board.start());
  const std::string port = std::string(" --port ") + board.path() + " ";
  auto run = qubrix(port + "set 3 80", false);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("TP3 threshold 80"), std::string::npos) << run.out;
  const auto requests = board.requests();
  EXPECT_NE(std::find(requests.begin(), requests.end(), isp::Frame{0x55, 0x04, 0x03, 0x03, 0x00, 0x50, 0x54}), requests.end());

  const auto file = home.path() / "Touchconfig.TXT";
  run = qubrix(port + "export -o " + file.string(), false);
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string text = testsupport::readFile(file);
  EXPECT_EQ(text,
            "  #define KEY_SEQ       \\\r\n"
            "  {TS_CH0 , 120 },      \\\r\n  {TS_CH1 , 120 },      \\\r\n  {TS_CH2 , 120 },      \\\r\n"
            "  {TS_CH3 ,  80 },      \\\r\n  {TS_CH4 , 120 },      \\\r\n");

  run = qubrix(port + "set 42 80", false);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("no channel TP42"), std::string::npos) << run.out;
}

TEST_F(TouchCli, PortThatIsNoSerialPortSaysSo) {
  const auto run = qubrix("--port /nonexistent/tty --duration 1", false);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("[Tip] Failed to open the serial port."), std::string::npos) << run.out;
}

}  // namespace
