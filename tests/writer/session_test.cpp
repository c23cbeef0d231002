// The receive thread with the emulated Writer joined to the lookup: a whole download, an unplug in
// the middle, and the checks Download makes first.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "device/writer/session.hpp"
#include "tests/writer/rig.hpp"

namespace {

using namespace qx::writer;
using writertest::countingJob;

class WriterSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    qx::setHardwareEnumeration(false);
  }
  void TearDown() override {
    if (provider_ != 0) removeWriterProvider(provider_);
  }
  std::shared_ptr<emulator::writer::EmulatedWriter> plugIn(emulator::writer::WriterConfig config = {}) {
    auto writer = emulator::writer::EmulatedWriter::create(config);
    provider_ = addWriterProvider([writer] {
      std::vector<std::shared_ptr<WriterLink>> found;
      if (auto link = writer->attach()) found.push_back(link);
      return found;
    });
    return writer;
  }

  writertest::RecordingSink sink_;
  int provider_ = 0;
};

TEST_F(WriterSessionTest, DownloadsOnItsThreadInTheChosenLanguage) {
  // No offline round, which would start the log afresh.
  emulator::writer::WriterConfig config;
  config.rounds = 0;
  auto writer = plugIn(config);
  WriterSession session(sink_, base::kLangChinese, std::chrono::milliseconds(0));
  ASSERT_TRUE(session.startDownload(countingJob(6000)));
  ASSERT_TRUE(sink_.waitForEnd());
  EXPECT_EQ(sink_.outcomes, std::vector<base::Outcome>{base::Outcome::Success});
  EXPECT_EQ(writer->storedImage(), countingJob(6000).bytes);
  // The thread speaks the language it was given, whatever the caller's.
  EXPECT_TRUE(sink_.logged("--> " + base::textIn(base::kLangChinese, "writer.programmed")));
  EXPECT_EQ(sink_.controls.front(), false);
  EXPECT_EQ(sink_.controls.back(), true);
  session.stop();
}

TEST_F(WriterSessionTest, UnplugMidDownloadEndsWithTheLineAndNothingReportedDone) {
  emulator::writer::WriterConfig config;
  config.unplugAfter = 10;
  plugIn(config);
  WriterSession session(sink_, base::kLangEnglish, std::chrono::milliseconds(0));
  ASSERT_TRUE(session.startDownload(countingJob(3000)));
  ASSERT_TRUE(sink_.waitForEnd());
  EXPECT_EQ(sink_.outcomes, std::vector<base::Outcome>{base::Outcome::Failed});
  EXPECT_EQ(sink_.lines.back().colour, base::LogColour::Error);
  const std::string last = sink_.lines.back().text;
  EXPECT_TRUE(last == base::text("writer.link_lost") || last.rfind("--> Sending to the Writer failed", 0) == 0) << last;
  EXPECT_FALSE(sink_.logged("--> " + base::text("writer.programmed")));
  EXPECT_EQ(sink_.controls.back(), true);
  session.stop();
}

TEST_F(WriterSessionTest, NoWriterReportsTheFailedStart) {
  WriterSession session(sink_, base::kLangEnglish, std::chrono::milliseconds(0));
  EXPECT_FALSE(session.startDownload(countingJob(100)));
  EXPECT_EQ(sink_.messages, std::vector<std::string>{"Error: Initialization failed!"});
  EXPECT_FALSE(session.receiving());
}

TEST_F(WriterSessionTest, CancelThenDownloadAgainOnTheSameLink) {
  emulator::writer::WriterConfig config;
  config.silentAt = emulator::writer::Step::Length;
  auto writer = plugIn(config);
  WriterSession session(sink_, base::kLangEnglish, std::chrono::milliseconds(0));
  ASSERT_TRUE(session.startDownload(countingJob(100)));
  session.cancel();
  ASSERT_TRUE(sink_.waitForEnd());
  EXPECT_EQ(sink_.outcomes.front(), base::Outcome::Cancelled);
  EXPECT_TRUE(session.startDownload(countingJob(100))) << "Download is possible again";
  session.stop();
}

struct RefusalCase {
  const char* name;
  production::ProductionSettings settings;
  bool connected;
  const char* text;  // none: accepted
};

production::ProductionSettings keyOf(std::size_t count) {
  production::ProductionSettings s;
  s.key_enable = true;
  s.key_count = count;
  return s;
}

TEST(WriterDownloadRefusal, ChecksInOrder) {
  base::setThreadLanguage(base::kLangEnglish);
  production::ProductionSettings limitZero;
  limitZero.write_limit_num_enable = true;
  production::ProductionSettings userZero;
  userZero.user_code_enable = true;
  production::ProductionSettings id7;
  id7.writer_ID_limit_enable = true;
  id7.write_id_digits = 7;
  production::ProductionSettings everything = keyOf(15);
  everything.write_limit_num_enable = true;
  everything.user_code_enable = true;
  const RefusalCase cases[] = {
      {"15-character key", keyOf(15), true, "Please enter a 16-character key."},
      {"16-character key", keyOf(16), true, nullptr},
      {"limit on with 0", limitZero, true, "Please set the maximum number of programming attempts."},
      {"user code on with 0", userZero, true,
       "Please set the user roll code starting address, ranging from 1 to 999999999."},
      {"7-digit writer id", id7, true, "Please set the 32-bit Writer ID."},
      {"no Writer", {}, false, "Please connect the Writer!"},
      {"the key first", everything, false, "Please enter a 16-character key."},
  };
  for (const RefusalCase& c : cases) {
    const auto refusal = DownloadRefusal(c.settings, c.connected);
    if (c.text == nullptr) {
      EXPECT_FALSE(refusal) << c.name;
    } else {
      EXPECT_EQ(refusal.value_or("(accepted)"), c.text) << c.name;
    }
  }
}

}  // namespace
