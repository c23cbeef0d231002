#pragma once
// Flash as silicon has it: erased bytes read 0xFF and programming can only clear bits, so data
// written over old contents without an erase reads back wrong.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace emulator::programmer {

class NorFlash {
 public:
  explicit NorFlash(std::size_t size = 0) : bytes_(size, 0xFF) {}

  std::size_t size() const { return bytes_.size(); }
  bool contains(std::size_t offset, std::size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  void eraseAll();
  // False (and nothing erased) when the range is not inside.
  bool erase(std::size_t offset, std::size_t length);
  // Clears bits only. False when the range is not inside; `exact` tells whether it reads back as given.
  bool program(std::size_t offset, std::span<const std::uint8_t> data, bool* exact = nullptr);
  bool equals(std::size_t offset, std::span<const std::uint8_t> data) const;
  std::span<const std::uint8_t> bytes() const { return bytes_; }
  void assign(std::span<const std::uint8_t> contents);

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace emulator::programmer
