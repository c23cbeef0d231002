#include "touch/link_frames.hpp"

namespace touch {

LinkBytes TOUCH_CMD_SET_THRESHOLD(std::uint8_t index, std::uint16_t value) {
  const auto hi = static_cast<std::uint8_t>(value >> 8);
  const auto lo = static_cast<std::uint8_t>(value & 0xFF);
  return {kHostStart, 0x04, kSetThresholdCommand, index, hi, lo, static_cast<std::uint8_t>(0x07 ^ index ^ hi ^ lo)};
}

LinkBytes boardFrame(std::uint8_t type, const LinkBytes& data) {
  const auto length = static_cast<std::uint8_t>(data.size() + 1);
  LinkBytes out{kBoardStart, length, type};
  std::uint8_t sum = length ^ type;
  for (std::uint8_t b : data) {
    out.push_back(b);
    sum ^= b;
  }
  out.push_back(sum);
  return out;
}

void BoardFrameParser::reset() {
  fill_ = 0;
  step_ = Step::Start;
  frame_.data.clear();
}

std::optional<BoardFrame> BoardFrameParser::feed(std::uint8_t byte) {
  buffer_[fill_] = byte;
  // The write position wraps at the buffer's end; a frame is never longer than 253 bytes, so a
  // wrap never meets one in progress.
  fill_ = (fill_ + 1) % kBufferSize;
  if (buffer_[0] != kBoardStart) {
    reset();
    return std::nullopt;
  }
  switch (step_) {
    case Step::Start:
      step_ = Step::Length;
      break;
    case Step::Length:
      if (byte > kMaxBoardLength) {
        reset();
        break;
      }
      length_ = byte;
      xor_ = byte;
      step_ = Step::Type;
      break;
    case Step::Type:
      if (byte < TOUCH_ACK || byte > kLastBoardType) {
        reset();
        break;
      }
      frame_.type = byte;
      frame_.data.clear();
      xor_ ^= byte;
      index_ = 1;
      step_ = Step::Data;
      break;
    case Step::Data:
      frame_.data.push_back(byte);
      xor_ ^= byte;
      if (++index_ >= length_) step_ = Step::Checksum;
      break;
    case Step::Checksum: {
      const bool good = byte == xor_;
      std::optional<BoardFrame> done;
      if (good) done = std::move(frame_);
      reset();
      return done;
    }
  }
  return std::nullopt;
}

}  // namespace touch
