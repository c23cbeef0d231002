#pragma once
// What a touch session reports: the shared log and message vocabulary, plus the channel table's
// operations, the panel's button states and, for the command line, every polled sample.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "base/report.hpp"
#include "base/timer.hpp"
#include "touch/channel_model.hpp"

namespace touch {

// The panel's buttons as a session leaves them.
struct ButtonStates {
  bool connect = true;          // enabled
  bool connectSaysDisconnect = false;
  bool run = false;
  bool stop = false;
  bool save = false;
  bool portBox = true;

  bool operator==(const ButtonStates&) const = default;
};

class SessionSink : public virtual base::Reporter {
 public:
  virtual void onClearTable() = 0;
  virtual void onChannelRow(std::size_t index, std::uint8_t number) = 0;
  virtual void onChannelValue(std::size_t index, Field field, std::int32_t value) = 0;
  // The channel count bounds the key-flag colouring.
  virtual void onChannelCount(std::size_t count) = 0;
  virtual void onKeyFlags(std::uint64_t flags) = 0;
  virtual void onReference(Field field, std::int32_t value) = 0;
  virtual void onButtons(const ButtonStates& states) = 0;
  // True: the power button offers to switch the power on.
  virtual void onPowerButton(bool offersPowerOn) = 0;
  // The exported file, to be opened with the desktop's default handler.
  virtual void onExported(const std::filesystem::path& /*file*/) {}
  // After every tick that brought data, the whole model as it now stands.
  virtual void onSample(const ChannelModel& /*model*/, base::Millis /*at*/) {}
};

}  // namespace touch
