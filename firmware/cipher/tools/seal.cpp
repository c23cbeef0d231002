#include "firmware/cipher/tools/seal.hpp"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "firmware/cipher/update_service.hpp"

namespace sealer {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string byteList(const std::uint8_t* bytes, std::size_t length) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += i % 8 == 0 ? "\n    " : " ";
    out += "0x";
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 0xF];
    out += ',';
  }
  return out;
}

std::string slotDefinition(const char* name, const std::vector<std::uint8_t>& bytes) {
  return "const std::array<std::uint8_t, " + std::to_string(bytes.size()) + "> " + name + " = {" +
         byteList(bytes.data(), bytes.size()) + "\n};\n\n";
}

}  // namespace

Key parseKeyHex(std::string_view hex) {
  Key key{};
  if (hex.size() != 32) throw std::invalid_argument("the AES key must be 32 hex digits");
  for (std::size_t i = 0; i < 16; ++i) {
    int hi = hexDigit(hex[2 * i]);
    int lo = hexDigit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) throw std::invalid_argument("the AES key must be 32 hex digits");
    key[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return key;
}

std::vector<std::uint8_t> seal(const Key& key, std::string_view plain, std::size_t slot) {
  if (slot % 16 != 0) throw std::invalid_argument("a slot holds whole AES blocks");
  if (plain.size() > slot) {
    throw std::length_error("\"" + std::string(plain) + "\" is longer than its " + std::to_string(slot) +
                            "-byte slot");
  }
  if (plain.find('\0') != std::string_view::npos) throw std::invalid_argument("a value may not hold a zero byte");
  std::vector<std::uint8_t> padded(slot, 0);
  for (std::size_t i = 0; i < plain.size(); ++i) padded[i] = static_cast<std::uint8_t>(plain[i]);

  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  std::vector<std::uint8_t> out(slot + 16);
  int written = 0;
  int last = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &written, padded.data(), static_cast<int>(slot)) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + written, &last) != 1) {
    throw std::runtime_error("OpenSSL AES-128-ECB failed");
  }
  out.resize(static_cast<std::size_t>(written + last));
  return out;
}

Settings parseSettings(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size() && lines.size() < 4) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() != 4) throw std::invalid_argument("expected four lines: key, host, user, password");
  return {parseKeyHex(lines[0]), lines[1], lines[2], lines[3]};
}

std::string generatedSource(const Settings& settings) {
  std::string out =
      "// Generated at build time from the QUBRIX_UPDATE_* cache variables; edit those, not this file.\n"
      "#include \"firmware/cipher/aes.hpp\"\n"
      "#include \"firmware/cipher/update_service_data.hpp\"\n\n"
      "namespace cipher {\n\n"
      "const AesKey& storedAesKey() {\n"
      "  static const AesKey key = {" +
      byteList(settings.key.data(), settings.key.size()) +
      "\n  };\n  return key;\n}\n\n";
  out += slotDefinition("kSealedUpdateHost", seal(settings.key, settings.host, cipher::kUpdateHostSlot));
  out += slotDefinition("kSealedUpdateUser", seal(settings.key, settings.user, cipher::kUpdateUserSlot));
  out += slotDefinition("kSealedUpdatePassword",
                        seal(settings.key, settings.password, cipher::kUpdatePasswordSlot));
  out += "}  // namespace cipher\n";
  return out;
}

}  // namespace sealer
