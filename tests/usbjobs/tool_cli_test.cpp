// qubrix-tool verify|erase without a window, against the emulated programmer.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/usbjobs/cli_fixture.hpp"

namespace usbjobstest {
namespace {

class ToolCli : public ProductionCli {
 protected:
  Output tool(const std::string& args) { return runCommand(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_TOOL_BINARY + " " + args); }
};

TEST_F(ToolCli, TheToolsHeadlessVerbsPrintAndAppendTheirLog) {
  ASSERT_EQ(qubrix("program --lang en -t QB51F16 " + hex).status, 0);
  const std::string log = (home.path() / "run.log").string();
  Output r = tool("verify -t QB51F16 -l " + log + " " + hex);
  EXPECT_EQ(r.status, 0) << r.out;
  r = tool("erase -t QB51F16 -l " + log);
  EXPECT_EQ(r.status, 0) << r.out;
  r = tool("verify -t QB51F16 -l " + log + " " + hex);
  EXPECT_EQ(r.status, 1) << r.out;
  r = tool("erase -t QB99");
  EXPECT_EQ(r.status, 2) << r.out;

  std::ifstream in(log);
  int lines = 0;
  int stamped = 0;
  for (std::string line; std::getline(in, line); ++lines) stamped += line.size() > 24 && line[4] == '-' && line[23] == ' ';
  EXPECT_EQ(stamped, lines);
  EXPECT_GE(lines, 15);
}

TEST_F(ToolCli, TheToolsVerifyKeepsAFilesWriterIdAndModel) {
  const std::string locked = pack("locked.cap", "--limit 1 --writer-id 00000001");
  Output r = tool("verify -l " + (home.path() / "run.log").string() + " " + locked);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("QUBRIX Tool"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Connected"), std::string::npos) << r.out;
  r = tool("verify -t QB51F08 " + locked);
  EXPECT_EQ(r.status, 2) << r.out;

  const std::string open = pack("open.cap", "");
  EXPECT_EQ(qubrix("program --lang en " + open).status, 0);
  EXPECT_EQ(tool("verify " + open).status, 0);
}

// A kill mid-verify is a Cancel: the target is powered off and the programmer closed, as the
// window's Cancel leaves them, and the exit status names the signal.
TEST_F(ToolCli, ASignalCancelsTheHeadlessVerifyAndLeavesTheTargetUnpowered) {
  const std::filesystem::path settings = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "QUBRIX";
  std::filesystem::create_directories(settings);
  std::ofstream(settings / "QUBRIX Tool.ini") << "[%General]\nLangID=1033\n";
  // Long enough at the emulated programmer's real pace to be caught under way.
  const std::string image = (home.path() / "image.bin").string();
  std::ofstream out(image, std::ios::binary);
  for (int i = 0; i < 30000; ++i) out.put(static_cast<char>(i * 7 + i / 256));
  out.close();
  ASSERT_EQ(qubrix("program --lang en -t QB51F32 " + image).status, 0);
  ASSERT_EQ(runCommand(std::string(QUBRIX_EMULATOR_BINARY) + " --set delays=on").status, 0);

  const Output r = testsupport::runSignalled(std::string("QUBRIX_EMULATE=1 ") + QUBRIX_TOOL_BINARY + " verify -t QB51F32 " + image,
                                             "--> Connected to the target chip.", SIGTERM);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.out;
  EXPECT_NE(r.out.find("The user cancels the verification."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Verification successful"), std::string::npos) << r.out;
  const Output shown = runCommand(std::string(QUBRIX_EMULATOR_BINARY) + " --show");
  EXPECT_NE(shown.out.find("target unpowered"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace usbjobstest
