#include "terminal/terminal_core.hpp"

#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/whole_file.hpp"
#include "terminal/hex_text.hpp"

namespace terminal {

TerminalCore::TerminalCore(TerminalSink& sink, TerminalPort& port, base::TimerService& timers,
                           const LocalClock& clock)
    : sink_(sink), port_(port), timers_(timers), clock_(clock) {}

TerminalCore::~TerminalCore() { stopLog(); }

void TerminalCore::applySettings(const TerminalSettings& s) {
  ReceiveOptions& o = display_.options();
  o.hexDisplay = s.hexDisplay;
  o.packetDisplay = s.packetDisplay;
  o.autoClear = s.autoClear;
  if (s.packetTimeoutMs > 0) o.packetTimeoutMs = s.packetTimeoutMs;
  if (s.bytesPerLine >= 0) o.bytesPerLine = s.bytesPerLine;
  hexSend_ = s.hexSend;
  if (s.sendIntervalMs > 0) sendIntervalMs_ = s.sendIntervalMs;
}

TerminalSettings TerminalCore::settings() const {
  const ReceiveOptions& o = display_.options();
  return {o.hexDisplay, o.packetDisplay, hexSend_, o.packetTimeoutMs, sendIntervalMs_, o.bytesPerLine, o.autoClear};
}

void TerminalCore::setHexDisplay(bool on) {
  clear();
  display_.options().hexDisplay = on;
}

void TerminalCore::setPacketDisplay(bool on) {
  display_.options().packetDisplay = on;
  if (!on) display_.resetCount();
}

void TerminalCore::setAutoClear(bool on) { display_.options().autoClear = on; }

bool TerminalCore::setPacketTimeout(int ms) {
  if (ms <= 0) return false;
  display_.options().packetTimeoutMs = ms;
  return true;
}

bool TerminalCore::setBytesPerLine(int count) {
  if (count < 0) return false;
  display_.options().bytesPerLine = count;
  clear();
  return true;
}

bool TerminalCore::setSendInterval(int ms) {
  if (ms <= 0) return false;
  sendIntervalMs_ = ms;
  if (timedSending_ && timers_.running(kTimedSendTimer)) timers_.start(kTimedSendTimer, base::Millis{ms});
  return true;
}

Stamp TerminalCore::stampNow() const { return {timers_.now(), clock_.now()}; }

void TerminalCore::onByte(std::uint8_t byte) { onBytes(std::span<const std::uint8_t>(&byte, 1)); }

void TerminalCore::onBytes(std::span<const std::uint8_t> bytes) { onBytes(bytes, stampNow()); }

void TerminalCore::onBytes(std::span<const std::uint8_t> bytes, const Stamp& at) {
  if (bytes.empty()) return;
  if (log_ != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), log_);
    std::fflush(log_);
  }
  const DisplayUpdate update = display_.feed(bytes, at);
  if (!update.empty()) sink_.onDisplay(update);
}

void TerminalCore::clear() {
  display_.clear();
  DisplayUpdate update;
  update.replaced = true;
  sink_.onDisplay(update);
}

void TerminalCore::toggleOpen() {
  if (port_.isOpen()) {
    closePort();
  } else {
    openPort();
  }
}

bool TerminalCore::openPort() {
  timers_.stop(kReopenTimer);
  const std::string path = port_.path();
  if (path.empty()) {
    message(base::text("serial.choose_port"));
    return false;
  }
  sink_.onLog(base::format("--> UartCOM=%s", path.c_str()), base::LogColour::Normal);
  sink_.onLog(base::format("--> UartBaudRate=%d bps", static_cast<int>(port_.baud())), base::LogColour::Normal);
  if (!port_.open()) {
    sink_.onMessage(base::text(102), base::text(192), base::MessageIcon::Warning);
    sink_.onPortOpenChanged(false);
    return false;
  }
  sink_.onPortOpenChanged(true);
  if (timedSending_) timers_.start(kTimedSendTimer, base::Millis{sendIntervalMs_});
  return true;
}

void TerminalCore::closePort() {
  timers_.stop(kTimedSendTimer);
  timers_.stop(kReopenTimer);
  port_.close();
  sink_.onPortOpenChanged(false);
  timedSending_ = false;
  sink_.onTimedSendChanged(false);
}

void TerminalCore::reopen(base::Millis pause) {
  timers_.stop(kTimedSendTimer);
  port_.close();
  timers_.wait(pause);
  if (!port_.open()) {
    sink_.onMessage(base::text(102), base::text(192), base::MessageIcon::Warning);
    sink_.onPortOpenChanged(false);
    stopTimedSending();
    return;
  }
  sink_.onPortOpenChanged(true);
  if (timedSending_) timers_.start(kTimedSendTimer, base::Millis{sendIntervalMs_});
}

