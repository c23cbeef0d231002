// The plot's sample history (bounds, eviction, a new channel list) and the samples' CSV recording
// (exact bytes, the rename when it stops, a folder or disk that refuses the bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/texts.hpp"
#include "tests/support/read_file.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/touch/recorder.hpp"
#include "touch/plot_channels.hpp"
#include "touch/plot_trace.hpp"
#include "touch/sample_csv.hpp"
#include "touch/sample_history.hpp"
#include "touch/sample_recorder.hpp"

namespace {

using base::Millis;

// A model of `numbers` whose every value derives from `seed`, so that each sample is told apart.
touch::ChannelModel model(std::vector<std::uint8_t> numbers, int seed) {
  touch::ChannelModel m;
  m.reset(numbers.size());
  m.numbers = std::move(numbers);
  for (std::size_t i = 0; i < m.count; ++i) {
    m.currents[i] = static_cast<std::uint16_t>(1000 + seed + i);
    m.baselines[i] = static_cast<std::uint16_t>(1010 + seed);
    m.differences[i] = touch::difference(m.baselines[i], m.currents[i]);
    m.thresholds[i] = static_cast<std::uint16_t>(100 + i);
  }
  return m;
}

std::vector<long long> times(const touch::SampleHistory& h) {
  std::vector<long long> out;
  for (std::size_t i = 0; i < h.size(); ++i) out.push_back(h.timeAt(i).count());
  return out;
}

TEST(SampleHistory, KeepsTheLastSpanWithinItsCapacity) {
  struct Case {
    const char* what;
    long long spanMs;
    std::size_t capacity;
    std::vector<long long> added;
    std::vector<long long> kept;
  };
  const Case cases[] = {
      {"all within the span", 100, 8, {0, 10, 20}, {0, 10, 20}},
      {"older than the span dropped", 25, 8, {0, 10, 20, 30, 40}, {20, 30, 40}},
      {"exactly the span kept", 20, 8, {0, 10, 20}, {0, 10, 20}},
      {"capacity bounds a fast rate", 1000, 3, {0, 1, 2, 3, 4}, {2, 3, 4}},
      {"wrapped ring and a gap", 15, 3, {0, 10, 20, 30, 100}, {100}},
  };
  for (const Case& c : cases) {
    touch::SampleHistory h(Millis(c.spanMs), c.capacity);
    int seed = 0;
    for (long long t : c.added) h.add(model({3, 7}, seed++), Millis(t));
    EXPECT_EQ(times(h), c.kept) << c.what;
    // The values stay with their times across the ring's wrap.
    const int firstKept = static_cast<int>(c.added.size() - c.kept.size());
    ASSERT_EQ(h.channels(), 2u) << c.what;
    EXPECT_EQ(h.pointAt(1, 0), (touch::SamplePoint{static_cast<std::uint16_t>(1001 + firstKept),
                                                   static_cast<std::uint16_t>(1010 + firstKept), 101, false, 9}))
        << c.what;
  }
}

TEST(SampleHistory, ANewChannelListOrClockStartsAfresh) {
  touch::SampleHistory h(Millis(10000), 16);
  const std::uint64_t before = h.generation();
  h.add(model({0, 1, 2}, 0), Millis(100));
  h.add(model({0, 1, 2}, 1), Millis(110));
  EXPECT_GT(h.generation(), before);
  h.add(model({0, 1, 5}, 2), Millis(120));
  EXPECT_EQ(h.numbers(), (std::vector<std::uint8_t>{0, 1, 5}));
  EXPECT_EQ(times(h), (std::vector<long long>{120}));
  h.add(model({0, 1}, 3), Millis(130));
  EXPECT_EQ(h.channels(), 2u);
  EXPECT_EQ(times(h), (std::vector<long long>{130}));
  h.add(model({0, 1}, 4), Millis(5));  // another session's clock
  EXPECT_EQ(times(h), (std::vector<long long>{5}));
  EXPECT_EQ(h.pointAt(0, 0).raw, 1004);
  h.clear();
  EXPECT_EQ(h.size(), 0u);
  EXPECT_EQ(h.channels(), 0u);
}

TEST(SampleHistory, AModelStillFillingItsVectorsIsReadNoFurtherThanThey) {
  touch::ChannelModel m = model({0, 1, 2, 3}, 0);
  m.currents.resize(2);
  touch::SampleHistory h(Millis(1000), 4);
  h.add(m, Millis(0));
  EXPECT_EQ(h.channels(), 2u);
  std::string rows;
  touch::appendCsvRows(rows, m, 0);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2);
}

