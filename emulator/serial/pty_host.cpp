#include "emulator/serial/pty_host.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "isp/custom_baud.hpp"

namespace emulator::serial {
namespace {

constexpr std::size_t kLogLimit = 50000;
// Answers are written in pieces at least this far apart, and exactly when their last byte is due.
constexpr std::chrono::microseconds kWriteGranularity{1000};
constexpr std::chrono::milliseconds kIdleWake{200};

}  // namespace

class PtyHost::HostWire final : public Wire {
 public:
  explicit HostWire(PtyHost& host) : host_(host) {}
  void send(isp::Bytes bytes) override {
    if (bytes.empty()) return;
    host_.tx_.push_back({isp::Frame(bytes.begin(), bytes.end()), host_.rate_, host_.cursor_});
    if (host_.device_->logsWhatItSends()) host_.record(Exchange::Direction::FromDevice, bytes);
  }
  void busy(Micros duration) override {
    if (host_.options_.pacing && duration.count() > 0) host_.cursor_ += duration;
  }
  void setRate(std::uint32_t baud) override {
    if (baud != 0) host_.rate_ = baud;
  }
  std::uint32_t rate() const override { return host_.rate_; }
  void setAutobaud(bool on) override { host_.autobaud_ = on; }
  std::uint32_t hostRate() const override { return host_.hostRate_; }
  void discardQueued() override {
    auto& q = host_.tx_;
    q.erase(std::remove_if(q.begin(), q.end(), [](const TxItem& t) { return !t.started; }), q.end());
  }
  void noteRequest(isp::Bytes frame) override { host_.record(Exchange::Direction::ToDevice, frame); }
  void unplug() override { host_.unplugRequested_ = true; }
  void noteTargetPower(bool on) override { host_.targetPowered_ = on; }

 private:
  PtyHost& host_;
};

PtyHost::PtyHost(std::unique_ptr<SerialDevice> device, HostOptions options)
    : device_(std::move(device)), wire_(std::make_unique<HostWire>(*this)), options_(options) {
  rate_ = device_->initialRate();
}

PtyHost::~PtyHost() { stop(); }

bool PtyHost::start() {
  if (master_ >= 0) return true;
  char name[256] = {};
  termios raw{};
  ::cfmakeraw(&raw);
  ::cfsetspeed(&raw, B9600);
  raw.c_cflag |= CLOCAL | CREAD;
  if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) return false;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    closeLine();
    return false;
  }
  path_ = name;
  const auto now = Clock::now();
  rxFreeAt_ = deviceFreeAt_ = txFreeAt_ = lastActivity_ = now;
  stopping_ = false;
  cursor_ = now;
  device_->onReset(*wire_);
  thread_ = std::thread(&PtyHost::run, this);
  return true;
}

void PtyHost::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  closeLine();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  wakeFd_ = -1;
}

void PtyHost::closeLine() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = slave_ = -1;
}

bool PtyHost::unplugged() const {
  std::lock_guard lock(mutex_);
  return unplugged_;
}

std::uint32_t PtyHost::deviceRate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

std::size_t PtyHost::garbledBytes() const {
  std::lock_guard lock(mutex_);
  return garbled_;
}

std::uint64_t PtyHost::overflowedBytes() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

std::optional<bool> PtyHost::targetPowered() const {
  std::lock_guard lock(mutex_);
  return targetPowered_;
}

std::vector<Exchange> PtyHost::exchanges() const {
  std::lock_guard lock(mutex_);
  return {log_.begin(), log_.end()};
}

std::vector<isp::Frame> PtyHost::requests() const {
  std::lock_guard lock(mutex_);
  std::vector<isp::Frame> out;
  for (const Exchange& e : log_) {
    if (e.direction == Exchange::Direction::ToDevice) out.push_back(e.bytes);
  }
  return out;
}

void PtyHost::clearExchanges() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

void PtyHost::record(Exchange::Direction direction, isp::Bytes bytes) {
  if (log_.size() == kLogLimit) log_.pop_front();
  log_.push_back({direction, isp::Frame(bytes.begin(), bytes.end()), rate_, Clock::now()});
}

