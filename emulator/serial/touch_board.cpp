#include "emulator/serial/touch_board.hpp"

#include <algorithm>

namespace emulator::serial {
namespace {

constexpr std::uint8_t kHostStart = 0x55;
constexpr std::uint8_t kBoardStart = 0xAA;
constexpr std::uint8_t kCmdSetThreshold = 0x03;
constexpr std::uint8_t kCmdRun = 0x04;
constexpr std::uint8_t kCmdStop = 0x05;
constexpr std::uint8_t kCmdPoll = 0x0A;
constexpr std::uint8_t kCmdLink = 0x11;
constexpr std::uint8_t kCmdPowerCycle = 0x22;

constexpr std::uint8_t kAck = 0x80;
constexpr std::uint8_t kCount = 0x81;
constexpr std::uint8_t kList = 0x82;
constexpr std::uint8_t kBaseline = 0x83;
constexpr std::uint8_t kCurrent = 0x84;
constexpr std::uint8_t kThreshold = 0x85;
constexpr std::uint8_t kRefBaseline = 0x86;
constexpr std::uint8_t kRefCurrent = 0x87;
constexpr std::uint8_t kKeyFlags = 0x88;

// The host reopens its port at the data rate after the link acknowledgement (a close of about
// 100 ms and a 10 ms settle); the chip answers well after that.
constexpr Micros kChipLinkTime{400000};
constexpr Micros kListTime{50000};
// The longest host frame: 55 LEN CMD idx hi lo chk.
constexpr std::size_t kMaxRequest = 16;
// Without the host's keep-alive poll for this long the board takes the host as gone.
constexpr std::uint64_t kPollSilenceMicros = 2'000'000;

std::vector<std::uint8_t> frame(std::uint8_t type, const std::vector<std::uint8_t>& data) {
  const auto length = static_cast<std::uint8_t>(data.size() + 1);
  std::vector<std::uint8_t> out{kBoardStart, length, type};
  std::uint8_t sum = length ^ type;
  for (std::uint8_t b : data) sum ^= b;
  out.insert(out.end(), data.begin(), data.end());
  out.push_back(sum);
  return out;
}

std::vector<std::uint8_t> be16(std::uint16_t v) { return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}; }

bool every(std::size_t n, std::size_t count) { return n != 0 && count % n == 0; }

}  // namespace

TouchBoard::TouchBoard(TouchBoardConfig config, TouchBoardFaults faults)
    : config_(config), faults_(faults), sensor_(config.channels, config.seed) {}

void TouchBoard::onReset(Wire& wire) {
  // Still streaming to a host that polls: the line is busy, not idle.
  if (stage_ == Stage::Running) return;
  powerDown(wire);
}

void TouchBoard::powerDown(Wire& wire) {
  wire.discardQueued();
  stage_ = Stage::WaitLink;
  rx_.clear();
  wire.setRate(kLinkRate);
}

void TouchBoard::onByte(std::uint8_t byte, Wire& wire) {
  if (rx_.empty() && byte != kHostStart) return;
  rx_.push_back(byte);
  if (rx_.size() < 2) return;
  const std::size_t length = rx_[1];
  if (length == 0 || length + 3 > kMaxRequest) {
    rx_.clear();
    return;
  }
  if (rx_.size() < length + 3) return;
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < length + 2; ++i) sum ^= rx_[i];
  const std::vector<std::uint8_t> got = std::move(rx_);
  rx_.clear();
  if (sum == got.back()) request(got, wire);
}

void TouchBoard::request(const std::vector<std::uint8_t>& f, Wire& wire) {
  wire.noteRequest(f);
  const std::uint8_t command = f[2];
  switch (command) {
    case kCmdLink:
      if (stage_ == Stage::WaitLink && !faults_.noAck) linkChip(wire);
      break;
    case kCmdRun:
      if (stage_ == Stage::Stopped) stage_ = Stage::Running;
      break;
    case kCmdStop:
      // The cycle on the line is finished; no new one starts.
      if (stage_ == Stage::Running) stage_ = Stage::Stopped;
      break;
    case kCmdPoll: cyclesSincePoll_ = 0; break;
    case kCmdSetThreshold:
      if (f[1] == 4 && f[3] < sensor_.channels()) sensor_.setThreshold(f[3], static_cast<std::uint16_t>(f[4] << 8 | f[5]));
      break;
    case kCmdPowerCycle: powerDown(wire); break;
    default: break;
  }
}