TEST(SampleHistory, FindsTheFirstSampleOfAWindow) {
  touch::SampleHistory h(Millis(1000), 4);
  for (long long t : {0, 10, 20, 30, 40, 50}) h.add(model({1}, 0), Millis(t));  // keeps 20..50, wrapped
  const std::pair<long long, std::size_t> cases[] = {{0, 0}, {20, 0}, {21, 1}, {30, 1}, {50, 3}, {51, 4}};
  for (const auto& [from, index] : cases) EXPECT_EQ(h.firstAtOrAfter(Millis(from)), index) << from;
}

// Far more samples than pixel columns: each column keeps its extremes, so a press lasting one
// sample still reaches its full height, and a frame holds at most four points per column.
TEST(PlotWindow, DecimatesToPixelColumnsAndKeepsASingleSampleSpike) {
  touch::SampleHistory history(Millis(30000), 4096);
  touch::ChannelModel m;
  m.reset(1);
  m.baselines[0] = 2000;
  for (int i = 0; i < 4000; ++i) {
    m.currents[0] = i == 3000 ? 1700 : 2000;
    m.differences[0] = touch::difference(m.baselines[0], m.currents[0]);
    history.add(m, Millis(i * 2));
  }
  const touch::PlotWindow window(history, Millis(8000));
  const touch::PlotRange range = window.fitRange({0}, {touch::PlotValue::Difference});
  // 0 to 300, padded by 8 % of the span.
  EXPECT_DOUBLE_EQ(range.low, -24);
  EXPECT_DOUBLE_EQ(range.high, 324);
  const touch::PixelRect area{10, 20, 300, 200};
  const auto line = window.trace(area, range, 0, touch::PlotValue::Difference);
  ASSERT_FALSE(line.empty());
  EXPECT_LE(line.size(), 4u * (300 + 1));
  const auto row = [&](double value) { return area.bottom() - static_cast<int>((value - range.low) * 200 / 348 + 0.5); };
  const auto [top, bottom] = std::minmax_element(line.begin(), line.end(), [](auto a, auto b) { return a.y < b.y; });
  // The flat line at 0 and the spike's column reaching up to 300.
  EXPECT_EQ(bottom->y, row(0));
  EXPECT_EQ(top->y, row(300));
  EXPECT_EQ(line.front().x, area.left);
  EXPECT_EQ(line.back().x, area.left + area.width);
  for (std::size_t i = 1; i < line.size(); ++i) EXPECT_GE(line[i].x, line[i - 1].x);
}

TEST(PlotWindow, AFlatOrEmptyWindowStillHasARangeAndRoundTicks) {
  touch::SampleHistory history(Millis(30000), 16);
  const touch::PlotWindow empty(history, Millis(10000));
  const touch::PlotRange none = empty.fitRange({0}, {touch::PlotValue::Raw});
  EXPECT_DOUBLE_EQ(none.low, -5);
  EXPECT_DOUBLE_EQ(none.high, 5);
  EXPECT_TRUE(empty.trace({0, 0, 100, 50}, none, 0, touch::PlotValue::Raw).empty());

  const std::pair<double, double> ticks[] = {{10, 2}, {348, 100}, {1000, 200}, {37, 10}, {3, 1}};
  for (const auto& [span, step] : ticks) EXPECT_DOUBLE_EQ(touch::plotTickStep(span), step) << span;
}

// Until the user picks, the first channel and the last keys triggered are chosen; a new channel
// list starts over from the first channel and forgets the user's choice.
TEST(PlotChannels, FollowTheTriggeredKeysUntilTheUserPicks) {
  touch::SampleHistory history(Millis(30000), 64);
  touch::PlotChannels choice;
  touch::ChannelModel m;
  m.reset(10);
  for (std::size_t c = 0; c < 10; ++c) m.numbers[c] = static_cast<std::uint8_t>(c);
  long long ms = 0;
  using Change = touch::PlotChannels::Change;
  const auto sample = [&](std::uint64_t keys, Change expected) {
    m.keyFlags = keys;
    history.add(m, Millis(ms += 10));
    EXPECT_EQ(choice.follow(history), expected) << keys;
    return choice.chosen();
  };
  using Shown = std::vector<std::size_t>;
  EXPECT_EQ(sample(0, Change::NewList), Shown{0});
  EXPECT_EQ(sample(1U << 5, Change::Chosen), (Shown{0, 5}));
  EXPECT_EQ(sample(0, Change::None), (Shown{0, 5}));
  EXPECT_EQ(sample(1U << 6 | 1U << 7, Change::Chosen), (Shown{0, 5, 6, 7}));
  EXPECT_EQ(sample(1U << 8, Change::Chosen), (Shown{0, 6, 7, 8}));
  EXPECT_EQ(sample(1U << 0, Change::None), (Shown{0, 6, 7, 8}));

  choice.pick({0, 2});
  EXPECT_EQ(sample(1U << 9, Change::None), (Shown{0, 2}));

  m.reset(3);
  m.numbers = {4, 5, 6};
  EXPECT_EQ(sample(1U << 2, Change::NewList), (Shown{0, 2}));
}

