#pragma once
// The USB ids of the devices this system talks to, for lookup, opening and plug events alike.
#include <cstdint>

namespace qx {

inline constexpr std::uint16_t kVendorId = 0xFFCA;         // every QUBRIX device
inline constexpr std::uint16_t kProductId = 0x0125;        // the QUBRIX Tool programmer
inline constexpr std::uint16_t kWriterProductId = 0x0123;  // the offline Writer

}  // namespace qx
