// Host cost of one 10 ms touch poll with 48 channels: the transactions through the emulated
// programmer (framing, TEA both ways, the target's answer), the model update and the table writes,
// once into a counting cell store and once into the window's CListCtrlCl. Counters: programmer
// transactions and cell writes per tick (the table holds 24 × 11 cells).
#include <benchmark/benchmark.h>

#include "base/manual_timers.hpp"
#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "touch/session.hpp"
#include "touch/table_writer.hpp"
#include "ui/touch/touch_table.hpp"
#include "widgets/list_ctrl_cl.hpp"

namespace {

namespace ep = emulator::programmer;

class CountingCells final : public touch::CellTarget {
 public:
  int rowCount() const override { return rows_; }
  void setRowCount(int rows) override { rows_ = rows; }
  void setCellText(int, int, const std::string&) override { ++writes; }
  void setCellBackground(int, int, touch::Rgb) override { ++writes; }
  void setCellEditable(int, int) override {}
  long writes = 0;

 private:
  int rows_ = 0;
};

class TableSink final : public touch::SessionSink {
 public:
  explicit TableSink(touch::CellTarget& cells) : writer_(cells) {}
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onClearTable() override { writer_.clear(); }
  void onChannelRow(std::size_t i, std::uint8_t n) override { writer_.channelRow(i, n); }
  void onChannelValue(std::size_t i, touch::Field f, std::int32_t v) override { writer_.value(i, f, v); }
  void onChannelCount(std::size_t count) override { writer_.setChannelCount(count); }
  void onKeyFlags(std::uint64_t flags) override { writer_.keyFlags(flags); }
  void onReference(touch::Field f, std::int32_t v) override { writer_.reference(f, v); }
  void onButtons(const touch::ButtonStates&) override {}
  void onPowerButton(bool) override {}

 private:
  touch::TableWriter writer_;
};

// Connected to a 48-channel target and past the set-up, so that each tick is a data poll.
struct Poll {
  explicit Poll(touch::CellTarget& cells) : sink(cells), session(timers, sink, [this] { return std::make_shared<qx::TouchDebug>(link); }) {
    ep::Config board;
    board.touchChannels = 48;
    device = ep::EmulatedProgrammer::create(board);
    device->setLogging(false);
    link = device->attach();
    timers.setHandler([this](int id) { session.onTimer(id); });
    session.pressConnect();
    while (!session.usb().ready() && timers.running(touch::kPollTimerId)) timers.advance(touch::kPollInterval);
  }
  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::shared_ptr<qx::Interface> link;
  base::ManualTimers timers;
  TableSink sink;
  touch::TouchSession session;
};

void measure(benchmark::State& state, Poll& poll, const std::function<long()>& writes) {
  if (!poll.session.usb().ready()) {
    state.SkipWithError("the touch target did not become ready");
    return;
  }
  const long before = writes();
  std::size_t exchanges = 0;
  for (auto _ : state) {
    poll.timers.advance(touch::kPollInterval);
    ++exchanges;
  }
  poll.device->setLogging(true);
  poll.device->clearLog();
  poll.timers.advance(touch::kPollInterval);
  state.counters["transactions/tick"] = static_cast<double>(poll.device->log().size());
  state.counters["cell writes/tick"] = static_cast<double>(writes() - before) / static_cast<double>(exchanges);
}

void BM_PollTick48Channels(benchmark::State& state) {
  CountingCells cells;
  Poll poll(cells);
  measure(state, poll, [&] { return cells.writes; });
}
BENCHMARK(BM_PollTick48Channels)->Unit(benchmark::kMicrosecond);

void BM_PollTick48ChannelsIntoTheListWidget(benchmark::State& state) {
  CListCtrlCl list;
  touchui::SetUpChannelTable(list, 96, 1);
  touchui::TableCells cells(list);
  long changed = 0;
  QObject::connect(list.model(), &QAbstractItemModel::dataChanged, [&] { ++changed; });
  Poll poll(cells);
  measure(state, poll, [&] { return changed; });
}
BENCHMARK(BM_PollTick48ChannelsIntoTheListWidget)->Unit(benchmark::kMicrosecond);

}  // namespace
