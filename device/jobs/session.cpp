#include "device/commands.hpp"
#include "device/jobs/session.hpp"

#include <algorithm>
#include <chrono>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/access.hpp"
#include "device/jobs/firmware_version.hpp"
#include "firmware/mcu.hpp"

namespace usbjobs {

namespace cmd = qx::cmd;
namespace {

std::string logForm(const std::string& text) { return text.rfind("--> ", 0) == 0 ? text : "--> " + text; }

}  // namespace

EraseUnit chooseEraseUnit(const qx::QUBRIXTool& tool) {
  if (tool.eraseUnitA() != 0) return {tool.eraseUnitA(), 0};
  if (tool.eraseUnitB() != 0) return {tool.eraseUnitB(), 1};
  return {};
}

void Session::info(const std::string& text) { sink_.onLog(logForm(text), base::LogColour::Normal); }

void Session::error(const std::string& text) {
  if (facts_.failedStep.empty()) facts_.failedStep = step_;
  sink_.onLog(logForm(text), base::LogColour::Error);
}

void Session::reportFacts() {
  if (factsReported_) return;
  factsReported_ = true;
  if (tool_ != nullptr && tool_->firstDifference()) {
    facts_.firstDifference = tool_->firstDifference();
    // The programmer answered the differing piece with this status, not with an exception.
    if (!facts_.statusCode) facts_.statusCode = qx::kStatusVerifyFailed;
  }
  sink_.onFacts(facts_);
}

void Session::showPower(bool powered) {
  sink_.onPowerButton(powered ? PowerIcon::On : PowerIcon::Off,
                      base::text(powered ? "usb.power_button_off" : "usb.power_button_on"));
}

bool Session::takeAndOpen(const std::string& openFailedText) {
  step("open");
  const auto found = guarded([this] { return qx::toolWithSerial(serial_); });
  if (!found || *found == nullptr) {
    if (found) error(base::text(base::txt::kNoToolFound));
    return false;
  }
  auto lock = std::make_unique<qx::ProgrammerLock>((*found)->link()->serialNumber);
  if (!lock->held()) {
    error(lock->refusal());
    return false;
  }
  tool_ = *found;
  lock_ = std::move(lock);
  facts_.programmerSerial = qx::toolSerialNumber(tool_);
  if (!attempt([this] { return tool_->openAndIdentify(); })) {
    error(openFailedText);
    if (const std::string hint = qx::permissionHint(qx::deniedDevices()); !hint.empty()) error(hint);
    return false;
  }
  return true;
}

bool Session::checkFirmwareVersion() {
  step("identify");
  facts_.firmwareVersion = tool_->firmwareVersion();
  const auto version = parseFirmwareVersion(tool_->firmwareVersion());
  if (!version) {
    error(base::text("usb.version_invalid"));
    return false;
  }
  if (*version < kMinimumFirmware) {
    sink_.onMessage(base::text(base::txt::kTip), base::text("usb.version_too_low"), base::MessageIcon::Warning);
    return false;
  }
  info(base::format(base::text("usb.tool_version").c_str(), qx::toolProduct(tool_).c_str(),
                    tool_->firmwareVersion().c_str()));
  return true;
}

bool Session::connectTarget(const firmware::MCU& model) {
  step("connect");
  if (attempt([&] { return tool_->connect(firmware::modelWord(model), model.name, model.internalName); })) return true;
  attempt([this] { return tool_->screenState(cmd::kShowConnectFailed); });
  error(base::text(base::txt::kConnectFailed));
  return false;
}

void Session::reportConnected() {
  info(base::text(base::txt::kConnectedToTarget));
  if (const auto volts = guarded([this] { return tool_->targetVoltage(); })) {
    facts_.targetVoltage = *volts;
    info(base::format(base::text("usb.target_voltage").c_str(), static_cast<double>(*volts)));
  }
}

bool Session::unitLoop(std::uint64_t length, std::uint32_t unit, const std::atomic<bool>& running,
                       const std::function<bool(std::uint32_t, std::uint32_t)>& unitStep) {
  int shown = 0;
  for (std::uint64_t offset = 0; offset < length && running.load();) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(unit, length - offset));
    if (!attempt([&] { return unitStep(static_cast<std::uint32_t>(offset), chunk); })) return false;
    offset += chunk;
    const auto percent = static_cast<int>(offset * 100 / length);
    if (percent != shown) {
      shown = percent;
      if (!attempt([&] { return tool_->screenProgress(static_cast<std::uint8_t>(percent)); })) return false;
      sink_.onProgress(percent);
    }
  }
  return true;
}

void Session::finish() {
  reportFacts();
  if (tool_ != nullptr) {
    // The target is left unpowered whatever happened before; when that fails the user must know.
    bool off = false;
    try {
      off = tool_->setTargetPower(false);
    } catch (const std::exception& e) {
      base::trace("power off: %s\n", e.what());
    }
    if (off) {
      showPower(false);
    } else {
      error(base::text("usb.power_off_failed"));
      sink_.onPowerOffFailed();
    }
    tool_->link()->close();
    tool_.reset();
  }
  lock_.reset();
  sink_.onControlsEnabled(true);
}

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double secondsSince(std::int64_t startMs) { return static_cast<double>(nowMs() - startMs) / 1000.0; }

}  // namespace usbjobs
