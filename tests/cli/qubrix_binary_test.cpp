// qubrix pack and qubrix info, run as processes: what one writes the other reads back.
#include <gtest/gtest.h>

#include "tests/support/run_command.hpp"
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "firmware/cipher/tea.hpp"
#include "firmware/production/header.hpp"
#include "tests/support/temp_home.hpp"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string output;  // stdout and stderr together
};

Outcome qubrix(const std::string& arguments) {
  const testsupport::CommandRun run =
      testsupport::runCommand(std::string("'") + QUBRIX_BINARY + "' " + arguments + " --lang en");
  return {run.status, run.out};
}

std::string lineStarting(const std::string& text, const std::string& prefix) {
  const std::regex line("(^|\n)(" + std::regex_replace(prefix, std::regex(R"([()\[\]])"), R"(\$&)") + "[^\n]*)");
  std::smatch m;
  return std::regex_search(text, m, line) ? m[2].str() : std::string();
}

class QubrixBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::makeTempDir("qx_cli");
    fs::copy_file(fs::path(QUBRIX_EXAMPLES_DIR) / "blink.hex", dir_ / "blink.hex");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string at(const std::string& name) const { return "'" + (dir_ / name).string() + "'"; }

  testsupport::TempHome home_;
  fs::path dir_;
};

TEST_F(QubrixBinary, PackThenInfoRoundTripsChecksumModelAndEverySetting) {
  struct Case {
    const char* kind;
    const char* options;
    const char* name;
    const char* limit;
    const char* writerId;
    const char* userCode;
  } cases[] = {
      {"--cab", "--key 0123456789abcdef --limit 5000 --writer-id 89abcdef --user-code 100", "blink_JM.cab",
       "Maximum times: 5000 (on)", "Writer ID: 89ABCDEF (on)", "User code: 100 (on)"},
      {"--cap", "--limit 7", "blink.cap", "Maximum times: 7 (on)", "Writer ID: 00000000 (off)",
       "User code: 0 (off)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    // Without -o the file goes beside the program, under the default name.
    const Outcome pack = qubrix(std::string("pack ") + c.kind + " -t QB51F16 " + at("blink.hex") + " " + c.options);
    ASSERT_EQ(pack.status, 0) << pack.output;
    ASSERT_TRUE(fs::exists(dir_ / c.name)) << pack.output;
    const std::string fileId = lineStarting(pack.output, "File id: ");
    const std::string loaded = lineStarting(pack.output, "--> The program file has been successfully loaded.");
    ASSERT_FALSE(fileId.empty()) << pack.output;
    ASSERT_FALSE(loaded.empty()) << pack.output;

    const Outcome info = qubrix(std::string("info --mode writer ") + at(c.name));
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(lineStarting(info.output, "--> "), loaded) << "the same image checksum";
    EXPECT_EQ(lineStarting(info.output, "Model: "), "Model: QB51F16");
    EXPECT_EQ(lineStarting(info.output, "Maximum times: "), c.limit);
    EXPECT_EQ(lineStarting(info.output, "Writer ID: "), c.writerId);
    EXPECT_EQ(lineStarting(info.output, "User code: "), c.userCode);
    EXPECT_EQ(lineStarting(info.output, "File id: "), fileId);

    // The file id shown is bytes 64..67 of the deciphered header.
    std::ifstream in(dir_ / c.name, std::ios::binary);
    production::HeaderBytes header;
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    cipher::TeaDecrypt(header.data(), header.size(), cipher::kBuiltInTeaKey);
    char expected[32];
    std::snprintf(expected, sizeof expected, "File id: %02X%02X%02X%02X", header[64], header[65], header[66],
                  header[67]);
    EXPECT_EQ(fileId, expected);
  }
}

TEST_F(QubrixBinary, RefusalsEndNonZeroWithTheirMessages) {
  std::ofstream(dir_ / "garbage.cap") << std::string(600, 'x');
  ASSERT_EQ(qubrix("pack --cab -t QB51F16 --key 0123456789abcdef -o " + at("made.cab") + " " + at("blink.hex")).status,
            0);
  struct Case {
    std::string arguments;
    int status;
    const char* message;
  } cases[] = {
      {"pack --cab -t QB51F16 " + at("blink.hex"), 1, "[Tip] Please enter a 16-character key."},
      {"pack --cab -t QB51F16 --key short " + at("blink.hex"), 1, "[Tip] Please enter a 16-character key."},
      {"pack --cap -t QB51F16 --writer-id 1234567 " + at("blink.hex"), 1, "[Tip] Please set the 32-bit Writer ID."},
      {"pack --cap -t QB51F16 --limit 0 " + at("blink.hex"), 1,
       "[Tip] Please set the maximum number of programming attempts."},
      {"pack --cap -t QB51F16 --user-code 4293967296 " + at("blink.hex"), 2,
       "qubrix pack: Out of range, value range [0~4293967295]."},
      {"pack --cap -t QB51F16 " + at("made.cab"), 1,
       "[Tip] Production project file cannot be generated using encrypted program file."},
      {"pack --cap -t QB51F16 -o " + at("no/such/dir/x.cap") + " " + at("blink.hex"), 1,
       "[Tip] Save failed. Cannot write to the file."},
      {"pack --cab --cap -t QB51F16 " + at("blink.hex"), 2, "qubrix pack: give exactly one of --cab and --cap"},
      {"info " + at("garbage.cap"), 1,
       "[Tip] Invalid production project file, please load the correct production project file!"},
      {"info " + at("garbage.cab"), 1, "[Error] Error in reading the file!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = qubrix(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_FALSE(lineStarting(run.output, c.message).empty()) << run.output;
  }
  EXPECT_FALSE(fs::exists(dir_ / "blink.cap")) << "nothing written by a refused pack";
  EXPECT_FALSE(fs::exists(dir_ / "blink_JM.cab"));
}

}  // namespace
