// qubrix term as a user runs it, against the emulated echo device on a pseudo-terminal.
#include <gtest/gtest.h>

#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/terminal_devices.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"

namespace {

using testsupport::runCommand;

struct Echo {
  Echo() { EXPECT_TRUE(host.start()); }
  std::vector<std::uint8_t> received() const {
    std::vector<std::uint8_t> out;
    for (const auto& e : host.exchanges()) {
      if (e.direction == emulator::serial::Exchange::Direction::FromDevice) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    }
    return out;
  }
  emulator::serial::PtyHost host{std::make_unique<emulator::serial::EchoDevice>()};
};

std::string term(const std::string& args) { return std::string(QUBRIX_BINARY) + " term --lang en " + args; }
// stdout alone: what a script reading the display forms gets.
std::string displayOnly(const std::string& args) { return "{ " + term(args) + " 2>/dev/null; }"; }

TEST(QubrixTerm, PrintsTheEchoOfHexBytesInTheirDisplayForm) {
  testsupport::TempHome home;
  Echo echo;
  const auto run = runCommand(displayOnly("--port " + echo.host.path() + " --send-hex \"A1 B2\" --hex --duration 0.5"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "A1 B2 ");
  EXPECT_EQ(echo.received(), (std::vector<std::uint8_t>{0xA1, 0xB2}));
}

TEST(QubrixTerm, TimedTextSendsRepeatUnderPacketHeaders) {
  testsupport::TempHome home;
  Echo echo;
  const auto run =
      runCommand(displayOnly("--port " + echo.host.path() + " --send ping --every 100 --packet 30 --duration 0.55"));
  EXPECT_EQ(run.status, 0);
  // One packet per send, each under its own header line.
  std::size_t headers = 0;
  for (std::size_t at = 0; (at = run.out.find("]收<-- ping", at)) != std::string::npos; ++at) ++headers;
  EXPECT_GE(headers, 3u);
  EXPECT_EQ(run.out.rfind("\n[", 0), 0u);
}

TEST(QubrixTerm, BadInputSaysWhyAndSendsNothing) {
  testsupport::TempHome home;
  Echo echo;
  auto run = runCommand(term("--port " + echo.host.path() + " --send-hex \"A1B\" --duration 0.3"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("请按照16进制字符要求输入。"), std::string::npos) << run.out;
  EXPECT_TRUE(echo.received().empty());

  run = runCommand(term("--port /dev/nonexistent-tty --duration 0.3"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Failed to open the serial port."), std::string::npos) << run.out;

  run = runCommand(term("--port " + echo.host.path() + " --send a --send-hex 01"));
  EXPECT_EQ(run.status, 2);
  run = runCommand(term("--port " + echo.host.path() + " --every 0 --send a"));
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(echo.received().empty());
}

}  // namespace