class Recording : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }
  testsupport::TempHome home;
  touchtest::Recorder sink;
  std::filesystem::path file = home.path() / "touch_20260101_120000.csv";
};

TEST_F(Recording, RowsAsTheCommandLinePrintsThemRenamedWhenStopped) {
  touch::SampleRecorder recorder(sink);
  ASSERT_TRUE(recorder.start(file));
  touch::ChannelModel m = model({2, 11}, 0);
  m.keyFlags = 0b10;
  m.currents[1] = 1200;  // above the baseline: a negative difference
  m.differences[1] = touch::difference(m.baselines[1], m.currents[1]);
  recorder.add(m, Millis(5000));
  m.currents[0] = 65535;
  recorder.add(m, Millis(5012));
  // Flushed per sample: the partial file already holds both.
  const std::string expected =
      "time_ms,channel,current,baseline,difference,threshold,key\n"
      "0,2,1000,1010,10,100,0\n"
      "0,11,1200,1010,-190,101,1\n"
      "12,2,65535,1010,10,100,0\n"
      "12,11,1200,1010,-190,101,1\n";
  EXPECT_EQ(testsupport::readFile(touch::SampleRecorder::partialPath(file)), expected);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(recorder.stop());
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(testsupport::readFile(file), expected);
  EXPECT_FALSE(std::filesystem::exists(touch::SampleRecorder::partialPath(file)));
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0].text, "--> Recording the samples to: " + touch::SampleRecorder::partialPath(file).string());
  EXPECT_EQ(sink.lines[1].text, "--> Saved to: " + file.string());
  EXPECT_TRUE(sink.errors().empty());

  // A recording without samples still names its columns; a second start begins a new origin.
  const auto second = home.path() / "second.csv";
  ASSERT_TRUE(recorder.start(second));
  EXPECT_TRUE(recorder.stop());
  EXPECT_EQ(testsupport::readFile(second), touch::kCsvHeader);
  EXPECT_FALSE(recorder.stop());
}

TEST_F(Recording, AFolderThatRefusesTheFileEndsWithARedLine) {
  touch::SampleRecorder recorder(sink);
  const auto missing = home.path() / "no-such-folder" / "t.csv";
  EXPECT_FALSE(recorder.start(missing));
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(sink.errors(),
            std::vector<std::string>{"--> Recording stopped: " + missing.string() + " cannot be written."});
}

TEST_F(Recording, AFullDiskStopsTheRecordingAndKeepsThePartialFile) {
  const auto partial = touch::SampleRecorder::partialPath(file);
  std::filesystem::create_symlink("/dev/full", partial);
  touch::SampleRecorder recorder(sink);
  ASSERT_TRUE(recorder.start(file));
  recorder.add(model({1}, 0), Millis(0));
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(sink.errors(),
            std::vector<std::string>{"--> Recording stopped: " + partial.string() + " cannot be written."});
  recorder.add(model({1}, 1), Millis(10));  // ignored once stopped
  EXPECT_FALSE(recorder.stop());
  EXPECT_TRUE(std::filesystem::is_symlink(partial));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(Recording, ARenameThatFailsKeepsThePartialFile) {
  std::filesystem::create_directories(file / "occupied");  // a folder in the way of the name
  touch::SampleRecorder recorder(sink);
  ASSERT_TRUE(recorder.start(file));
  recorder.add(model({1}, 0), Millis(0));
  EXPECT_FALSE(recorder.stop());
  const auto partial = touch::SampleRecorder::partialPath(file);
  EXPECT_EQ(sink.errors(),
            std::vector<std::string>{"--> Recording stopped: " + partial.string() + " cannot be written."});
  EXPECT_EQ(testsupport::readFile(partial), std::string(touch::kCsvHeader) + "0,1,1000,1010,10,100,0\n");
}

TEST_F(Recording, FileNamesCarryTheTimeAndNeverReuseAName) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 10;
  local.tm_hour = 23;
  local.tm_min = 5;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
  const auto first = touch::recordingPath(home.path(), when);
  EXPECT_EQ(first, home.path() / "touch_20261210_230509.csv");
  std::ofstream(touch::SampleRecorder::partialPath(first)).put('x');
  const auto second = touch::recordingPath(home.path(), when);
  EXPECT_EQ(second, home.path() / "touch_20261210_230509_2.csv");
  std::ofstream(second).put('x');
  EXPECT_EQ(touch::recordingPath(home.path(), when), home.path() / "touch_20261210_230509_3.csv");
}

}  // namespace
