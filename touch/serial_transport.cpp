#include "touch/serial_transport.hpp"

#include <algorithm>

#include "base/text_ids.hpp"
#include "base/texts.hpp"

namespace touch {
namespace {

// Closing the port lets its reader thread end first.
constexpr base::Millis kPortCloseWait{100};
constexpr base::Millis kSettleWait{10};
// Above this many channels the key flags carry a high 16-bit word before the low 32 bits.
constexpr std::size_t kLowFlagChannels = 32;

std::string line(const char* textName) { return "--> " + base::text(textName); }

std::uint16_t be16(const LinkBytes& d, std::size_t at) { return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]); }

std::uint32_t be32(const LinkBytes& d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) << 24 | static_cast<std::uint32_t>(d[at + 1]) << 16 |
         static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3];
}

constexpr ButtonStates kClosedButtons{.connect = true, .connectSaysDisconnect = false, .run = false, .stop = false, .save = false, .portBox = true};

}  // namespace

SerialTransport::SerialTransport(SerialLink& link, base::TimerService& timers, SessionSink& sink)
    : link_(link), timers_(timers), sink_(sink) {}

SerialTransport::~SerialTransport() {
  timers_.stop(kLinkTimerId);
  timers_.stop(kKeepAliveTimerId);
  if (link_.isOpen()) link_.close();
}

void SerialTransport::setButtons(const ButtonStates& states) {
  buttons_ = states;
  sink_.onButtons(buttons_);
}

void SerialTransport::send(std::span<const std::uint8_t> frame) {
  if (linkActive_) link_.send(frame);
}

void SerialTransport::toggleConnect() {
  if (linkActive_ && link_.isOpen()) {
    stopLink();
  } else {
    startLink();
  }
}

void SerialTransport::startLink() {
  // A port left in error is first only acknowledged; the next Connect opens it.
  if (link_.hasError()) {
    link_.clearError();
    return;
  }
  timers_.wait(kSettleWait);
  if (!link_.open(kLinkRequestBaud)) {
    sink_.onMessage(base::text(base::txt::kTip), base::text(base::txt::kSerialOpenFailed), base::MessageIcon::Warning);
    linkActive_ = running_ = false;
    setButtons(kClosedButtons);
    return;
  }
  linkActive_ = running_ = true;
  step_ = TOUCH_APP_LINK_TOOL;
  ack_ = kAckNone;
  ticks_ = 0;
  parser_.reset();
  send(TOUCH_CMD_LINK);
  sink_.onLog(line("touch.link_opening"), base::LogColour::Normal);
  timers_.start(kLinkTimerId, kLinkTick);
}

void SerialTransport::stopLink() {
  step_ = TOUCH_APP_EXIT;
  ack_ = kAckNone;
  ticks_ = 0;
  send(PowerCycleTarget);
  sink_.onLog(line("touch.link_exiting"), base::LogColour::Error);
  timers_.start(kLinkTimerId, kLinkTick);
}

void SerialTransport::onTimer(int id) {
  if (id == kLinkTimerId) {
    linkTick();
  } else if (id == kKeepAliveTimerId && chipConnected_) {
    send(TOUCH_CMD_POLL);
  }
}

