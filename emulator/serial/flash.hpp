#pragma once
// Flash memory as a chip has it: erased bytes read 0xFF and programming can only clear bits, so a
// block written over old contents reads back wrong until its page is erased.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "isp/frames.hpp"

namespace emulator::serial {

class Flash {
 public:
  Flash(std::size_t size, std::size_t pageSize);

  std::size_t size() const { return bytes_.size(); }
  std::size_t pageSize() const { return pageSize_; }

  void eraseAll();
  // Erases the pages that hold [offset, offset + length); false when that lies outside.
  bool erase(std::size_t offset, std::size_t length);
  // Programs `data` at `offset`; false when it lies outside or does not read back as written.
  bool program(std::size_t offset, isp::Bytes data);
  // The byte sum of [offset, offset + length), cut at the end of the flash.
  std::uint32_t sum(std::size_t offset, std::size_t length) const;
  isp::Bytes bytes() const { return bytes_; }
  // Old contents for tests: the flash as a used chip holds it.
  void fill(std::uint8_t value);
  void flip(std::size_t offset);

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t pageSize_;
};

}  // namespace emulator::serial
