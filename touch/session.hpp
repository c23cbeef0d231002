#pragma once
// The touch panel's logic without its widgets: which transport the port box selects, the Connect,
// Run, Stop, Save and Power buttons, the thresholds edited in the table, and the end of a session
// when the window leaves Touch debug mode. The serial transport plugs in through setSerialTransport.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/timer.hpp"
#include "touch/session_sink.hpp"
#include "touch/transport.hpp"
#include "touch/usb_transport.hpp"

namespace touch {

inline constexpr const char* kUsbPortName = "USB";

// The text of a confirmed threshold cell: decimal digits only (blanks around are allowed); values
// past the 16-bit range are taken as 65535. None for anything else.
std::optional<std::uint16_t> parseThreshold(std::string_view text);

class TouchSession {
 public:
  TouchSession(base::TimerService& timers, SessionSink& sink, ToolFinder finder);
  ~TouchSession();
  TouchSession(const TouchSession&) = delete;
  TouchSession& operator=(const TouchSession&) = delete;

  // A port box entry: "USB" (any case) or a COM port's name.
  void selectPort(std::string name);
  bool usbSelected() const;
  // The transport for a COM port; without one, Connect on a COM port does nothing.
  void setSerialTransport(std::unique_ptr<Transport> serial);
  Transport* serialTransport() { return serial_.get(); }

  void pressConnect();
  void pressRun();
  void pressStop();
  // Writes Touchconfig.TXT into exportDirectory() and reports it for opening.
  void pressSave();
  // Writes the export to `file`; false when there was nothing to export or it could not be written.
  bool saveTo(const std::filesystem::path& file);
  void pressPower();
  // The table's confirmed edit of the threshold at `index`; reaches the target only while the chip
  // is connected.
  void thresholdEdited(std::size_t index, std::string_view text);

  void onTimer(int id);
  // A USB session is registered or a serial link is up: the window's guards ask this.
  bool active() const;
  bool chipConnected() const;
  void endForModeChange();

  UsbTransport& usb() { return usb_; }
  const UsbTransport& usb() const { return usb_; }

 private:
  // The transport that is active, else the one the port box selects (null: a COM port without one).
  Transport* current();
  const Transport* current() const;

  SessionSink& sink_;
  ToolFinder finder_;
  UsbTransport usb_;
  std::unique_ptr<Transport> serial_;
  std::string port_ = kUsbPortName;
};

}  // namespace touch
