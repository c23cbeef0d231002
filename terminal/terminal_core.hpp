#pragma once
// The serial assistant without widgets: the receive display, the send line with its hex form,
// timed sending on timer 11, opening and closing the line, Save Data and a continuous receive log.
// The window's panel, the command line and the tests drive it alike; received bytes come in
// through onBytes in the order they arrived.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "base/timer.hpp"
#include "terminal/clock.hpp"
#include "terminal/receive_display.hpp"
#include "terminal/terminal_port.hpp"
#include "terminal/terminal_sink.hpp"

namespace terminal {

struct TerminalSettings {
  bool hexDisplay = false;
  bool packetDisplay = false;
  bool hexSend = false;
  int packetTimeoutMs = 50;
  int sendIntervalMs = 100;
  int bytesPerLine = 0;
  bool autoClear = false;
};

class TerminalCore {
 public:
  static constexpr int kTimedSendTimer = 11;
  // While a lost line is waited for: another try to open it at every tick.
  static constexpr int kReopenTimer = 12;
  static constexpr base::Millis kReopenInterval{500};

  TerminalCore(TerminalSink& sink, TerminalPort& port, base::TimerService& timers, const LocalClock& clock);
  ~TerminalCore();
  TerminalCore(const TerminalCore&) = delete;
  TerminalCore& operator=(const TerminalCore&) = delete;

  // Settings as read at start-up; nothing is cleared.
  void applySettings(const TerminalSettings& settings);
  TerminalSettings settings() const;

  // The panel's options, each with its rule. The setters that take a number return false when
  // they ignore it (0 for the timeout and the interval, a negative count).
  void setHexDisplay(bool on);
  void setPacketDisplay(bool on);
  void setAutoClear(bool on);
  bool setPacketTimeout(int ms);
  bool setBytesPerLine(int count);
  bool setSendInterval(int ms);

  // Received bytes, stamped now or when the reader saw them. Stamps of one feeder share one clock.
  void onByte(std::uint8_t byte);
  void onBytes(std::span<const std::uint8_t> bytes);
  void onBytes(std::span<const std::uint8_t> bytes, const Stamp& at);
  Stamp stampNow() const;

  // "Empty Data": the pane, the received text and the count.
  void clear();
  const std::string& receivedText() const { return display_.receivedText(); }
  std::uint64_t receivedCount() const { return display_.receivedCount(); }
  const ReceiveDisplay& display() const { return display_; }
  // The view emptied its pane by itself ("&Empty"); the received text and count stay.
  void onPaneEmptied() { display_.paneEmptied(); }

  // "&Open Serial Port": closes an open line, opens a closed one.
  void toggleOpen();
  bool openPort();
  void closePort();
  // A new port or rate for an open line: close, pause, open again; timed sending goes on.
  void reopen(base::Millis pause);
  // The line went away under us (an adapter pulled): timed sending stops, the button says "Open",
  // and "串口通信出错" is shown once.
  void onPortLost();

  // Off by default: after a lost line, the same device path is opened again once it is back.
  void setAutoReopen(bool on);
  bool autoReopen() const { return autoReopen_; }

  // "&Send" with the send line's text; false when nothing was sent.
  bool send(const std::string& line);
  // HEX send toggled: the send line's new text.
  std::string setHexSend(bool on, const std::string& line);
  // "Scheduled sending" toggled; `line` is what each tick sends until the next call of setSendLine.
  void setTimedSending(bool on, const std::string& line);
  void setSendLine(const std::string& line) { sendLine_ = line; }
  bool timedSending() const { return timedSending_; }
  // Fires of the timer service; ids other than 11 and 12 are not the terminal's.
  void onTimer(int id);

  // "Save Data": the received text into `folder`, named after the local time; the path written or
  // nothing (a message was shown).
  std::optional<std::filesystem::path> saveReceived(const std::filesystem::path& folder);

  // Every received byte, as it came, appended to `file` until stopLog; false when it cannot be opened.
  bool startLog(const std::filesystem::path& file);
  void stopLog();
  bool logging() const { return log_ != nullptr; }

 private:
  bool sendBytes(const std::string& line, bool fromTimer);
  void stopTimedSending();
  void message(const std::string& text);

  TerminalSink& sink_;
  TerminalPort& port_;
  base::TimerService& timers_;
  const LocalClock& clock_;
  ReceiveDisplay display_;
  bool hexSend_ = false;
  int sendIntervalMs_ = 100;
  bool timedSending_ = false;
  bool autoReopen_ = false;
  std::string sendLine_;
  std::FILE* log_ = nullptr;
};

// "uart_rx_data_save_" and the local time as "%4d-%2d-%2d-%2d-%2d-%2d%3d" (blank-padded), ".txt".
std::string saveFileName(const LocalTime& t);
// The executable's folder when it can be written, else $XDG_DATA_HOME/QUBRIX (created).
std::filesystem::path saveFolder();

}  // namespace terminal
