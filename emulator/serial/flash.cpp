#include "emulator/serial/flash.hpp"

#include <algorithm>

namespace emulator::serial {

Flash::Flash(std::size_t size, std::size_t pageSize) : bytes_(size, 0xFF), pageSize_(pageSize == 0 ? 1 : pageSize) {}

void Flash::eraseAll() { std::fill(bytes_.begin(), bytes_.end(), 0xFF); }

bool Flash::erase(std::size_t offset, std::size_t length) {
  if (offset >= bytes_.size() || length > bytes_.size() - offset) return false;
  const std::size_t first = offset / pageSize_ * pageSize_;
  const std::size_t end = std::min(bytes_.size(), (offset + length + pageSize_ - 1) / pageSize_ * pageSize_);
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(first), bytes_.begin() + static_cast<std::ptrdiff_t>(end), 0xFF);
  return true;
}

bool Flash::program(std::size_t offset, isp::Bytes data) {
  if (offset > bytes_.size() || data.size() > bytes_.size() - offset) return false;
  bool same = true;
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::uint8_t& cell = bytes_[offset + i];
    cell &= data[i];
    same = same && cell == data[i];
  }
  return same;
}

std::uint32_t Flash::sum(std::size_t offset, std::size_t length) const {
  std::uint32_t s = 0;
  for (std::size_t i = offset; i < bytes_.size() && i - offset < length; ++i) s += bytes_[i];
  return s;
}

void Flash::fill(std::uint8_t value) { std::fill(bytes_.begin(), bytes_.end(), value); }

void Flash::flip(std::size_t offset) {
  if (offset < bytes_.size()) bytes_[offset] ^= 0x01;
}

}  // namespace emulator::serial
