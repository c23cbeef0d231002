#include "touch/usb_transport.hpp"

#include <algorithm>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/exceptions.hpp"
#include "device/touch_debug.hpp"

namespace touch {
namespace {

// The programmer's screen shows the touch debugging page.
constexpr std::uint8_t kTouchScreenMode = 3;

std::string line(const std::string& text) { return "--> " + text; }

}  // namespace

UsbTransport::UsbTransport(base::TimerService& timers, SessionSink& sink, ToolFinder finder)
    : timers_(timers), sink_(sink), finder_(std::move(finder)) {}

UsbTransport::~UsbTransport() {
  timers_.stop(kPollTimerId);
  if (usbConnected_) disconnect();
}

void UsbTransport::logError(const std::string& text) { sink_.onLog(line(text), base::LogColour::Error); }

void UsbTransport::setButtons(const ButtonStates& states) {
  buttons_ = states;
  sink_.onButtons(buttons_);
}

void UsbTransport::powerOffQuietly() {
  try {
    tool_->setTargetPower(false);
  } catch (const qx::DeviceException&) {
    // The target is already unreachable; nothing more can be done for it.
  }
}

void UsbTransport::toggleConnect() {
  if (usbConnected_) {
    disconnect();
  } else {
    connect();
  }
}

void UsbTransport::connect() {
  tool_ = finder_ ? finder_() : nullptr;
  if (tool_ == nullptr) {
    sink_.onMessage(base::text(102), base::text("touch.usb_not_found"), base::MessageIcon::Warning);
    return;
  }
  const auto& link = tool_->link();
  auto lock = std::make_unique<qx::ProgrammerLock>(link->serialNumber);
  if (!lock->held()) {
    logError(lock->refusal());
    tool_.reset();
    return;
  }
  if (!link->isOpen() && !link->open()) {
    logError(base::text("touch.usb_open_failed"));
    tool_.reset();
    return;
  }
  try {
    std::uint8_t info = 0;
    if (!tool_->tdConnect(info)) {
      tool_->setTargetPower(false);
      logError(base::text("touch.chip_not_connected"));
      link->close();
      return;
    }
    const float volts = tool_->targetVoltage();
    sink_.onLog(base::format(base::text("usb.target_voltage").c_str(), static_cast<double>(volts)), base::LogColour::Normal);
    tool_->screenMode(kTouchScreenMode);
  } catch (const qx::DeviceException& e) {
    powerOffQuietly();
    logError(base::format(base::text("touch.connect_error").c_str(), e.what()));
    // The session never started: the programmer is not left open behind it.
    link->close();
    return;
  }
  runState_ = 0;
  model_.reset(0);
  timers_.start(kPollTimerId, kPollInterval);
  lock_ = std::move(lock);
  chipConnected_ = usbConnected_ = true;
  setButtons({.connect = true, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true, .portBox = buttons_.portBox});
}

void UsbTransport::disconnect() {
  timers_.stop(kPollTimerId);
  chipConnected_ = false;
  try {
    tool_->tdDisconnect();
    tool_->setTargetPower(false);
  } catch (const qx::DeviceException&) {
    // Ending the session must work on a programmer that went away.
  }
  tool_->link()->close();
  lock_.reset();
  usbConnected_ = false;
  runState_ = 0;
  setButtons({.connect = true, .connectSaysDisconnect = false, .run = false, .stop = false, .save = false, .portBox = buttons_.portBox});
}

void UsbTransport::run() {
  if (!usbConnected_) return;
  timers_.start(kPollTimerId, kPollInterval);
  ButtonStates b = buttons_;
  b.run = false;
  b.stop = true;
  setButtons(b);
}

void UsbTransport::stop() {
  timers_.stop(kPollTimerId);
  ButtonStates b = buttons_;
  b.run = usbConnected_;
  b.stop = false;
  setButtons(b);
}

void UsbTransport::endForModeChange() {
  timers_.stop(kPollTimerId);
  if (usbConnected_) disconnect();
}

void UsbTransport::failPoll(const char* textName) {
  timers_.stop(kPollTimerId);
  logError(base::text(textName));
}

void UsbTransport::onTimer(int id) {
  if (id != kPollTimerId || !usbConnected_) return;
  if (runState_ != 1) {
    try {
      setUp();
    } catch (const qx::DeviceException& e) {
      runState_ = 0;
      timers_.stop(kPollTimerId);
      logError(base::format(base::text("touch.init_error").c_str(), e.what()));
    }
    return;
  }
  try {
    pollData();
  } catch (const qx::DeviceException& e) {
    // The target's touch library had no fresh data for this scan: a tick without data.
    if (e.code() == qx::kStatusTouchDataLost) return;
    timers_.stop(kPollTimerId);
    logError(base::format(base::text("touch.data_error").c_str(), e.what()));
  }
}

void UsbTransport::setUp() {
  std::uint8_t state = 0;
  if (!tool_->tdGetState(state)) return failPoll("touch.state_failed");
  if (state != 1) return;
  std::uint8_t count = 0;
  if (!tool_->tdGetChannelCount(count)) return failPoll("touch.count_failed");
  sink_.onChannelCount(count);
  model_.reset(count);
  if (!tool_->tdGetChannelNumber(count, model_.numbers)) return failPoll("touch.numbers_failed");
  if (!tool_->tdGetThresholdData(count, model_.thresholds)) return failPoll("touch.thresholds_failed");
  if (count > qx::kTouchBatch) {
    sink_.onLog(base::format(base::text("touch.too_many_channels").c_str(), int{count}, static_cast<int>(qx::kTouchBatch)),
                base::LogColour::Normal);
  }
  sink_.onClearTable();
  for (std::size_t i = 0; i < count; ++i) {
    sink_.onChannelRow(i, model_.numbers[i]);
    sink_.onChannelValue(i, Field::Threshold, model_.thresholds[i]);
  }
  // Only a finished set-up moves on to the data polls, so a failed one is redone by Run.
  runState_ = state;
}

void UsbTransport::pollData() {
  if (tool_->targetVoltage() < kMinimumVolts) {
    timers_.stop(kPollTimerId);
    tool_->setTargetPower(false);
    logError(base::text("touch.voltage_low"));
    return;
  }
  const auto count = static_cast<std::uint8_t>(model_.count);
  if (!tool_->tdGetKeysFlagSN(model_.fetchedKeyFlags)) return failPoll("touch.keys_failed");
  if (!tool_->tdGetThresholdData(count, model_.fetchedThresholds)) return failPoll("touch.thresholds_failed");
  if (!tool_->tdGetBaselineData(count, model_.fetchedBaselines)) return failPoll("touch.baseline_failed");
  if (!tool_->tdGetRawData(count, model_.fetchedCurrents)) return failPoll("touch.raw_failed");
  if (!tool_->tdGetRefChData(model_.fetchedRefBaseline, model_.fetchedRefCurrent)) return failPoll("touch.reference_failed");
  showChanges();
  sink_.onSample(model_, timers_.now());
}

void UsbTransport::showChanges() {
  ChannelModel& m = model_;
  for (std::size_t i = 0; i < m.count; ++i) {
    if (m.fetchedThresholds[i] != m.thresholds[i]) {
      m.thresholds[i] = m.fetchedThresholds[i];
      sink_.onChannelValue(i, Field::Threshold, m.thresholds[i]);
    }
    if (m.fetchedBaselines[i] != m.baselines[i]) {
      m.baselines[i] = m.fetchedBaselines[i];
      sink_.onChannelValue(i, Field::Baseline, m.baselines[i]);
    }
    if (m.fetchedCurrents[i] != m.currents[i]) {
      m.currents[i] = m.fetchedCurrents[i];
      sink_.onChannelValue(i, Field::Current, m.currents[i]);
    }
    const std::int32_t diff = difference(m.baselines[i], m.currents[i]);
    if (diff != m.differences[i]) {
      m.differences[i] = diff;
      sink_.onChannelValue(i, Field::Difference, diff);
    }
  }
  if (m.fetchedKeyFlags != m.keyFlags) {
    m.keyFlags = m.fetchedKeyFlags;
    sink_.onKeyFlags(m.keyFlags);
  }
  if (m.fetchedRefBaseline != m.refBaseline) {
    m.refBaseline = m.fetchedRefBaseline;
    sink_.onReference(Field::Baseline, m.refBaseline);
  }
  if (m.fetchedRefCurrent != m.refCurrent) {
    m.refCurrent = m.fetchedRefCurrent;
    sink_.onReference(Field::Current, m.refCurrent);
  }
  const std::int32_t refDiff = difference(m.refBaseline, m.refCurrent);
  if (refDiff != m.refDifference) {
    m.refDifference = refDiff;
    sink_.onReference(Field::Difference, refDiff);
  }
}

void UsbTransport::thresholdChanged(std::size_t index, std::uint16_t value) {
  if (index >= model_.count || !usbConnected_) return;
  model_.thresholds[index] = value;
  // A set frame holds 30 values and always starts at channel 0: later channels cannot be reached.
  if (index >= qx::kTouchBatch) {
    logError(base::format(base::text("touch.set_error").c_str(), qx::statusMessage(qx::kStatusOutOfRange).c_str()));
    return;
  }
  const std::size_t n = std::min(model_.count, qx::kTouchBatch);
  try {
    if (!tool_->tdSetThresholdData(std::span<const std::uint16_t>(model_.thresholds.data(), n))) {
      logError(base::text("touch.set_failed"));
    }
  } catch (const qx::DeviceException& e) {
    timers_.stop(kPollTimerId);
    logError(base::format(base::text("touch.set_error").c_str(), e.what()));
  }
}

std::optional<ExportTable> UsbTransport::exportTable() const {
  return ExportTable{model_.numbers, model_.thresholds};
}

}  // namespace touch
