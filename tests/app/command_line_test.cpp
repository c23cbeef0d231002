#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/tool/command_line.hpp"
#include "app/tool/startup.hpp"
#include "tests/support/temp_home.hpp"

namespace {

tool::CommandLineRequest parse(std::vector<std::string> words) {
  words.insert(words.begin(), "qubrix-tool");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  tool::CommandLineRequest r;
  r.target = "stale";  // parsing must start from empty fields
  tool::ParseCommandLine(r, static_cast<int>(words.size()), argv.data());
  return r;
}

struct Case {
  std::vector<std::string> words;
  int mode;
  std::string target, file, logFile;
};

}  // namespace

TEST(ParseCommandLine, VerbsOptionsAndFile) {
  const Case cases[] = {
      {{}, tool::kModeWindow, "", "", ""},
      {{"load", "-t", "M", "file.hex"}, tool::kModeLoad, "M", "file.hex", ""},
      {{"load", "file.hex", "-t", "M"}, tool::kModeLoad, "M", "file.hex", ""},  // GNU permutation
      {{"load", "-t", "M"}, tool::kModeLoad, "M", "", ""},
      {{"LOAD", "-t", "M", "f"}, tool::kModeWindow, "M", "f", ""},  // not a verb, but still getopt's name
      {{"verify", "-l", "run.log", "f.bin"}, tool::kModeVerify, "", "f.bin", "run.log"},
      {{"erase", "-tM"}, tool::kModeErase, "M", "", ""},
      {{"-t", "M", "file"}, tool::kModeWindow, "", "M", ""},  // -t stands in for the program name
      {{"load", "-x", "-h", "-t", "M", "--", "-f"}, tool::kModeLoad, "M", "-f", ""},
      {{"load", "-t"}, tool::kModeLoad, "", "", ""},  // missing argument: diagnostic only
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& w : c.words) shown += w + " ";
    tool::CommandLineRequest r = parse(c.words);
    EXPECT_EQ(r.mode, c.mode) << shown;
    EXPECT_EQ(r.target, c.target) << shown;
    EXPECT_EQ(r.file, c.file) << shown;
    EXPECT_EQ(r.logFile, c.logFile) << shown;
  }
}

TEST(Startup, DeletesOnlyTheLeftoverExecutable) {
  auto dir = testsupport::makeTempDir("qubrix-start-");
  std::ofstream(dir / tool::kLeftoverExecutableName) << "old";
  std::ofstream(dir / "qubrix-tool") << "new";
  tool::deleteLeftoverExecutable(dir);
  EXPECT_FALSE(std::filesystem::exists(dir / tool::kLeftoverExecutableName));
  EXPECT_TRUE(std::filesystem::exists(dir / "qubrix-tool"));
  tool::deleteLeftoverExecutable(dir);  // nothing there: silently fine
  std::filesystem::remove_all(dir);
}
