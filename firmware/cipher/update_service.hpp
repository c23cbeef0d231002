#pragma once
// The update service's FTP settings (host, user, password). They ship AES-enciphered in slots of
// 16, 16 and 32 bytes, sealed at build time from the cache variables QUBRIX_UPDATE_HOST,
// QUBRIX_UPDATE_USER, QUBRIX_UPDATE_PASSWORD under QUBRIX_UPDATE_AES_KEY, so a site points the
// program at its own server without touching code.
//
// Padding: a value shorter than its slot is padded with zero bytes to the slot size before it is
// enciphered; reading deciphers the whole slot and drops the trailing zero bytes. A value therefore
// never ends in a zero byte, which text never does. The build refuses values longer than the slot.
#include <cstddef>
#include <cstdint>
#include <string>

namespace cipher {

inline constexpr std::size_t kUpdateHostSlot = 16;
inline constexpr std::size_t kUpdateUserSlot = 16;
inline constexpr std::size_t kUpdatePasswordSlot = 32;

// The built-in values, deciphered on every call.
std::string updateServiceHost();
std::string updateServiceUser();
std::string updateServicePassword();

// Deciphers one slot with AesDecryptToString and drops the zero padding.
std::string openUpdateSetting(const std::uint8_t* slot, std::size_t length);

struct UpdateService {
  std::string host;
  std::string user;
  std::string password;
};

// What the update code should connect to: the built-in values, each replaced by the environment
// variable of the same name as its cache variable (QUBRIX_UPDATE_HOST, _USER, _PASSWORD) when that
// is set, so a test server or a site's mirror is reached without a rebuild.
UpdateService updateService();

}  // namespace cipher
