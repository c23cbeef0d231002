// The touch board's frames on any byte stream: the receiver alone (every frame it returns keeps to
// the rules), and a linked, running serial transport taking the same bytes into its tables.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/manual_timers.hpp"
#include "tests/support/detached_serial_link.hpp"
#include "touch/serial_transport.hpp"

namespace {

class QuietSink final : public touch::SessionSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onClearTable() override {}
  void onChannelRow(std::size_t index, std::uint8_t) override { check(index); }
  void onChannelValue(std::size_t index, touch::Field, std::int32_t) override { check(index); }
  void onChannelCount(std::size_t) override {}
  void onKeyFlags(std::uint64_t) override {}
  void onReference(touch::Field, std::int32_t) override {}
  void onButtons(const touch::ButtonStates&) override {}
  void onPowerButton(bool) override {}

 private:
  // No row index past the channel list.
  void check(std::size_t index) const {
    if (index >= 256) std::abort();
  }
};

void feed(touch::SerialTransport& t, const touch::LinkBytes& b) {
  for (std::uint8_t x : b) t.onByte(x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  touch::BoardFrameParser parser;
  for (std::size_t i = 0; i < size; ++i) {
    if (const auto f = parser.feed(data[i])) {
      if (f->type < touch::TOUCH_ACK || f->type > 0xA0 || f->data.empty() || f->data.size() > 249) std::abort();
    }
    if (parser.buffered() > 253) std::abort();
  }

  touchtest::DetachedSerialLink link;
  base::ManualTimers timers;
  QuietSink sink;
  touch::SerialTransport t(link, timers, sink);
  timers.setHandler([&](int id) { t.onTimer(id); });
  t.toggleConnect();
  feed(t, touch::boardFrame(touch::TOUCH_ACK, {0}));
  timers.advance(touch::kLinkTick);
  feed(t, touch::boardFrame(touch::TOUCH_ACK, {0}));
  timers.advance(touch::kLinkTick);
  feed(t, touch::boardFrame(touch::TOUCH_CHANNEL_COUNT, {3}));
  feed(t, touch::boardFrame(touch::TOUCH_CHANNEL_LIST, {3, 4, 9, 4}));
  for (std::size_t i = 0; i < size; ++i) t.onByte(data[i]);
  timers.advance(touch::kKeepAliveInterval);
  (void)t.exportTable();
  return 0;
}