void SerialTransport::linkTick() {
  switch (step_) {
    case TOUCH_APP_LINK_TOOL:
      if (ack_ == kAckSuccess) {
        ack_ = kAckNone;
        sink_.onLog(line("touch.link_board"), base::LogColour::Normal);
        closePort();
        timers_.wait(kSettleWait);
        if (!link_.open(kLinkDataBaud)) {
          // The adapter went between the two opens: the link cannot go on.
          timers_.stop(kLinkTimerId);
          sink_.onMessage(base::text(base::txt::kTip), base::text(base::txt::kSerialOpenFailed), base::MessageIcon::Warning);
          closeLink();
          return;
        }
        parser_.reset();
        step_ = TOUCH_APP_LINK_CHIP;
        ticks_ = 0;
      } else if (++ticks_ > kAckTicks) {
        timers_.stop(kLinkTimerId);
        step_ = TOUCH_APP_IDLE;
      }
      break;
    case TOUCH_APP_LINK_CHIP:
      if (ack_ == kAckSuccess) {
        ack_ = kAckNone;
        chipLinked();
        timers_.stop(kLinkTimerId);
        chipConnected_ = true;
        timers_.start(kKeepAliveTimerId, kKeepAliveInterval);
      } else if (ack_ == kAckFailure) {
        ack_ = kAckNone;
        chipLinkFailed();
        timers_.stop(kLinkTimerId);
      } else if (++ticks_ > kAckTicks) {
        timers_.stop(kLinkTimerId);
      }
      break;
    case TOUCH_APP_EXIT:
      ack_ = kAckNone;
      closeLink();
      timers_.stop(kLinkTimerId);
      chipConnected_ = false;
      timers_.stop(kKeepAliveTimerId);
      break;
    case TOUCH_APP_IDLE:
      timers_.stop(kLinkTimerId);
      break;
  }
}

void SerialTransport::chipLinked() {
  sink_.onLog(line("touch.link_chip"), base::LogColour::Normal);
  sink_.onClearTable();
  step_ = TOUCH_APP_IDLE;
  setButtons({.connect = false, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true, .portBox = false});
}

void SerialTransport::chipLinkFailed() {
  closePort();
  linkActive_ = running_ = false;
  step_ = TOUCH_APP_IDLE;
  setButtons(kClosedButtons);
  sink_.onLog(line("touch.chip_not_connected"), base::LogColour::Error);
}

void SerialTransport::closePort() {
  if (!link_.isOpen()) return;
  link_.close();
  timers_.wait(kPortCloseWait);
}

void SerialTransport::closeLink() {
  closePort();
  linkActive_ = running_ = false;
  step_ = TOUCH_APP_IDLE;
  parser_.reset();
  setButtons(kClosedButtons);
  sink_.onLog(line("touch.link_closed"), base::LogColour::Error);
}

void SerialTransport::run() {
  send(TOUCH_CMD_RUN);
  running_ = true;
  ButtonStates b = buttons_;
  b.connect = b.run = b.portBox = false;
  b.stop = b.save = true;
  setButtons(b);
}

void SerialTransport::stop() {
  send(TOUCH_CMD_STOP);
  running_ = false;
  ButtonStates b = buttons_;
  b.connect = b.run = b.save = true;
  b.stop = false;
  setButtons(b);
}

void SerialTransport::endForModeChange() {
  timers_.stop(kLinkTimerId);
  timers_.stop(kKeepAliveTimerId);
  ticks_ = 0;
  // A link still waiting for the board is ended too, so that no port stays open behind the mode.
  if (linkActive_) {
    send(PowerCycleTarget);
    timers_.wait(kSettleWait);
    closeLink();
  }
  chipConnected_ = false;
}

void SerialTransport::onPortError() {
  if (!linkActive_) return;
  timers_.stop(kLinkTimerId);
  timers_.stop(kKeepAliveTimerId);
  chipConnected_ = false;
  closeLink();
  // The error has been dealt with here: the next Connect opens the port again at once.
  link_.clearError();
}

void SerialTransport::thresholdChanged(std::size_t index, std::uint16_t value) {
  if (!linkActive_ || index >= lookupBound()) return;
  send(TOUCH_CMD_SET_THRESHOLD(static_cast<std::uint8_t>(index), value));
  const std::uint8_t number = model_.numbers[index];
  thresholds_[number] = value;
  model_.thresholds[index] = value;
}

std::optional<ExportTable> SerialTransport::exportTable() const {
  if (!linkActive_) return std::nullopt;
  ExportTable table;
  for (std::size_t i = 0; i < lookupBound(); ++i) {
    table.numbers.push_back(model_.numbers[i]);
    table.thresholds.push_back(static_cast<std::uint16_t>(thresholds_[model_.numbers[i]]));
  }
  return table;
}

std::size_t SerialTransport::lookupBound() const { return std::min(channelCount_, model_.numbers.size()); }

