#include "isp/loaders/loaders.hpp"

#include "embedded/loader_k7a.hpp"
#include "embedded/loader_t4n0.hpp"
#include "embedded/loader_t4n1.hpp"
#include "embedded/loader_t4n2.hpp"
#include "firmware/mcu.hpp"

namespace isp::loaders {

std::span<const std::uint8_t> loaderFor(std::uint16_t familyType) {
  switch (familyType) {
    case firmware::kFamilyK7A0:
    case firmware::kFamilyK7A1: return {embedded::loader_k7a, embedded::loader_k7a_size};
    case firmware::kFamilyT4N0: return {embedded::loader_t4n0, embedded::loader_t4n0_size};
    case firmware::kFamilyT4N1: return {embedded::loader_t4n1, embedded::loader_t4n1_size};
    case firmware::kFamilyT4N2:
    case firmware::kFamilyT4N3: return {embedded::loader_t4n2, embedded::loader_t4n2_size};
    default: return {};
  }
}

}  // namespace isp::loaders
