// Replies shorter than their header, as a transport that hands over what the device sent would
// deliver them: every reader bounds itself by what the reply holds.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <memory>

#include "device/touch_debug.hpp"
#include "device/upgrade.hpp"

namespace {

// Answers every request with the next scripted reply, exactly as long as it is scripted.
class ExactReplies final : public qx::Interface {
 public:
  explicit ExactReplies(std::deque<qx::Bytes> replies) : replies_(std::move(replies)) {}
  bool open() override { return true; }
  bool isOpen() const override { return true; }
  void close() override {}
  bool write(qx::Bytes) override { return true; }
  qx::Bytes read(int) override {
    if (replies_.empty()) return {};
    qx::Bytes next = std::move(replies_.front());
    replies_.pop_front();
    return next;
  }

 private:
  std::deque<qx::Bytes> replies_;
};

TEST(ShortReply, MemoryReadShorterThanItsHeaderIsEmpty) {
  // Status 0 and a declared length of 0x35, but no length field's second byte and no data.
  qx::QUBRIXToolUpgradeIntf handle(std::make_shared<ExactReplies>(std::deque<qx::Bytes>{{0xE1, 0x00, 0x35}}));
  EXPECT_TRUE(handle.readMemoryBlock(0x08000000, 60).empty());

  // The header alone, and a header with fewer data bytes than declared.
  qx::QUBRIXToolUpgradeIntf headerOnly(
      std::make_shared<ExactReplies>(std::deque<qx::Bytes>{{0xE1, 0x00, 0x35, 0x00}, {0xE1, 0x00, 0x35, 0x00, 7, 8}}));
  EXPECT_TRUE(headerOnly.readMemoryBlock(0x08000000, 60).empty());
  EXPECT_EQ(headerOnly.readMemoryBlock(0x08000000, 60), (qx::Bytes{7, 8}));
}

TEST(ShortReply, TouchBatchesShorterThanTheirHeaderLeaveTheDestinationAlone) {
  for (const qx::Bytes& reply : {qx::Bytes{0x57, 0x00}, qx::Bytes{0x57, 0x00, 30}, qx::Bytes{0x57, 0x00, 30, 0x34}}) {
    qx::TouchDebug handle(std::make_shared<ExactReplies>(std::deque<qx::Bytes>{reply}));
    std::array<std::uint16_t, 30> values{};
    values.fill(0xAAAA);
    EXPECT_TRUE(handle.tdGetRawData(30, values));
    for (std::uint16_t v : values) EXPECT_EQ(v, 0xAAAA);
  }
}

TEST(ShortReply, ChannelNumbersStopAtTheReplysEnd) {
  qx::TouchDebug handle(std::make_shared<ExactReplies>(std::deque<qx::Bytes>{{0x5A, 0x00}, {0x5A, 0x00, 5, 1, 2}}));
  std::array<std::uint8_t, 8> numbers{};
  EXPECT_TRUE(handle.tdGetChannelNumber(8, numbers));
  EXPECT_EQ(numbers, (std::array<std::uint8_t, 8>{}));
  EXPECT_TRUE(handle.tdGetChannelNumber(8, numbers));
  EXPECT_EQ(numbers, (std::array<std::uint8_t, 8>{1, 2, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
