#pragma once
// The sealed slots, defined in the source file generated at build time. Only update_service.cpp and
// the tests look at them.
#include <array>
#include <cstdint>

#include "firmware/cipher/update_service.hpp"

namespace cipher {

extern const std::array<std::uint8_t, kUpdateHostSlot> kSealedUpdateHost;
extern const std::array<std::uint8_t, kUpdateUserSlot> kSealedUpdateUser;
extern const std::array<std::uint8_t, kUpdatePasswordSlot> kSealedUpdatePassword;

}  // namespace cipher