std::chrono::nanoseconds PtyHost::byteTime(std::uint32_t rate) const {
  if (!options_.pacing || rate == 0) return std::chrono::nanoseconds{0};
  return std::chrono::nanoseconds{10'000'000'000ULL / rate};
}

void PtyHost::run() {
  // Wake-ups are due to the microsecond; the default 50 us of slack would add to every answer.
  ::prctl(PR_SET_TIMERSLACK, 1000UL);
  for (;;) {
    Clock::time_point wakeAt;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      const auto now = Clock::now();
      receive(now);
      transmit(now, hostRate_);
      if (tx_.empty()) {
        // A device that talks by itself goes on where its last piece ended, unless the line was
        // idle meanwhile.
        cursor_ = std::max(deviceFreeAt_, now - txFreeAt_ < kIdleWake ? txFreeAt_ : now);
        device_->onSendQueueEmpty(*wire_);
        deviceFreeAt_ = cursor_;
        transmit(now, hostRate_);
      }
      if (tx_.empty() && now >= lastActivity_ + options_.idleTimeout) {
        cursor_ = std::max(now, deviceFreeAt_);
        device_->onReset(*wire_);
        deviceFreeAt_ = cursor_;
        lastActivity_ = now;
      }
      if (unplugRequested_) {
        // The cable goes: whatever was still to be sent is lost with it, and a board the device
        // powered from it goes dark.
        tx_.clear();
        if (targetPowered_) targetPowered_ = false;
        closeLine();
        unplugged_ = true;
        return;
      }
      wakeAt = nextWake(now);
    }
    const auto left = std::max(std::chrono::nanoseconds{0}, wakeAt - Clock::now());
    timespec ts{static_cast<time_t>(left.count() / 1'000'000'000), static_cast<long>(left.count() % 1'000'000'000)};
    pollfd fds[2] = {{master_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    ::ppoll(fds, 2, &ts, nullptr);
    if (fds[1].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    }
  }
}

void PtyHost::receive(Clock::time_point now) {
  std::uint8_t buf[4096];
  const ssize_t n = ::read(master_, buf, sizeof buf);
  // The master reads the slave's settings: the rate the host's port is set to.
  hostRate_ = isp::readCustomBaud(master_);
  if (n <= 0) return;
  for (ssize_t i = 0; i < n; ++i) {
    if (autobaud_ && hostRate_ != 0) rate_ = hostRate_;
    if (hostRate_ != rate_) {
      ++garbled_;
      continue;
    }
    const Clock::time_point due = std::max(now, rxFreeAt_) + byteTime(rate_);
    rxFreeAt_ = due;
    // The device handles a byte once it has arrived and the device is done with the last one;
    // what it sends is timed from then, however early the emulation computes it.
    cursor_ = std::max(due, deviceFreeAt_);
    device_->onByte(buf[i], *wire_);
    deviceFreeAt_ = cursor_;
    lastActivity_ = std::max(lastActivity_, due);
    if (unplugRequested_) return;
  }
}

void PtyHost::transmit(Clock::time_point now, std::uint32_t hostRate) {
  while (!tx_.empty()) {
    TxItem& item = tx_.front();
    if (!item.started) {
      item.start = std::max(item.notBefore, txFreeAt_);
      item.started = true;
    }
    const auto bt = byteTime(item.rate);
    std::size_t due = item.bytes.size();
    if (bt.count() > 0) {
      due = now < item.start ? 0 : std::min<std::size_t>(due, static_cast<std::size_t>((now - item.start) / bt));
    }
    if (due > item.written) {
      isp::Frame piece(item.bytes.begin() + static_cast<std::ptrdiff_t>(item.written),
                       item.bytes.begin() + static_cast<std::ptrdiff_t>(due));
      if (item.rate != hostRate) std::fill(piece.begin(), piece.end(), 0x00);
      // A UART never waits: what the pty cannot take is lost, as on a line nobody listens to.
      const ssize_t n = ::write(master_, piece.data(), piece.size());
      lost_ += piece.size() - static_cast<std::size_t>(std::max<ssize_t>(n, 0));
      item.written = due;
    }
    if (item.written < item.bytes.size()) return;
    txFreeAt_ = item.start + bt * static_cast<long>(item.bytes.size());
    lastActivity_ = std::max(lastActivity_, txFreeAt_);
    tx_.pop_front();
  }
}

PtyHost::Clock::time_point PtyHost::nextWake(Clock::time_point now) const {
  Clock::time_point wake = now + kIdleWake;
  if (tx_.empty()) return std::min(wake, std::max(now, lastActivity_ + options_.idleTimeout));
  const TxItem& item = tx_.front();
  const auto bt = byteTime(item.rate);
  const Clock::time_point start = item.started ? item.start : std::max(item.notBefore, txFreeAt_);
  const Clock::time_point last = start + bt * static_cast<long>(item.bytes.size());
  const Clock::time_point next = start + bt * static_cast<long>(item.written + 1);
  return std::min({wake, last, std::max(next, now + kWriteGranularity)});
}

}  // namespace emulator::serial
