#include "isp/serial_port.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/texts.hpp"
#include "base/trace.hpp"

namespace isp {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 4096;
// Pieces written per wake-up, so that a long transmission does not hold back received bytes.
constexpr int kPiecesPerTurn = 16;

constexpr const char* kFailureTrace = "WARNING:  %s Failed with the following error: \n%s\nPort: %s\n";

bool lineVanished(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

}  // namespace

CSerialPort::~CSerialPort() {
  Stop();
  joinWorker();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool CSerialPort::OpenAndConfigure(SerialPortSink* owner, const std::string& path, std::uint32_t baud,
                                   char parity, int dataBits, int stopBits) {
  if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) return false;
  Stop();
  joinWorker();
  owner_ = owner;
  path_ = path;
  error_ = false;
  const int fd = openLine(path);
  if (fd < 0) return false;
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    sentOfFront_ = 0;
    fd_ = fd;
  }
  if (const auto failed = configureLine(fd, LineSettings{baud, parity, dataBits, stopBits})) {
    reportFailure(failed->call, failed->error);
  }
  purgeLine(fd, Queue::Both);
  return true;
}

bool CSerialPort::StartWorker() {
  if (alive_) return true;
  if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) return false;
  joinWorker();
  if (fd_ < 0) return false;
  if (wakeFd_ < 0) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return false;
  }
  stopRequested_ = false;
  purgeLine(fd_, Queue::Both);
  alive_ = true;
  worker_ = std::thread(&CSerialPort::run, this);
  return true;
}

void CSerialPort::Stop() {
  stopRequested_ = true;
  wake();
  if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) return;
  joinWorker();
  closeHandle();
}

bool CSerialPort::SendRaw(std::span<const std::uint8_t> bytes) {
  if (error_.exchange(false) && owner_ != nullptr) owner_->onSerialErrorChanged(false);
  {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
      if (bytes.empty()) return true;
      if (queue_.empty()) lastProgress_ = Clock::now();
      queue_.emplace_back(bytes.begin(), bytes.end());
    }
  }
  if (fd_ < 0) {
    if (owner_ != nullptr) owner_->onSerialMessage({"", base::text("isp.port_not_open"), false});
    setError();
    return false;
  }
  wake();
  return true;
}

void CSerialPort::ClearError() {
  if (error_.exchange(false) && owner_ != nullptr) owner_->onSerialErrorChanged(false);
}

bool CSerialPort::SendText(std::string_view text) {
  return SendRaw({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::uint32_t CSerialPort::CurrentBaud() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0 ? lineBaud(fd_) : 0;
}

void CSerialPort::run() {
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (;;) {
    const int fd = fd_.load();
    bool pending = false;
    Clock::time_point stallAt{};
    {
      std::lock_guard lock(mutex_);
      pending = !queue_.empty();
      stallAt = lastProgress_ + std::chrono::milliseconds(kWriteStallMs);
    }
    const bool stopping = stopRequested_.load();
    if (fd < 0 || (stopping && !pending)) break;
    short events = stopping ? 0 : POLLIN;
    if (pending) events |= POLLOUT;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
    int timeout = -1;
    if (pending) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stallAt - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left + 1, 0, kWriteStallMs + 1));
    }
    if (::poll(fds, 2, timeout) < 0) {
      if (errno == EINTR) continue;
      loseLine(true, "poll()", errno);
      break;
    }
    if (fds[1].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    }
    const short got = fds[0].revents;
    if (got & POLLNVAL) {
      loseLine(false, "poll()", EBADF);
      break;
    }
    if (stopping && (got & (POLLHUP | POLLERR))) break;
    if (!stopping && (got & (POLLIN | POLLHUP | POLLERR)) && !deliverInput(chunk)) break;
    if ((got & POLLOUT) && writePending() == WriteStep::Failed) break;
    dropStalled();
  }
  closeHandle();
  alive_ = false;
}

// Reads what the line holds and hands it on byte by byte; false once the line is gone.
bool CSerialPort::deliverInput(std::vector<std::uint8_t>& chunk) {
  const ssize_t n = ::read(fd_.load(), chunk.data(), chunk.size());
  if (n > 0) {
    for (ssize_t i = 0; i < n && !stopRequested_.load(std::memory_order_relaxed); ++i) {
      if (owner_ != nullptr) owner_->onSerialByte(chunk[static_cast<std::size_t>(i)]);
    }
    return true;
  }
  const int err = n == 0 ? EIO : errno;
  if (err == EAGAIN || err == EINTR) {
    // Woken by a hang-up with nothing to read: the other end is gone.
    pollfd probe{fd_.load(), POLLIN, 0};
    if (::poll(&probe, 1, 0) <= 0 || !(probe.revents & POLLHUP)) return true;
    loseLine(false, "read()", EIO);
    return false;
  }
  loseLine(!lineVanished(err), "read()", err);
  return false;
}

CSerialPort::WriteStep CSerialPort::writePending() {
  std::unique_lock lock(mutex_);
  for (int turn = 0; turn < kPiecesPerTurn; ++turn) {
    if (queue_.empty() || fd_ < 0) return WriteStep::Idle;
    const std::vector<std::uint8_t>& front = queue_.front();
    const std::size_t piece = std::min(front.size() - sentOfFront_, kWriteBufferSize);
    const ssize_t n = ::write(fd_, front.data() + sentOfFront_, piece);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) return WriteStep::Blocked;
      const int err = errno;
      lock.unlock();
      loseLine(false, "write()", err);
      return WriteStep::Failed;
    }
    sentOfFront_ += static_cast<std::size_t>(n);
    lastProgress_ = Clock::now();
    if (sentOfFront_ == front.size()) {
      queue_.pop_front();
      sentOfFront_ = 0;
    }
  }
  return WriteStep::Progress;
}

// A line that takes nothing for kWriteStallMs (a stopped flow, a wedged adapter) loses the
// transmission it was sending, so that later frames and Stop() are not held up for ever; while
// stopping, everything still queued goes with it.
void CSerialPort::dropStalled() {
  std::lock_guard lock(mutex_);
  if (queue_.empty() || Clock::now() - lastProgress_ <= std::chrono::milliseconds(kWriteStallMs)) return;
  base::trace(kFailureTrace, "write()", "the line took no byte for 1000 ms", path_.c_str());
  if (stopRequested_) {
    queue_.clear();
  } else {
    queue_.pop_front();
  }
  sentOfFront_ = 0;
  lastProgress_ = Clock::now();
}

void CSerialPort::loseLine(bool reportAsFailure, const char* call, int err) {
  if (reportAsFailure) {
    reportFailure(call, err);
  } else {
    base::trace(kFailureTrace, call, errorText(err).c_str(), path_.c_str());
    setError();
  }
  closeHandle();
}

void CSerialPort::reportFailure(const char* call, int err) {
  base::trace(kFailureTrace, call, errorText(err).c_str(), path_.c_str());
  if (owner_ != nullptr) {
    owner_->onSerialMessage({base::text("isp.caption.application_error"), base::text("isp.port_driver_problem"), true});
  }
  setError();
}

void CSerialPort::setError() {
  error_ = true;
  if (owner_ != nullptr) owner_->onSerialErrorChanged(true);
}

void CSerialPort::wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void CSerialPort::joinWorker() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void CSerialPort::closeHandle() {
  std::lock_guard lock(mutex_);
  closeLine(fd_.exchange(-1));
  queue_.clear();
  sentOfFront_ = 0;
}

}  // namespace isp
