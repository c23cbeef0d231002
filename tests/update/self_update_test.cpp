// The program's own update against a loopback FTP server, on a copy of "the program" (a small
// script) in a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "base/texts.hpp"
#include "tests/support/read_file.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "update/self_update.hpp"

namespace {

namespace fs = std::filesystem;
using updatetest::FtpServer;

class Boxes : public update::SelfUpdateSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    messages.push_back(caption + ": " + text);
  }
  void onProgress(int percent) override { progress.push_back(percent); }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    questions.push_back(caption + ": " + text);
    return yes;
  }
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<int> progress;
  bool yes = true;
};

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

const std::string kOldProgram = "#!/bin/sh\necho old > \"$(dirname \"$0\")/marker\"\n";
const std::string kNewProgram = "#!/bin/sh\necho new > \"$(dirname \"$0\")/marker\"\n";

class SelfUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    ASSERT_NE(server.port(), 0);
    server.nameInConfiguration();
    std::ofstream(program) << kOldProgram;
    fs::permissions(program, fs::perms(0755));
  }
  void TearDown() override { fs::remove_all(folder); }

  // What the started program wrote; waiting for it also keeps TearDown from racing the child.
  std::string markerWhenWritten() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string text;
    while ((text = testsupport::readFile(folder / "marker")).empty() || text.back() != '\n') {
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return text;
  }

  void publish(const std::string& version, const std::string& path, std::string hash = {}) {
    if (hash.empty()) hash = updatetest::md5Hex(bytesOf(kNewProgram));
    server.publish(path.substr(path.find_first_not_of('/')), kNewProgram);
    server.publish("QUBRIXToolTFT/tool.xml", "<tool><latest ver=\"" + version + "\"/><apps><item ver=\"" + version +
                                                 "\" path=\"" + path + "\" hash=\"" + hash + "\"/></apps></tool>");
  }

  testsupport::TempHome home;
  FtpServer server{home.path() / "served"};
  fs::path folder = testsupport::makeTempDir("qx_self_update");
  fs::path program = folder / "qubrix-tool";
  Boxes boxes;
};

TEST_F(SelfUpdateTest, TheNewProgramReplacesTheOldWhichIsKeptAndTheSuccessorRuns) {
  std::string upper = updatetest::md5Hex(bytesOf(kNewProgram));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  publish("1.0.3", "/QUBRIXToolTFT/qubrix-tool", upper);
  const auto result = update::selfUpdate("1.0.2.6", program, boxes);
  ASSERT_EQ(result.outcome, base::Outcome::Success) << (boxes.messages.empty() ? "" : boxes.messages[0]);
  EXPECT_EQ(boxes.questions, (std::vector<std::string>{"Tip: A new version of v1.0.3 has been discovered. Is it updated?"}));
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(boxes.progress.front(), 0);
  EXPECT_EQ(boxes.progress.back(), 100);
  EXPECT_EQ(result.successor, program);
  EXPECT_EQ(testsupport::readFile(program), kNewProgram);
  EXPECT_EQ(testsupport::readFile(folder / "QUBRIX_TOOL.exe.old"), kOldProgram);
  EXPECT_FALSE(fs::exists(folder / "qubrix-tool.new"));

  ASSERT_TRUE(update::startProgram(result.successor));
  EXPECT_EQ(markerWhenWritten(), "new\n");
}

