#pragma once
// The programmer's own flash as its bootloader sees it: 128 KiB from 0x08000000, the bootloader
// in the first 22 KiB, the application from 0x08005800 in 2048-byte pages. An application image
// starts with the word 0xAA55AA55 and carries its version text at offset 0x10 (16 bytes, NUL
// padded); the bootloader starts only an application whose header reads right.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace emulator::programmer {

inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kFlashSize = 128 * 1024;
inline constexpr std::uint32_t kAppOffset = 0x5800;
inline constexpr std::uint32_t kPageSize = 2048;
inline constexpr std::uint32_t kAppMagic = 0xAA55AA55;
inline constexpr std::size_t kVersionOffset = 0x10;
inline constexpr std::size_t kVersionField = 16;

// The first bytes of an application image that carries `version`.
std::vector<std::uint8_t> applicationHeader(const std::string& version);
// A whole programmer flash image (bootloader and application) with that version, as published.
std::vector<std::uint8_t> firmwareImage(const std::string& version, std::size_t applicationSize = 4096);
// The version of the application in `flash` (the whole programmer flash), if it would start.
std::optional<std::string> applicationVersion(std::span<const std::uint8_t> flash);

}  // namespace emulator::programmer
