#include "update/md5.hpp"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace update {

std::string fileMd5Hex(const std::filesystem::path& file) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) return {};
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return {};
  unsigned char piece[1024];
  for (;;) {
    const std::size_t n = std::fread(piece, 1, sizeof piece, in.get());
    if (n > 0 && EVP_DigestUpdate(ctx.get(), piece, n) != 1) return {};
    if (n < sizeof piece) break;
  }
  if (std::ferror(in.get())) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace update
