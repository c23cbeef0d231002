#include "touch/session.hpp"

#include <algorithm>
#include <cctype>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/whole_file.hpp"
#include "touch/export.hpp"
#include "touch/power.hpp"

namespace touch {

std::optional<std::uint16_t> parseThreshold(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  unsigned long value = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    value = std::min(value * 10 + static_cast<unsigned long>(c - '0'), 0x10000UL);
  }
  return static_cast<std::uint16_t>(std::min(value, 0xFFFFUL));
}

TouchSession::TouchSession(base::TimerService& timers, SessionSink& sink, ToolFinder finder)
    : sink_(sink), finder_(finder), usb_(timers, sink, std::move(finder)) {
  sink_.onButtons(ButtonStates{});
  sink_.onPowerButton(true);
}

TouchSession::~TouchSession() = default;

void TouchSession::selectPort(std::string name) {
  port_ = std::move(name);
  if (serial_ != nullptr && !usbSelected()) serial_->portSelected(port_);
}

bool TouchSession::usbSelected() const {
  return std::equal(port_.begin(), port_.end(), std::string_view(kUsbPortName).begin(), std::string_view(kUsbPortName).end(),
                    [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}

Transport* TouchSession::current() {
  if (usb_.active()) return &usb_;
  if (serial_ != nullptr && serial_->active()) return serial_.get();
  return usbSelected() ? static_cast<Transport*>(&usb_) : serial_.get();
}

const Transport* TouchSession::current() const { return const_cast<TouchSession*>(this)->current(); }

void TouchSession::setSerialTransport(std::unique_ptr<Transport> serial) {
  serial_ = std::move(serial);
  if (serial_ != nullptr && !usbSelected()) serial_->portSelected(port_);
}

void TouchSession::pressConnect() {
  if (Transport* t = current()) t->toggleConnect();
}

void TouchSession::pressRun() {
  if (Transport* t = current()) t->run();
}

void TouchSession::pressStop() {
  if (Transport* t = current()) t->stop();
}

bool TouchSession::saveTo(const std::filesystem::path& file) {
  const Transport* t = current();
  const std::optional<ExportTable> table = t != nullptr ? t->exportTable() : std::nullopt;
  if (!table) return false;
  if (!base::WriteWholeFile(file, formatTouchConfig(table->numbers, table->thresholds))) {
    sink_.onLog("--> " + base::text(321) + " " + file.string(), base::LogColour::Error);
    return false;
  }
  sink_.onLog("--> " + base::format(base::text("firmware.cli.saved_to").c_str(), file.string().c_str()), base::LogColour::Normal);
  return true;
}

void TouchSession::pressSave() {
  const std::filesystem::path file = exportDirectory() / kExportFileName;
  if (saveTo(file)) sink_.onExported(file);
}

void TouchSession::pressPower() {
  if (!usbSelected()) return;
  sink_.onPowerButton(togglePower(finder_, usb_.sessionTool(), sink_));
}

void TouchSession::thresholdEdited(std::size_t index, std::string_view text) {
  Transport* t = current();
  if (t == nullptr || !t->chipConnected()) return;
  if (const auto value = parseThreshold(text)) t->thresholdChanged(index, *value);
}

void TouchSession::onTimer(int id) {
  usb_.onTimer(id);
  if (serial_ != nullptr) serial_->onTimer(id);
}

bool TouchSession::active() const { return usb_.active() || (serial_ != nullptr && serial_->active()); }

bool TouchSession::chipConnected() const {
  const Transport* t = current();
  return t != nullptr && t->chipConnected();
}

void TouchSession::endForModeChange() {
  usb_.endForModeChange();
  if (serial_ != nullptr) serial_->endForModeChange();
}

}  // namespace touch
