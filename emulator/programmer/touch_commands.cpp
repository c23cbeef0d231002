// The touch target behind the programmer in touch-debug mode.
#include <algorithm>

#include "device/commands.hpp"
#include "device/frame.hpp"
#include "emulator/programmer/programmer_model.hpp"
#include "emulator/programmer/status_codes.hpp"

namespace emulator::programmer {
namespace {

using namespace status;

namespace cmd = qx::cmd;
using qx::u16At;
using qx::u8At;

// The target's touch library reports ready after a few scan cycles.
constexpr int kPollsUntilReady = 3;
constexpr std::size_t kBatch = 30;
constexpr std::size_t kNumbersPerReply = 61;

}  // namespace

void ProgrammerModel::touch(const Bytes& req, Bytes& out) {
  const std::uint8_t id = req[0];
  if (id == cmd::kTdConnect.id) {
    if (!config_.targetAttached) {
      out[1] = kFailed;
      return;
    }
    touchConnected_ = true;
    persistent_.targetPowered = true;
    const auto& kept = persistent_.touchThresholds;
    for (std::size_t i = 0; i < kept.size() && i < static_cast<std::size_t>(sensor_.channels()); ++i) {
      sensor_.setThreshold(static_cast<int>(i), kept[i]);
    }
    statePolls_ = 0;
    out[2] = 1;
    return;
  }
  if (!touchConnected_) {
    out[1] = kNotConnected;
    return;
  }
  const auto channels = static_cast<std::size_t>(sensor_.channels());
  if (id == cmd::kTdDisconnect.id) {
    touchConnected_ = false;
  } else if (id == cmd::kTdGetState.id) {
    ++statePolls_;
    out[2] = statePolls_ > kPollsUntilReady ? 1 : 0;
  } else if (id == cmd::kTdGetChannelCount.id) {
    out[2] = static_cast<std::uint8_t>(channels);
  } else if (id == cmd::kTdGetRefChData.id) {
    put16(out, 2, sensor_.referenceValue());
    put16(out, 4, sensor_.referenceCurrent());
  } else if (id == cmd::kTdGetKeysFlagSN.id) {
    // Each poll of the touch window starts here: one scan cycle of the target per poll.
    sensor_.step();
    const std::uint64_t flags = sensor_.keyFlags();
    put32(out, 2, static_cast<std::uint32_t>(flags));
    put32(out, 6, static_cast<std::uint32_t>(flags >> 32));
  } else if (id == cmd::kTdGetBaselineData.id || id == cmd::kTdGetRawData.id || id == cmd::kTdGetThresholdData.id) {
    touchValues(req, out);
  } else if (id == cmd::kTdSetThresholdData.id) {
    const std::size_t count = u8At(req, 2);
    if (u8At(req, 1) != 0 || count > channels || count > kBatch) {
      out[1] = kOutOfRange;
      return;
    }
    for (std::size_t i = 0; i < count; ++i) sensor_.setThreshold(static_cast<int>(i), u16At(req, 3 + 2 * i));
    persistent_.touchThresholds.resize(channels);
    for (std::size_t i = 0; i < channels; ++i) persistent_.touchThresholds[i] = sensor_.threshold(static_cast<int>(i));
  } else if (id == cmd::kTdGetChannelNumber.id) {
    const std::size_t m = std::min({std::size_t{u8At(req, 1)}, channels, kNumbersPerReply});
    out[2] = static_cast<std::uint8_t>(m);
    for (std::size_t i = 0; i < m; ++i) out[3 + i] = sensor_.channelNumber(static_cast<int>(i));
  } else {
    out[1] = kInvalidOperation;
  }
}

void ProgrammerModel::touchValues(const Bytes& req, Bytes& out) const {
  const std::size_t channels = static_cast<std::size_t>(sensor_.channels());
  const std::size_t start = u8At(req, 1);
  const std::size_t m = start >= channels ? 0 : std::min({std::size_t{u8At(req, 2)}, kBatch, channels - start});
  out[2] = static_cast<std::uint8_t>(m);
  for (std::size_t i = 0; i < m; ++i) {
    const int ch = static_cast<int>(start + i);
    const std::uint16_t v = req[0] == qx::cmd::kTdGetBaselineData.id ? sensor_.baseline(ch)
                            : req[0] == qx::cmd::kTdGetRawData.id    ? sensor_.raw(ch)
                                                                     : sensor_.threshold(ch);
    put16(out, 3 + 2 * i, v);
  }
}

}  // namespace emulator::programmer
