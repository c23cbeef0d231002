#pragma once
// The status bytes the emulated programmer answers with, one list for every command set.
#include <cstdint>

namespace emulator::programmer::status {

inline constexpr std::uint8_t kFailed = 1;
inline constexpr std::uint8_t kInvalidOperation = 2;
inline constexpr std::uint8_t kUnknownModel = 4;
inline constexpr std::uint8_t kCannotConnect = 5;
inline constexpr std::uint8_t kNotConnected = 6;
inline constexpr std::uint8_t kModelMismatch = 7;
inline constexpr std::uint8_t kOutOfRange = 11;
inline constexpr std::uint8_t kVerifyFailed = 12;
inline constexpr std::uint8_t kInvalidName = 16;
inline constexpr std::uint8_t kAlreadyExists = 17;

}  // namespace emulator::programmer::status