void SerialTransport::onByte(std::uint8_t byte) {
  if (!linkActive_) return;
  if (const auto frame = parser_.feed(byte)) dispatch(*frame);
}

void SerialTransport::dispatch(const BoardFrame& frame) {
  const LinkBytes& d = frame.data;
  switch (frame.type) {
    case TOUCH_ACK:
      if (d[0] == 0 && step_ != TOUCH_APP_IDLE) {
        ack_ = kAckSuccess;
        if (step_ == TOUCH_APP_LINK_TOOL) model_.keyFlags = 0;
      } else if (d[0] != 0 && step_ == TOUCH_APP_LINK_CHIP) {
        ack_ = kAckFailure;
      }
      return;
    case TOUCH_CHANNEL_COUNT:
      channelCount_ = d[0];
      sink_.onChannelCount(channelCount_);
      return;
    case TOUCH_CHANNEL_LIST:
      channelList(d);
      return;
    default:
      break;
  }
  if (!running_) return;
  switch (frame.type) {
    case TOUCH_BASELINE: channelValues(Field::Baseline, d); break;
    case TOUCH_CURRENT:
      channelValues(Field::Current, d);
      sink_.onSample(model_, timers_.now());
      break;
    case TOUCH_THRESHOLD: channelValues(Field::Threshold, d); break;
    case TOUCH_REF_BASELINE: referenceValue(Field::Baseline, d); break;
    case TOUCH_REF_CURRENT: referenceValue(Field::Current, d); break;
    case TOUCH_KEY_FLAGS: keyFlags(d); break;
    default: break;
  }
}

void SerialTransport::channelList(const LinkBytes& d) {
  // A list that claims more numbers than its frame holds gives the numbers it holds.
  const std::size_t n = std::min<std::size_t>(d[0], d.size() - 1);
  const std::uint64_t shownFlags = model_.keyFlags;
  model_.reset(n);
  model_.keyFlags = shownFlags;
  for (std::size_t i = 0; i < n; ++i) {
    model_.numbers[i] = d[i + 1];
    sink_.onChannelRow(i, model_.numbers[i]);
  }
}

void SerialTransport::channelValues(Field field, const LinkBytes& d) {
  const std::size_t n = std::min<std::size_t>(d[0], (d.size() - 1) / 3);
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t index = d[1 + 3 * t];
    const std::uint16_t value = be16(d, 2 + 3 * t);
    // An index beyond the channel list has no row.
    if (index >= lookupBound()) continue;
    const std::uint8_t number = model_.numbers[index];
    std::size_t row = 0;
    while (model_.numbers[row] != number) ++row;
    auto& table = field == Field::Baseline ? baselines_ : field == Field::Current ? currents_ : thresholds_;
    table[number] = value;
    auto& shown = field == Field::Baseline ? model_.baselines : field == Field::Current ? model_.currents : model_.thresholds;
    shown[row] = value;
    sink_.onChannelValue(row, field, value);
    if (field == Field::Threshold) continue;
    const auto diff = static_cast<std::int32_t>(baselines_[number] - currents_[number]);
    model_.differences[row] = diff;
    sink_.onChannelValue(row, Field::Difference, diff);
  }
}

void SerialTransport::referenceValue(Field field, const LinkBytes& d) {
  if (d.size() < 2) return;
  const std::uint16_t value = be16(d, 0);
  (field == Field::Baseline ? model_.refBaseline : model_.refCurrent) = value;
  sink_.onReference(field, value);
  model_.refDifference = difference(model_.refBaseline, model_.refCurrent);
  sink_.onReference(Field::Difference, model_.refDifference);
}

void SerialTransport::keyFlags(const LinkBytes& d) {
  const bool wide = channelCount_ > kLowFlagChannels;
  if (d.size() < (wide ? 6U : 4U)) return;
  const std::uint64_t hi = wide ? be16(d, 0) : 0;
  const std::uint64_t flags = hi << 32 | be32(d, wide ? 2 : 0);
  if (flags == model_.keyFlags) return;
  model_.keyFlags = flags;
  sink_.onKeyFlags(flags);
}

}  // namespace touch
