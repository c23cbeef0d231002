#pragma once
// The touch debugging board's serial link: the frames the host sends (start byte 0x55) and the
// receiver of the frames the board pushes (start byte 0xAA, LEN at most 250, TYPE 0x80..0xA0, an XOR
// of LEN, TYPE and data last).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace touch {

using LinkBytes = std::vector<std::uint8_t>;

// Host commands, each sent as exactly these bytes.
inline constexpr std::array<std::uint8_t, 4> TOUCH_CMD_LINK{0x55, 0x01, 0x11, 0x10};
inline constexpr std::array<std::uint8_t, 4> TOUCH_CMD_RUN{0x55, 0x01, 0x04, 0x05};
inline constexpr std::array<std::uint8_t, 4> TOUCH_CMD_STOP{0x55, 0x01, 0x05, 0x04};
inline constexpr std::array<std::uint8_t, 4> TOUCH_CMD_POLL{0x55, 0x01, 0x0A, 0x0B};
// Switches the target's supply off and on again: the board drops the chip and waits for a new link.
inline constexpr std::array<std::uint8_t, 4> PowerCycleTarget{0x55, 0x01, 0x22, 0x23};
inline constexpr std::uint8_t kHostStart = 0x55;
inline constexpr std::uint8_t kSetThresholdCommand = 0x03;

// 55 04 03 idx hi lo chk: the threshold of the channel at `index` (not its number).
LinkBytes TOUCH_CMD_SET_THRESHOLD(std::uint8_t index, std::uint16_t value);

// Board frame types.
inline constexpr std::uint8_t TOUCH_ACK = 0x80;
inline constexpr std::uint8_t TOUCH_CHANNEL_COUNT = 0x81;
inline constexpr std::uint8_t TOUCH_CHANNEL_LIST = 0x82;
inline constexpr std::uint8_t TOUCH_BASELINE = 0x83;
inline constexpr std::uint8_t TOUCH_CURRENT = 0x84;
inline constexpr std::uint8_t TOUCH_THRESHOLD = 0x85;
inline constexpr std::uint8_t TOUCH_REF_BASELINE = 0x86;
inline constexpr std::uint8_t TOUCH_REF_CURRENT = 0x87;
inline constexpr std::uint8_t TOUCH_KEY_FLAGS = 0x88;
inline constexpr std::uint8_t kBoardStart = 0xAA;
inline constexpr std::uint8_t kLastBoardType = 0xA0;
inline constexpr std::uint8_t kMaxBoardLength = 250;

// A board frame as the board builds it: AA, LEN = 1 + data size, TYPE, data, XOR. No check of the
// length: the emulated board also sends frames that break the rules.
LinkBytes boardFrame(std::uint8_t type, const LinkBytes& data);

struct BoardFrame {
  std::uint8_t type = 0;
  // LEN − 1 bytes, and at least one: the receiver always takes one data byte.
  LinkBytes data;
};

// Takes the board's bytes one at a time into a 1001-byte receive buffer. A first byte other than
// 0xAA, a LEN over 250 or a TYPE outside 0x80..0xA0 empties the buffer; so does a finished frame,
// whether its checksum held (it is returned) or not (it is dropped). The next frame must then start
// with the next byte.
class BoardFrameParser {
 public:
  static constexpr std::size_t kBufferSize = 1001;

  std::optional<BoardFrame> feed(std::uint8_t byte);
  void reset();
  // Bytes of an unfinished frame held in the buffer.
  std::size_t buffered() const { return fill_; }

 private:
  enum class Step { Start, Length, Type, Data, Checksum };

  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t fill_ = 0;
  Step step_ = Step::Start;
  std::uint8_t length_ = 0;
  std::uint8_t xor_ = 0;
  std::size_t index_ = 0;
  BoardFrame frame_;
};

}  // namespace touch