TEST_F(SelfUpdateTest, NothingChangesWithoutANewerValidPublishedProgram) {
  const struct {
    const char* name;
    const char* current;
    std::string manifest;  // empty: none published
    const char* message;
  } kCases[] = {
      {"equal", "1.0.3", "<t><latest ver=\"1.0.3\"/><apps><item ver=\"1.0.3\" path=\"/p\" hash=\"h\"/></apps></t>",
       "Update of the QUBRIX TOOL: There are currently no updates available."},
      {"older", "1.0.3", "<t><latest ver=\"1.0.2.9\"/><apps><item ver=\"1.0.2.9\" path=\"/p\" hash=\"h\"/></apps></t>",
       "Update of the QUBRIX TOOL: There are currently no updates available."},
      {"none", "1.0.3", "", "Update of the QUBRIX TOOL: Failed to obtain the latest version of the data."},
      {"no apps", "1.0.3", "<t><latest ver=\"1.0.4\"/><firmwares><item ver=\"1.0.4\" path=\"/p\" hash=\"h\"/></firmwares></t>",
       "Update of the QUBRIX TOOL: Failed to obtain the latest version of the data."},
      {"bad version", "1.0.3", "<t><latest ver=\"2.0\"/><apps><item ver=\"2.0\" path=\"/p\" hash=\"h\"/></apps></t>",
       "Update of the QUBRIX TOOL: Failed to obtain the latest version of the data."},
      {"no own version", "", "", "Update of the QUBRIX TOOL: The current version number cannot be obtained."},
      {"zero own version", "0.0.0", "", "Update of the QUBRIX TOOL: The current version number cannot be obtained."},
  };
  for (const auto& c : kCases) {
    fs::remove_all(home.path() / "served");
    if (!c.manifest.empty()) server.publish("QUBRIXToolTFT/tool.xml", c.manifest);
    Boxes b;
    update::selfUpdate(c.current, program, b);
    EXPECT_EQ(b.messages, (std::vector<std::string>{c.message})) << c.name;
    EXPECT_TRUE(b.questions.empty()) << c.name;
    EXPECT_EQ(testsupport::readFile(program), kOldProgram) << c.name;
    EXPECT_FALSE(fs::exists(folder / "QUBRIX_TOOL.exe.old")) << c.name;
  }
}

TEST_F(SelfUpdateTest, ADigestThatDiffersOrANoLeavesTheProgramAlone) {
  publish("1.0.3", "/QUBRIXToolTFT/qubrix-tool", "0123456789abcdef0123456789abcdef");
  boxes.yes = false;
  EXPECT_EQ(update::selfUpdate("1.0.2.6", program, boxes).outcome, base::Outcome::Cancelled);
  EXPECT_FALSE(fs::exists(folder / "qubrix-tool.new"));
  boxes.yes = true;
  EXPECT_EQ(update::selfUpdate("1.0.2.6", program, boxes).outcome, base::Outcome::Failed);
  EXPECT_EQ(boxes.messages, (std::vector<std::string>{"Update of the QUBRIX TOOL: Download failed."}));
  EXPECT_TRUE(fs::exists(folder / "qubrix-tool.new"));
  EXPECT_EQ(testsupport::readFile(program), kOldProgram);
  EXPECT_FALSE(fs::exists(folder / "QUBRIX_TOOL.exe.old"));
}

TEST_F(SelfUpdateTest, APathWithoutASlashIsTheNewName) {
  publish("1.0.3", "qubrix-tool-next");
  const auto result = update::selfUpdate("1.0.2.6", program, boxes);
  ASSERT_EQ(result.outcome, base::Outcome::Success);
  EXPECT_EQ(result.successor, folder / "qubrix-tool-next");
  EXPECT_EQ(testsupport::readFile(folder / "qubrix-tool-next"), kNewProgram);
  EXPECT_EQ(testsupport::readFile(folder / "QUBRIX_TOOL.exe.old"), kOldProgram);
}

TEST_F(SelfUpdateTest, AFailedSecondMovePutsTheOldProgramBack) {
  // The new name is taken by a folder that cannot be replaced.
  fs::create_directories(folder / "blocked" / "inside");
  publish("1.0.3", "/QUBRIXToolTFT/blocked");
  EXPECT_EQ(update::selfUpdate("1.0.2.6", program, boxes).outcome, base::Outcome::Failed);
  EXPECT_EQ(boxes.messages, (std::vector<std::string>{
                                "Update of the QUBRIX TOOL: The new program could not be put in place; the "
                                "installed program is unchanged."}));
  EXPECT_EQ(testsupport::readFile(program), kOldProgram);
  EXPECT_FALSE(fs::exists(folder / "QUBRIX_TOOL.exe.old"));
  ASSERT_TRUE(update::startProgram(program));
  EXPECT_EQ(markerWhenWritten(), "old\n");
}

}  // namespace
