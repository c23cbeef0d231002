#include "terminal/serial_port_link.hpp"

#include <utility>

namespace terminal {
namespace {

// Bytes that arrive within this long of a chunk's first byte share its stamp.
constexpr auto kStampResolution = std::chrono::milliseconds{1};

}  // namespace

SerialPortLink::SerialPortLink(std::function<void()> wake) : wake_(std::move(wake)) {}

SerialPortLink::~SerialPortLink() { port_.Stop(); }

void SerialPortLink::setLine(const std::string& path, std::uint32_t baud) {
  path_ = path;
  baud_ = baud;
}

bool SerialPortLink::open() {
  {
    std::lock_guard lock(mutex_);
    lost_ = false;
  }
  caller_.store(std::this_thread::get_id());
  const bool opened = port_.OpenAndConfigure(this, path_, baud_) && port_.StartWorker();
  caller_.store(std::thread::id{});
  return opened;
}

void SerialPortLink::close() { port_.Stop(); }

bool SerialPortLink::write(std::span<const std::uint8_t> bytes) {
  caller_.store(std::this_thread::get_id());
  const bool queued = port_.SendRaw(bytes);
  caller_.store(std::thread::id{});
  return queued;
}

void SerialPortLink::wakeLocked() {
  if (wakePending_) return;
  wakePending_ = true;
  wake_();
}

void SerialPortLink::onSerialByte(std::uint8_t byte) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  if (chunks_.empty() || now - chunkStart_ >= kStampResolution) {
    chunkStart_ = now;
    const auto monotonic = std::chrono::duration_cast<base::Millis>(now.time_since_epoch());
    chunks_.push_back({{monotonic, clock_.now()}, {}});
  }
  chunks_.back().bytes.push_back(byte);
  wakeLocked();
}

void SerialPortLink::onSerialMessage(const isp::SerialMessage& message) {
  std::lock_guard lock(mutex_);
  messages_.push_back(message);
  wakeLocked();
}

void SerialPortLink::onSerialErrorChanged(bool error) {
  if (!error || caller_.load() == std::this_thread::get_id()) return;
  std::lock_guard lock(mutex_);
  lost_ = true;
  wakeLocked();
}

void SerialPortLink::deliver(TerminalCore& core, TerminalSink& sink) {
  std::vector<Chunk> chunks;
  std::vector<isp::SerialMessage> messages;
  bool lost = false;
  {
    std::lock_guard lock(mutex_);
    chunks.swap(chunks_);
    messages.swap(messages_);
    std::swap(lost, lost_);
    wakePending_ = false;
  }
  for (const Chunk& c : chunks) core.onBytes(c.bytes, c.at);
  for (const isp::SerialMessage& m : messages) {
    sink.onMessage(m.caption, m.text, m.errorIcon ? base::MessageIcon::Error : base::MessageIcon::Warning);
  }
  if (lost) core.onPortLost();
}

}  // namespace terminal
