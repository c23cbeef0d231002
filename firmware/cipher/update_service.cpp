#include "firmware/cipher/update_service.hpp"

#include <cstdlib>

#include "firmware/cipher/aes.hpp"
#include "firmware/cipher/update_service_data.hpp"

namespace cipher {
namespace {

std::string fromEnvironment(const char* name, std::string builtIn) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : builtIn;
}

}  // namespace

std::string openUpdateSetting(const std::uint8_t* slot, std::size_t length) {
  std::string value = AesDecryptToString(slot, length);
  value.erase(value.find_last_not_of('\0') + 1);
  return value;
}

std::string updateServiceHost() { return openUpdateSetting(kSealedUpdateHost.data(), kSealedUpdateHost.size()); }

std::string updateServiceUser() { return openUpdateSetting(kSealedUpdateUser.data(), kSealedUpdateUser.size()); }

std::string updateServicePassword() {
  return openUpdateSetting(kSealedUpdatePassword.data(), kSealedUpdatePassword.size());
}

UpdateService updateService() {
  return {fromEnvironment("QUBRIX_UPDATE_HOST", updateServiceHost()),
          fromEnvironment("QUBRIX_UPDATE_USER", updateServiceUser()),
          fromEnvironment("QUBRIX_UPDATE_PASSWORD", updateServicePassword())};
}

}  // namespace cipher
