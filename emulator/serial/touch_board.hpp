#pragma once
// A touch debugging board on a serial line, with a touch chip behind it. It waits at 1200 baud for
// the host's link request (55 01 11 10), acknowledges it, moves to 115200, links the chip a moment
// later (the host reopens its port meanwhile) and reports the channel count and list; then, while
// running, it pushes key-flag and current frames every cycle, baselines every second cycle and
// thresholds and the reference channel every tenth. Run and Stop start and stop the stream,
// threshold writes reach the chip, and a power cycle (or two seconds without the host's keep-alive
// poll) drops the chip and goes back to waiting at 1200 baud.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "emulator/programmer/touch_sensor.hpp"
#include "emulator/serial/device.hpp"

namespace emulator::serial {

struct TouchBoardConfig {
  int channels = 12;
  // Time between two cycles of data frames; 0: as fast as the line takes them.
  Micros period{50000};
  std::uint32_t seed = 0x2545F491;
};

struct TouchBoardFaults {
  bool noAck = false;                  // the link request is never answered
  bool chipRefused = false;            // the chip link is answered with a failure status
  std::size_t badChecksumEvery = 0;    // every n-th data frame carries a wrong checksum
  std::size_t noiseEvery = 0;          // line noise in front of every n-th data frame
  std::size_t oversizeEvery = 0;       // a frame with LEN above 250 in front of every n-th data frame
  std::size_t unplugAfterFrames = 0;   // the cable goes after this many data frames
  std::size_t unplugAfterSeconds = 0;  // ... or after this many seconds of streaming
};

class TouchBoard final : public SerialDevice {
 public:
  static constexpr std::uint32_t kLinkRate = 1200;
  static constexpr std::uint32_t kDataRate = 115200;

  explicit TouchBoard(TouchBoardConfig config = {}, TouchBoardFaults faults = {});

  std::uint32_t initialRate() const override { return kLinkRate; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  void onSendQueueEmpty(Wire& wire) override;
  const char* productName() const override { return "QUBRIX emulated touch debugging board"; }
  // Only the host's requests are logged: the stream would fill the log.
  bool logsWhatItSends() const override { return false; }

  bool chipLinked() const { return stage_ == Stage::Stopped || stage_ == Stage::Running; }
  bool running() const { return stage_ == Stage::Running; }
  // Data frames (0x83..0x88) sent intact, and those sent with a wrong checksum.
  std::size_t dataFramesSent() const { return dataFrames_; }
  std::size_t badFramesSent() const { return badFrames_; }
  const programmer::TouchSensor& sensor() const { return sensor_; }

 private:
  enum class Stage { WaitLink, Stopped, Running };

  void request(const std::vector<std::uint8_t>& frame, Wire& wire);
  void linkChip(Wire& wire);
  void powerDown(Wire& wire);
  void sendDataFrame(std::uint8_t type, const std::vector<std::uint8_t>& data, Wire& wire);
  std::vector<std::uint8_t> values(std::uint16_t (programmer::TouchSensor::*get)(int) const) const;

  TouchBoardConfig config_;
  TouchBoardFaults faults_;
  programmer::TouchSensor sensor_;
  Stage stage_ = Stage::WaitLink;
  std::vector<std::uint8_t> rx_;
  std::size_t cycle_ = 0;
  std::size_t cyclesSincePoll_ = 0;
  std::size_t dataFrames_ = 0;
  std::size_t badFrames_ = 0;
  std::size_t framesPushed_ = 0;
};

}  // namespace emulator::serial