void TerminalCore::onPortLost() {
  stopTimedSending();
  port_.close();
  sink_.onPortOpenChanged(false);
  sink_.onMessage(base::text("caption.error"), base::text("isp.port_not_open"), base::MessageIcon::Error);
  if (autoReopen_) timers_.start(kReopenTimer, kReopenInterval);
}

void TerminalCore::setAutoReopen(bool on) {
  autoReopen_ = on;
  if (!on) timers_.stop(kReopenTimer);
}

void TerminalCore::message(const std::string& text) {
  sink_.onMessage(base::text(102), text, base::MessageIcon::Information);
}

bool TerminalCore::send(const std::string& line) {
  if (!port_.isOpen()) {
    message(base::text("serial.open_first"));
    return false;
  }
  return sendBytes(line, false);
}

bool TerminalCore::sendBytes(const std::string& line, bool fromTimer) {
  sink_.onLog("--> " + line, base::LogColour::Normal);
  std::vector<std::uint8_t> bytes;
  if (hexSend_) {
    HexParse parsed = parseHex(line);
    if (parsed.error != HexError::None) {
      // A tick would show the same box again at every interval.
      if (fromTimer) stopTimedSending();
      message(hexErrorText(parsed.error));
      return false;
    }
    bytes = std::move(parsed.bytes);
  } else {
    // All of the text's bytes: a character of several UTF-8 bytes goes out whole.
    bytes.assign(line.begin(), line.end());
  }
  if (bytes.empty()) {
    if (fromTimer) stopTimedSending();
    message(base::text("serial.nothing_to_send"));
    return false;
  }
  if (!port_.write(bytes)) {
    // The port has said why, once; further ticks would only repeat it.
    if (fromTimer) stopTimedSending();
    return false;
  }
  return true;
}

std::string TerminalCore::setHexSend(bool on, const std::string& line) {
  hexSend_ = on;
  if (on) return formatHex(line);
  const HexParse parsed = parseHex(line);
  if (parsed.error != HexError::None) {
    message(hexErrorText(parsed.error));
    return {};
  }
  return std::string(parsed.bytes.begin(), parsed.bytes.end());
}

void TerminalCore::setTimedSending(bool on, const std::string& line) {
  sendLine_ = line;
  if (!on) {
    timedSending_ = false;
    timers_.stop(kTimedSendTimer);
    return;
  }
  timedSending_ = true;
  if (!port_.isOpen() && !openPort()) {
    timedSending_ = false;
    sink_.onTimedSendChanged(false);
    return;
  }
  timers_.start(kTimedSendTimer, base::Millis{sendIntervalMs_});
}

void TerminalCore::stopTimedSending() {
  timers_.stop(kTimedSendTimer);
  if (!timedSending_) return;
  timedSending_ = false;
  sink_.onTimedSendChanged(false);
}

void TerminalCore::onTimer(int id) {
  if (id == kReopenTimer) {
    // Quietly: the adapter is simply not back yet.
    if (port_.isOpen() || port_.open()) {
      timers_.stop(kReopenTimer);
      sink_.onLog(base::format("--> UartCOM=%s", port_.path().c_str()), base::LogColour::Normal);
      sink_.onPortOpenChanged(true);
    }
    return;
  }
  if (id != kTimedSendTimer || !timedSending_) return;
  if (port_.hasError() || !port_.isOpen()) {
    // The port reported the failure when it happened; ticking on would only repeat it.
    stopTimedSending();
    return;
  }
  sendBytes(sendLine_, true);
}

std::optional<std::filesystem::path> TerminalCore::saveReceived(const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / saveFileName(clock_.now());
  sink_.onLog("--> strPath " + file.string(), base::LogColour::Normal);
  if (!base::WriteWholeFile(file, display_.receivedText())) {
    sink_.onMessage(base::text(102), base::text(321), base::MessageIcon::Warning);
    return std::nullopt;
  }
  sink_.onSaved(file);
  return file;
}

bool TerminalCore::startLog(const std::filesystem::path& file) {
  stopLog();
  log_ = std::fopen(file.c_str(), "ab");
  return log_ != nullptr;
}

void TerminalCore::stopLog() {
  if (log_ != nullptr) std::fclose(log_);
  log_ = nullptr;
}

std::string saveFileName(const LocalTime& t) {
  return "uart_rx_data_save_" + base::format("%4d-%2d-%2d-%2d-%2d-%2d%3d", t.year, t.month, t.day, t.hour, t.minute,
                                             t.second, t.millisecond) +
         ".txt";
}

std::filesystem::path saveFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && ::access(exe.parent_path().c_str(), W_OK) == 0) return exe.parent_path();
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    data = std::filesystem::path(home) / ".local" / "share";
  } else {
    data = std::filesystem::temp_directory_path();
  }
  data /= "QUBRIX";
  std::filesystem::create_directories(data, ec);
  return data;
}

}  // namespace terminal
