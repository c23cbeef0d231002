#pragma once
// The touch session over a serial line to a touch debugging board. The link is requested at 1200
// baud and, after the board's acknowledgement, reopened at 115200; timer 8 (10 ms) supervises each
// step for at most 100 ticks, timer 9 (100 ms) keeps the link alive with a poll once the chip is
// linked. The board pushes its values; they are kept per channel number and shown through the same
// table operations and ChannelModel as over USB. Everything runs on the thread of the timers.
#include <array>
#include <cstdint>

#include "base/timer.hpp"
#include "touch/channel_model.hpp"
#include "touch/link_frames.hpp"
#include "touch/serial_link.hpp"
#include "touch/session_sink.hpp"
#include "touch/transport.hpp"

namespace touch {

inline constexpr int kLinkTimerId = 8;
inline constexpr int kKeepAliveTimerId = 9;
inline constexpr base::Millis kLinkTick{10};
inline constexpr base::Millis kKeepAliveInterval{100};
inline constexpr int kAckTicks = 100;
inline constexpr std::uint32_t kLinkRequestBaud = 1200;
inline constexpr std::uint32_t kLinkDataBaud = 115200;

// The link step.
enum TouchOpration : std::uint8_t { TOUCH_APP_IDLE = 0, TOUCH_APP_LINK_TOOL = 1, TOUCH_APP_LINK_CHIP = 2, TOUCH_APP_EXIT = 3 };
// The last acknowledgement.
enum AckRecFlag : std::uint8_t { kAckNone = 0, kAckSuccess = 1, kAckFailure = 2 };

class SerialTransport final : public Transport {
 public:
  SerialTransport(SerialLink& link, base::TimerService& timers, SessionSink& sink);
  ~SerialTransport() override;

  void portSelected(const std::string& name) override { link_.setPort(name); }
  void toggleConnect() override;
  bool active() const override { return linkActive_; }
  bool chipConnected() const override { return chipConnected_; }
  void run() override;
  void stop() override;
  void thresholdChanged(std::size_t index, std::uint16_t value) override;
  void onTimer(int id) override;
  std::optional<ExportTable> exportTable() const override;
  void endForModeChange() override;

  // One byte received on the port.
  void onByte(std::uint8_t byte);
  // The port layer flagged an error (an adapter pulled, a failed write).
  void onPortError();

  TouchOpration step() const { return step_; }
  AckRecFlag ackRecFlag() const { return ack_; }
  bool running() const { return running_; }
  const ChannelModel& model() const { return model_; }

 private:
  void startLink();
  void stopLink();
  void linkTick();
  void chipLinked();
  void chipLinkFailed();
  void closeLink();
  void closePort();
  void send(std::span<const std::uint8_t> frame);
  void dispatch(const BoardFrame& frame);
  void channelList(const LinkBytes& data);
  void channelValues(Field field, const LinkBytes& data);
  void referenceValue(Field field, const LinkBytes& data);
  void keyFlags(const LinkBytes& data);
  // Lookups go no further than the channel count and the channel list.
  std::size_t lookupBound() const;
  void setButtons(const ButtonStates& states);

  SerialLink& link_;
  base::TimerService& timers_;
  SessionSink& sink_;
  BoardFrameParser parser_;
  bool linkActive_ = false;
  bool running_ = false;
  bool chipConnected_ = false;
  TouchOpration step_ = TOUCH_APP_IDLE;
  AckRecFlag ack_ = kAckNone;
  int ticks_ = 0;
  std::size_t channelCount_ = 0;
  // Per channel number: what the board reported last.
  std::array<std::uint32_t, 256> baselines_{};
  std::array<std::uint32_t, 256> currents_{};
  std::array<std::uint32_t, 256> thresholds_{};
  ChannelModel model_;
  ButtonStates buttons_;
};

}  // namespace touch
