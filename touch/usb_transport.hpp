#pragma once
// The touch session over the QUBRIX Tool: connect and set-up, then a 10 ms poll on timer 1 that
// reads the target's voltage, key flags, thresholds, baselines, raw values and reference channel
// (seven transactions at most) and reports only the values that changed.
#include <functional>
#include <memory>

#include "base/timer.hpp"
#include "device/programmer_lock.hpp"
#include "touch/channel_model.hpp"
#include "touch/session_sink.hpp"
#include "touch/transport.hpp"

namespace qx {
class TouchDebug;
}

namespace touch {

inline constexpr int kPollTimerId = 1;
inline constexpr base::Millis kPollInterval{10};
// Below this the target is not supplied well enough to measure; polling ends and power goes off.
inline constexpr float kMinimumVolts = 2.0F;

using ToolFinder = std::function<std::shared_ptr<qx::TouchDebug>()>;

class UsbTransport final : public Transport {
 public:
  UsbTransport(base::TimerService& timers, SessionSink& sink, ToolFinder finder);
  ~UsbTransport() override;

  void toggleConnect() override;
  bool active() const override { return usbConnected_; }
  bool chipConnected() const override { return chipConnected_; }
  void run() override;
  void stop() override;
  void thresholdChanged(std::size_t index, std::uint16_t value) override;
  void onTimer(int id) override;
  std::optional<ExportTable> exportTable() const override;
  void endForModeChange() override;

  const ChannelModel& model() const { return model_; }
  // The handle of a registered session, for the power button; null otherwise.
  std::shared_ptr<qx::TouchDebug> sessionTool() const { return usbConnected_ ? tool_ : nullptr; }
  // Whether the target's channel set-up is done and data are polled.
  bool ready() const { return runState_ == 1; }

 private:
  void connect();
  void disconnect();
  void setUp();
  void pollData();
  void showChanges();
  void failPoll(const char* textName);
  void logError(const std::string& line);
  void setButtons(const ButtonStates& states);
  void powerOffQuietly();

  base::TimerService& timers_;
  SessionSink& sink_;
  ToolFinder finder_;
  std::shared_ptr<qx::TouchDebug> tool_;
  // Held while connected: another process's job would switch the target's power under the session.
  std::unique_ptr<qx::ProgrammerLock> lock_;
  ChannelModel model_;
  std::uint8_t runState_ = 0;
  bool usbConnected_ = false;
  bool chipConnected_ = false;
  ButtonStates buttons_;
};

}  // namespace touch
