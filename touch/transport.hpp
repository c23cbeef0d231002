#pragma once
// One way of carrying a touch session: the programmer over USB, or a debugging board on a serial
// line. The panel's buttons reach whichever transport the port box selects through this interface.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace touch {

// What "Save" writes: index → channel number and threshold.
struct ExportTable {
  std::vector<std::uint8_t> numbers;
  std::vector<std::uint16_t> thresholds;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // The port box's entry, for a transport that opens a port by name.
  virtual void portSelected(const std::string& /*name*/) {}

  // Connect pressed: starts the session when there is none, ends it otherwise.
  virtual void toggleConnect() = 0;
  // A USB session is registered or a serial link is up.
  virtual bool active() const = 0;
  // Only while set does an edited threshold reach the target.
  virtual bool chipConnected() const = 0;
  virtual void run() = 0;
  virtual void stop() = 0;
  virtual void thresholdChanged(std::size_t index, std::uint16_t value) = 0;
  // A timer this transport started has fired.
  virtual void onTimer(int id) = 0;
  // None: nothing is exported (a serial transport without a link).
  virtual std::optional<ExportTable> exportTable() const = 0;
  // The window leaves Touch debug mode: timers stop and a connected session is ended.
  virtual void endForModeChange() = 0;
};

}  // namespace touch
