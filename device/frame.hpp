#pragma once
// Little-endian frame building and field reading, for the host's requests and the emulated device's
// replies alike. Readers never look past the frame: missing bytes read as 0.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "device/interface.hpp"

namespace qx {

class FrameWriter {
 public:
  explicit FrameWriter(std::uint8_t id) { bytes_.push_back(id); }

  FrameWriter& u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  FrameWriter& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
  FrameWriter& u32(std::uint32_t v) {
    return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16));
  }
  FrameWriter& u64(std::uint64_t v) {
    return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
  }
  FrameWriter& data(std::span<const std::uint8_t> v) {
    bytes_.insert(bytes_.end(), v.begin(), v.end());
    return *this;
  }
  FrameWriter& text(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  // A string in a fixed-width field, zero-padded; the caller has checked that it fits.
  FrameWriter& padded(std::string_view s, std::size_t width) {
    text(s.substr(0, width));
    bytes_.insert(bytes_.end(), width - std::min(width, s.size()), 0);
    return *this;
  }
  // A string with a one-byte length in front.
  FrameWriter& counted(std::string_view s) { return u8(static_cast<std::uint8_t>(s.size())).text(s); }

  const Bytes& bytes() const { return bytes_; }
  Bytes take() { return std::move(bytes_); }

 private:
  Bytes bytes_;
};

inline std::uint8_t u8At(const Bytes& f, std::size_t at) { return at < f.size() ? f[at] : 0; }
inline std::uint16_t u16At(const Bytes& f, std::size_t at) {
  return static_cast<std::uint16_t>(u8At(f, at) | (u8At(f, at + 1) << 8));
}
inline std::uint32_t u32At(const Bytes& f, std::size_t at) {
  return u16At(f, at) | (std::uint32_t{u16At(f, at + 2)} << 16);
}
inline std::uint64_t u64At(const Bytes& f, std::size_t at) {
  return u32At(f, at) | (std::uint64_t{u32At(f, at + 4)} << 32);
}

// How many bytes the frame holds from `at` on; 0 when it ends before. Every length taken from a
// reply is bounded by this before any arithmetic on the reply's size.
inline std::size_t bytesFrom(const Bytes& f, std::size_t at) { return at < f.size() ? f.size() - at : 0; }

// `count` bytes from `at`, cut at the frame's end however long the frame declares them.
inline std::string textAt(const Bytes& f, std::size_t at, std::size_t count) {
  count = std::min(count, bytesFrom(f, at));
  if (count == 0) return {};
  return std::string(f.begin() + static_cast<std::ptrdiff_t>(at), f.begin() + static_cast<std::ptrdiff_t>(at + count));
}

}  // namespace qx
