#pragma once
// The loader image each short-frame family receives in XDATA before flash work.
#include <cstdint>
#include <span>

namespace isp::loaders {

// Empty for the 32-bit family type and for values that name no family.
std::span<const std::uint8_t> loaderFor(std::uint16_t familyType);

}  // namespace isp::loaders
