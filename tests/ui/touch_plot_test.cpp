// Touch debug mode's live plot and Record toggle against the emulated touch target: the samples
// reach the plot, its picker chooses the channels drawn, and Record writes every sample to a CSV
// file in the data folder, named when it stops, or stops with a red line when it cannot write.
#include "ui/touch/touch_plot.hpp"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <map>

#include "base/texts.hpp"
#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "tests/support/temp_home.hpp"
#include "touch/sample_history.hpp"
#include "ui/main/main_window.hpp"
#include "ui/touch/touch_mode_dlg.hpp"
#include "ui/touch/touch_plot_view.hpp"

namespace {

namespace ep = emulator::programmer;

constexpr int kBoundMs = 10000;
constexpr int kChannels = 6;

testsupport::TempHome& home() {
  static testsupport::TempHome h;
  return h;
}

class TouchPlotWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    home();
    base::setThreadLanguage(base::kLangEnglish);
    ep::Config board;
    board.touchChannels = kChannels;
    device = ep::EmulatedProgrammer::create(board);
    link = device->attach();
    services.touchTool = [this] { return std::make_shared<qx::TouchDebug>(link); };
    services.message = [](const std::string&, const std::string&, base::MessageIcon) {};
    services.openFile = [](const std::string&) {};
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
    window->SwitchMode(2);
  }
  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  const touch::SampleHistory& history() const { return window->touchPanel()->History(); }
  bool connectAndWaitForSamples(std::size_t samples) {
    child<QPushButton>("touchConnect")->click();
    return QTest::qWaitFor([&] { return history().size() >= samples; }, kBoundMs);
  }
  QString log() const { return child<QTextEdit>("log")->toPlainText(); }
  // Pixels of exactly the colour of the `slot`th channel shown in a fresh frame of the plot.
  int pixelsOf(std::size_t slot) const {
    const QImage frame = window->touchPlot()->plot()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb colour = CTouchPlot::slotColour(slot).rgb();
    int n = 0;
    for (int y = 0; y < frame.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
      for (int x = 0; x < frame.width(); ++x) n += line[x] == colour ? 1 : 0;
    }
    return n;
  }

  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::shared_ptr<qx::Interface> link;
  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
};

TEST_F(TouchPlotWindow, SamplesReachThePlotAndThePickerChoosesItsChannels) {
  EXPECT_TRUE(window->touchPlot()->isVisible());
  ASSERT_TRUE(connectAndWaitForSamples(20));
  CTouchPlot* plot = window->touchPlot()->plot();
  auto* list = child<QListWidget>("touchPlotChannels");
  ASSERT_EQ(list->count(), kChannels);
  EXPECT_EQ(list->item(5)->text(), QStringLiteral("TP5"));
  // The first channel by default, checked in the picker as in the plot.
  ASSERT_FALSE(plot->channels().empty());
  EXPECT_EQ(plot->channels().front(), 0u);
  EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);

  list->item(0)->setCheckState(Qt::Unchecked);
  list->item(3)->setCheckState(Qt::Checked);
  list->item(4)->setCheckState(Qt::Checked);
  for (int row = 0; row < kChannels; ++row) {
    if (row != 3 && row != 4) list->item(row)->setCheckState(Qt::Unchecked);
  }
  EXPECT_EQ(plot->channels(), (std::vector<std::size_t>{3, 4}));
  EXPECT_EQ(child<QToolButton>("touchPlotPicker")->text(), QStringLiteral("TP3, TP4"));
  // Two channels drawn, no third.
  EXPECT_GT(pixelsOf(0), 20);
  EXPECT_GT(pixelsOf(1), 20);
  EXPECT_EQ(pixelsOf(2), 0);
  // The user's choice stays while keys trigger.
  const std::size_t before = history().size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().size() > before + 10; }, kBoundMs));
  EXPECT_EQ(plot->channels(), (std::vector<std::size_t>{3, 4}));

  child<QCheckBox>("touchPlotRaw")->setChecked(false);
  child<QCheckBox>("touchPlotThreshold")->setChecked(false);
  EXPECT_EQ(plot->series(), (TouchPlotSeries{false, true, true, false}));
  child<QSpinBox>("touchPlotSeconds")->setValue(5);
  EXPECT_EQ(plot->window(), base::Millis(5000));
}

// Far more samples than pixel columns: a press lasting one sample still reaches its full height.
TEST(TouchPlot, ASingleSampleSpikeSurvivesTheDecimation) {
  touch::SampleHistory history(base::Millis(30000), 4096);
  touch::ChannelModel m;
  m.reset(1);
  m.thresholds[0] = 120;
  for (int i = 0; i < 4000; ++i) {
    m.baselines[0] = 2000;
    m.currents[0] = i == 2000 ? 1700 : 2000;
    m.differences[0] = touch::difference(m.baselines[0], m.currents[0]);
    history.add(m, base::Millis(i * 2));
  }
  CTouchPlot plot(history);
  plot.setChannels({0});
  plot.setSeries({false, false, true, false});
  plot.setWindow(base::Millis(8000));
  plot.resize(300, 200);
  const QImage frame = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb colour = CTouchPlot::slotColour(0).rgb();
  // The tallest run of the channel's colour in one column: the spike from 0 to 300.
  int tallest = 0;
  for (int x = 0; x < frame.width(); ++x) {
    int run = 0;
    for (int y = 0; y < frame.height(); ++y) {
      run = frame.pixel(x, y) == colour ? run + 1 : 0;
      tallest = std::max(tallest, run);
    }
  }
  EXPECT_GT(tallest, frame.height() / 2);
}

