#include "isp/ncomm.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/trace.hpp"

namespace isp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kReadChunk = 4096;
// Unix98 pseudo-terminal slaves (/dev/pts/N).
constexpr unsigned kPtsFirstMajor = 136;
constexpr unsigned kPtsLastMajor = 143;

bool isPseudoTerminal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  return major(st.st_rdev) >= kPtsFirstMajor && major(st.st_rdev) <= kPtsLastMajor;
}

}  // namespace

CnComm::~CnComm() { Close(); }

bool CnComm::Open(const std::string& path, std::uint32_t baud) {
  if (path.empty() || baud == 0) return false;
  Close();
  fd_ = openLine(path);
  if (fd_ < 0) return false;
  if (const auto failed = configureLine(fd_, LineSettings{baud, 'E', 8, 1})) {
    // A pseudo-terminal carries no parity bit, and the C library refuses even parity on one that
    // already had its settings changed once; the emulated bench's lines are taken at 8N1.
    if (failed->error != EINVAL || !isPseudoTerminal(fd_) || configureLine(fd_, LineSettings{baud, 'N', 8, 1})) {
      Close();
      return false;
    }
  }
  purgeLine(fd_, Queue::Both);
  lineErrors_.reset();
  lineErrors_.takeErrors(fd_);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    Close();
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    lost_ = false;
    input_.Clear();
  }
  stop_ = false;
  reader_ = std::thread(&CnComm::readerLoop, this);
  return true;
}

std::size_t CnComm::Read(void* buffer, std::size_t count) {
  if (count == 0 || fd_ < 0) return 0;
  if (lineErrors_.takeErrors(fd_)) {
    base::trace("12222222222222\n");
    Purge(Queue::Input);
  }
  auto* to = static_cast<std::uint8_t*>(buffer);
  const auto start = Clock::now();
  const auto total = kReadTotalConstantMs + kReadTotalPerByteMs * static_cast<long long>(count);
  const auto deadline = start + milliseconds(total);
  std::size_t got = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    const bool wasFull = input_.Size() >= kInputLimit;
    const std::size_t n = input_.Read(to + got, count - got);
    got += n;
    if (n > 0 && wasFull) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t w = ::write(wakeFd_, &one, sizeof one);
    }
    if (got == count || lost_) break;
    auto until = deadline;
    if (got > 0) until = std::min(deadline, std::max(lastArrival_, start) + milliseconds(kReadIntervalMs));
    if (Clock::now() >= until) break;
    arrived_.wait_until(lock, until);
  }
  return got;
}

std::size_t CnComm::Write(const void* buffer, std::size_t count) {
  if (count == 0 || fd_ < 0) return 0;
  if (lineErrors_.takeErrors(fd_)) purgeLine(fd_, Queue::Output);
  const auto* from = static_cast<const std::uint8_t*>(buffer);
  const auto deadline = Clock::now() + milliseconds(kWriteTotalMs);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, from + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return 0;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return 0;
  }
  return done;
}

void CnComm::Purge(Queue which) {
  if (fd_ < 0) return;
  purgeLine(fd_, which);
  if (which != Queue::Output) {
    std::lock_guard lock(mutex_);
    input_.Clear();
  }
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = ::write(wakeFd_, &one, sizeof one);
  }
}

void CnComm::Close() {
  stopReader();
  if (fd_ >= 0) {
    purgeLine(fd_, Queue::Both);
    closeLine(fd_);
    fd_ = -1;
  }
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
    wakeFd_ = -1;
  }
  std::lock_guard lock(mutex_);
  input_.Clear();
}

void CnComm::stopReader() {
  if (!reader_.joinable()) return;
  stop_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t w = ::write(wakeFd_, &one, sizeof one);
  reader_.join();
}

void CnComm::readerLoop() {
  std::uint8_t chunk[kReadChunk];
  while (!stop_) {
    const bool full = input_.Size() >= kInputLimit;
    pollfd fds[2] = {{fd_, static_cast<short>(full ? 0 : POLLIN), 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) {
      std::uint64_t value = 0;
      [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &value, sizeof value);
    }
    if (stop_ || full || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
    const std::size_t room = std::min(kReadChunk, kInputLimit - input_.Size());
    const ssize_t n = ::read(fd_, chunk, room);
    if (n > 0) {
      {
        std::lock_guard lock(mutex_);
        input_.Write(chunk, static_cast<std::size_t>(n));
        lastArrival_ = Clock::now();
      }
      arrived_.notify_all();
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR) && !(fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) continue;
    break;
  }
  {
    std::lock_guard lock(mutex_);
    lost_ = !stop_;
  }
  arrived_.notify_all();
}

}  // namespace isp
