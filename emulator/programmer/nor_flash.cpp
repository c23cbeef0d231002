#include "emulator/programmer/nor_flash.hpp"

#include <algorithm>

namespace emulator::programmer {

void NorFlash::eraseAll() { std::fill(bytes_.begin(), bytes_.end(), 0xFF); }

bool NorFlash::erase(std::size_t offset, std::size_t length) {
  if (!contains(offset, length)) return false;
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), length, 0xFF);
  return true;
}

bool NorFlash::program(std::size_t offset, std::span<const std::uint8_t> data, bool* exact) {
  if (!contains(offset, data.size())) return false;
  bool same = true;
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::uint8_t& cell = bytes_[offset + i];
    cell &= data[i];
    same = same && cell == data[i];
  }
  if (exact != nullptr) *exact = same;
  return true;
}

bool NorFlash::equals(std::size_t offset, std::span<const std::uint8_t> data) const {
  return contains(offset, data.size()) &&
         std::equal(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void NorFlash::assign(std::span<const std::uint8_t> contents) {
  const std::size_t n = std::min(contents.size(), bytes_.size());
  std::copy_n(contents.begin(), n, bytes_.begin());
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(n), bytes_.end(), 0xFF);
}

}  // namespace emulator::programmer