// Until the user picks, the first channel and the last keys triggered are shown; a new channel
// list starts over from the first channel.
TEST(TouchPlotView, FollowsTheTriggeredKeysUntilTheUserPicks) {
  touch::SampleHistory history(base::Millis(30000), 64);
  CTouchPlotView view(history);
  touch::ChannelModel m;
  m.reset(10);
  for (std::size_t c = 0; c < 10; ++c) m.numbers[c] = static_cast<std::uint8_t>(c);
  long long ms = 0;
  const auto sample = [&](std::uint64_t keys) {
    m.keyFlags = keys;
    history.add(m, base::Millis(ms += 10));
    view.samplesChanged();
    return view.plot()->channels();
  };
  using Shown = std::vector<std::size_t>;
  EXPECT_EQ(sample(0), Shown{0});
  EXPECT_EQ(sample(1U << 5), (Shown{0, 5}));
  EXPECT_EQ(sample(0), (Shown{0, 5}));
  EXPECT_EQ(sample(1U << 6 | 1U << 7), (Shown{0, 5, 6, 7}));
  EXPECT_EQ(sample(1U << 8), (Shown{0, 6, 7, 8}));
  EXPECT_EQ(sample(1U << 0), (Shown{0, 6, 7, 8}));

  auto* list = view.findChild<QListWidget*>(QStringLiteral("touchPlotChannels"));
  list->item(2)->setCheckState(Qt::Checked);
  EXPECT_EQ(sample(1U << 9), (Shown{0, 2, 6, 7, 8}));

  m.reset(3);
  m.numbers = {4, 5, 6};
  EXPECT_EQ(sample(0), Shown{0});
  EXPECT_EQ(list->count(), 3);
  EXPECT_EQ(sample(1U << 2), (Shown{0, 2}));
}

TEST_F(TouchPlotWindow, RecordWritesEverySampleUntilToggledOff) {
  ASSERT_TRUE(connectAndWaitForSamples(1));
  auto* record = child<QPushButton>("touchRecord");
  record->click();
  ASSERT_TRUE(record->isChecked());
  const std::size_t from = history().size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return history().size() >= from + 10; }, kBoundMs));
  record->click();
  EXPECT_FALSE(record->isChecked());

  const QString text = log();
  const qsizetype at = text.indexOf(QStringLiteral("--> Saved to: "));
  ASSERT_GE(at, 0) << text.toStdString();
  const std::string path = text.mid(at + 14).section(QLatin1Char('\n'), 0, 0).toStdString();
  EXPECT_EQ(std::filesystem::path(path).parent_path(), home().path() / "XDG_DATA_HOME" / "QUBRIX");
  EXPECT_EQ(std::filesystem::path(path).filename().string().substr(0, 6), "touch_");
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "time_ms,channel,current,baseline,difference,threshold,key");
  std::map<int, int> perChannel;
  int lastMs = 0;
  while (std::getline(in, line)) {
    int ms = 0, channel = 0, current = 0, baseline = 0, difference = 0, threshold = 0, key = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%d,%d", &ms, &channel, &current, &baseline, &difference,
                          &threshold, &key),
              7)
        << line;
    EXPECT_EQ(difference, baseline - current) << line;
    EXPECT_GE(ms, lastMs) << line;
    lastMs = ms;
    ++perChannel[channel];
  }
  ASSERT_EQ(perChannel.size(), static_cast<std::size_t>(kChannels));
  EXPECT_GE(perChannel.begin()->second, 10);
  for (const auto& [channel, rows] : perChannel) EXPECT_EQ(rows, perChannel.begin()->second) << channel;
}

TEST_F(TouchPlotWindow, ADataFolderThatCannotBeMadeLeavesRecordOffWithARedLine) {
  const std::filesystem::path blocker = home().path() / "not-a-folder";
  std::ofstream(blocker).put('x');
  const std::string kept = std::getenv("XDG_DATA_HOME");
  ::setenv("XDG_DATA_HOME", blocker.c_str(), 1);
  auto* record = child<QPushButton>("touchRecord");
  record->click();
  ::setenv("XDG_DATA_HOME", kept.c_str(), 1);
  EXPECT_FALSE(record->isChecked());
  EXPECT_TRUE(
      log().contains(QStringLiteral("--> Recording stopped: ") + QString::fromStdString((blocker / "QUBRIX").string())))
      << log().toStdString();
}

}  // namespace
