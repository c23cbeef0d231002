#include <algorithm>
#include <cstring>

#include "isp/ncomm.hpp"

namespace isp {

CnComm::BlockBuffer::BlockBuffer(std::size_t minBlockSize) : minBlock_(std::max<std::size_t>(minBlockSize, 1)) {}

void CnComm::BlockBuffer::Write(const void* data, std::size_t length) {
  if (length == 0) return;
  const auto* from = static_cast<const std::uint8_t*>(data);
  std::lock_guard lock(mutex_);
  size_ += length;
  if (!blocks_.empty()) {
    Block& last = blocks_.back();
    const std::size_t n = std::min(length, last.capacity - last.write);
    std::memcpy(last.bytes.get() + last.write, from, n);
    last.write += n;
    from += n;
    length -= n;
  }
  if (length == 0) return;
  Block block;
  block.capacity = std::max(minBlock_, length);
  block.bytes = std::make_unique<std::uint8_t[]>(block.capacity);
  std::memcpy(block.bytes.get(), from, length);
  block.write = length;
  blocks_.push_back(std::move(block));
}

std::size_t CnComm::BlockBuffer::Read(void* out, std::size_t length) {
  auto* to = static_cast<std::uint8_t*>(out);
  std::lock_guard lock(mutex_);
  std::size_t done = 0;
  while (done < length && !blocks_.empty()) {
    Block& first = blocks_.front();
    const std::size_t n = std::min(length - done, first.write - first.read);
    std::memcpy(to + done, first.bytes.get() + first.read, n);
    first.read += n;
    done += n;
    if (first.read < first.write) break;
    releaseEmptyFront();
    if (!blocks_.empty() && blocks_.front().read == blocks_.front().write) break;
  }
  size_ -= done;
  return done;
}

std::size_t CnComm::BlockBuffer::Size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

void CnComm::BlockBuffer::Clear() {
  std::lock_guard lock(mutex_);
  for (Block& b : blocks_) b.read = b.write;
  while (!blocks_.empty() && blocks_.front().read == blocks_.front().write) {
    const std::size_t before = blocks_.size();
    releaseEmptyFront();
    if (blocks_.size() == before) break;
  }
  size_ = 0;
}

// Called with the first block emptied: a lone small block is reused, anything else is freed.
void CnComm::BlockBuffer::releaseEmptyFront() {
  Block& first = blocks_.front();
  if (blocks_.size() == 1 && first.capacity <= 4 * minBlock_) {
    first.read = 0;
    first.write = 0;
    return;
  }
  blocks_.pop_front();
}

}  // namespace isp