void TouchBoard::linkChip(Wire& wire) {
  wire.send(frame(kAck, {0x00}));
  wire.setRate(kDataRate);
  wire.busy(kChipLinkTime);
  if (faults_.chipRefused) {
    wire.send(frame(kAck, {0x01}));
    wire.setRate(kLinkRate);
    return;
  }
  wire.send(frame(kAck, {0x00}));
  wire.busy(kListTime);
  const auto n = static_cast<std::uint8_t>(sensor_.channels());
  wire.send(frame(kCount, {n}));
  std::vector<std::uint8_t> list{n};
  for (int i = 0; i < n; ++i) list.push_back(sensor_.channelNumber(i));
  wire.send(frame(kList, list));
  stage_ = Stage::Running;
  cycle_ = cyclesSincePoll_ = 0;
}

std::vector<std::uint8_t> TouchBoard::values(std::uint16_t (programmer::TouchSensor::*get)(int) const) const {
  std::vector<std::uint8_t> data{static_cast<std::uint8_t>(sensor_.channels())};
  for (int i = 0; i < sensor_.channels(); ++i) {
    data.push_back(static_cast<std::uint8_t>(i));
    const auto v = be16((sensor_.*get)(i));
    data.insert(data.end(), v.begin(), v.end());
  }
  return data;
}

void TouchBoard::sendDataFrame(std::uint8_t type, const std::vector<std::uint8_t>& data, Wire& wire) {
  const std::size_t n = ++framesPushed_;
  if (every(faults_.noiseEvery, n)) wire.send(std::vector<std::uint8_t>(std::begin(kNoise), std::end(kNoise)));
  if (every(faults_.oversizeEvery, n)) {
    // LEN 251: the host drops it at once, then skips its zero body byte by byte.
    std::vector<std::uint8_t> over{kBoardStart, 251, type};
    over.resize(254, 0x00);
    wire.send(over);
  }
  std::vector<std::uint8_t> out = frame(type, data);
  if (every(faults_.badChecksumEvery, n)) {
    out.back() ^= 0x5A;
    ++badFrames_;
  } else {
    ++dataFrames_;
  }
  wire.send(out);
  if (faults_.unplugAfterFrames != 0 && n >= faults_.unplugAfterFrames) wire.unplug();
}

void TouchBoard::onSendQueueEmpty(Wire& wire) {
  if (stage_ != Stage::Running) return;
  const std::uint64_t periodMicros = static_cast<std::uint64_t>(std::max<long long>(config_.period.count(), 0));
  if (periodMicros != 0 && ++cyclesSincePoll_ * periodMicros > kPollSilenceMicros) {
    powerDown(wire);
    return;
  }
  sensor_.step();
  ++cycle_;
  // The current frame goes last: the host takes a cycle as complete when it arrives.
  if (cycle_ % 2 == 1) sendDataFrame(kBaseline, values(&programmer::TouchSensor::baseline), wire);
  if (cycle_ % 10 == 1) {
    sendDataFrame(kThreshold, values(&programmer::TouchSensor::threshold), wire);
    sendDataFrame(kRefBaseline, be16(sensor_.referenceValue()), wire);
    sendDataFrame(kRefCurrent, be16(sensor_.referenceCurrent()), wire);
  }
  const std::uint64_t flags = sensor_.keyFlags();
  std::vector<std::uint8_t> flagBytes;
  if (sensor_.channels() > 32) {
    const auto hi = be16(static_cast<std::uint16_t>(flags >> 32));
    flagBytes.insert(flagBytes.end(), hi.begin(), hi.end());
  }
  for (int shift = 24; shift >= 0; shift -= 8) flagBytes.push_back(static_cast<std::uint8_t>(flags >> shift));
  sendDataFrame(kKeyFlags, flagBytes, wire);
  sendDataFrame(kCurrent, values(&programmer::TouchSensor::raw), wire);
  wire.busy(config_.period);
  if (faults_.unplugAfterSeconds != 0 && periodMicros != 0 && cycle_ * periodMicros >= faults_.unplugAfterSeconds * 1'000'000) {
    wire.unplug();
  }
}

}  // namespace emulator::serial
