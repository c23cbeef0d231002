#include "isp/loaders/loaders.hpp"

#include <cstddef>

namespace embedded {
extern const unsigned char loader_k7a[];
extern const std::size_t loader_k7a_size;
extern const unsigned char loader_t4n0[];
extern const std::size_t loader_t4n0_size;
extern const unsigned char loader_t4n1[];
extern const std::size_t loader_t4n1_size;
extern const unsigned char loader_t4n2[];
extern const std::size_t loader_t4n2_size;
}  // namespace embedded

namespace isp::loaders {

std::span<const std::uint8_t> loaderFor(std::uint16_t familyType) {
  switch (familyType) {
    case 0x000:
    case 0x100: return {embedded::loader_k7a, embedded::loader_k7a_size};
    case 0x200: return {embedded::loader_t4n0, embedded::loader_t4n0_size};
    case 0x300: return {embedded::loader_t4n1, embedded::loader_t4n1_size};
    case 0x400:
    case 0x500: return {embedded::loader_t4n2, embedded::loader_t4n2_size};
    default: return {};
  }
}

}  // namespace isp::loaders
