#include "firmware/production/header.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "firmware/cipher/tea.hpp"

namespace production {
namespace {

void put32(HeaderBytes& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void put16(HeaderBytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}

std::uint32_t get32(const HeaderBytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

std::uint16_t get16(const HeaderBytes& b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

std::uint8_t flag(bool on) { return on ? kEnabled : 0; }

DecodedHeader decipher(const std::uint8_t* file, std::size_t length) {
  DecodedHeader decoded;
  if (file == nullptr || length < kHeaderSize) {
    decoded.error = HeaderError::TooShort;
    return decoded;
  }
  HeaderBytes plain;
  std::copy_n(file, kHeaderSize, plain.begin());
  cipher::TeaDecrypt(plain.data(), plain.size(), cipher::kBuiltInTeaKey);
  decoded.header = parseHeader(plain);
  decoded.kind = kindOfMagic(decoded.header.magic);
  return decoded;
}

}  // namespace

Magic magicOf(FileKind kind) {
  return {kind == FileKind::EncryptedProgram ? std::uint8_t{0xFF} : std::uint8_t{0xFE}, 0xCC, 0xBB, 0xAA};
}

std::optional<FileKind> kindOfMagic(const Magic& magic) {
  for (FileKind kind : {FileKind::EncryptedProgram, FileKind::ProductionProject}) {
    if (magic == magicOf(kind)) return kind;
  }
  return std::nullopt;
}

std::uint32_t ProductionHeader::fileId() const {
  return (std::uint32_t{randomFill[0]} << 24) | (std::uint32_t{randomFill[1]} << 16) |
         (std::uint32_t{randomFill[2]} << 8) | randomFill[3];
}

std::string ProductionHeader::modelNameText() const {
  auto end = std::find(modelName.begin(), modelName.end(), std::uint8_t{0});
  return std::string(modelName.begin(), end);
}

int Rand15::operator()() {
  state_ = state_ * 214013U + 2531011U;
  return static_cast<int>((state_ >> 16) & 0x7FFF);
}

RandomSource timeSeededRandom() {
  // Seconds alone would give every file made within one second the same fill and so the same file
  // id, which the programmer's run limits are kept under; nanoseconds and a call count keep them apart.
  static std::atomic<std::uint32_t> calls{0};
  const auto ns = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
  const auto seed = static_cast<std::uint32_t>(ns ^ (ns >> 32)) + calls.fetch_add(1) * 0x9E3779B9U;
  return Rand15(seed);
}

std::uint8_t randomFillByte(int r) {
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(r) & 0x7FFF) * 255 / 32767);
}

ProductionHeader makeHeader(FileKind kind, const ProductionSettings& settings, const firmware::MCU& mcu,
                            std::uint16_t modelCode, std::uint32_t checksum, std::uint32_t dataLength,
                            const RandomSource& random) {
  ProductionHeader h;
  h.magic = magicOf(kind);
  h.write_num_max = settings.write_num_max;
  h.write_id_num = settings.write_id_num;
  h.checksum = checksum;
  h.dataLength = dataLength;
  h.user_code = settings.user_code;
  h.write_limit_num_enable = flag(settings.write_limit_num_enable);
  h.writer_ID_limit_enable = flag(settings.writer_ID_limit_enable);
  h.user_code_enable = flag(settings.user_code_enable);
  h.model = mcu.model;
  h.modelCode = modelCode;
  std::copy_n(mcu.name.begin(), std::min(mcu.name.size(), h.modelName.size()), h.modelName.begin());
  h.key = settings.key;
  for (auto& b : h.randomFill) b = randomFillByte(random());
  return h;
}

HeaderBytes layoutHeader(const ProductionHeader& h) {
  HeaderBytes b;
  b.fill(0xFF);
  std::copy(h.magic.begin(), h.magic.end(), b.begin());
  put32(b, 4, h.write_num_max);
  put32(b, 8, h.write_id_num);
  put32(b, 12, h.checksum);
  put32(b, 16, h.dataLength);
  put32(b, 20, h.user_code);
  b[24] = h.write_limit_num_enable;
  b[25] = h.writer_ID_limit_enable;
  b[26] = h.user_code_enable;
  b[27] = h.reserved;
  put16(b, 28, h.model);
  put16(b, 30, h.modelCode);
  std::copy(h.modelName.begin(), h.modelName.end(), b.begin() + 32);
  std::copy(h.key.begin(), h.key.end(), b.begin() + 48);
  std::copy(h.randomFill.begin(), h.randomFill.end(), b.begin() + kRandomFillOffset);
  return b;
}

ProductionHeader parseHeader(const HeaderBytes& b) {
  ProductionHeader h;
  std::copy_n(b.begin(), 4, h.magic.begin());
  h.write_num_max = get32(b, 4);
  h.write_id_num = get32(b, 8);
  h.checksum = get32(b, 12);
  h.dataLength = get32(b, 16);
  h.user_code = get32(b, 20);
  h.write_limit_num_enable = b[24];
  h.writer_ID_limit_enable = b[25];
  h.user_code_enable = b[26];
  h.reserved = b[27];
  h.model = get16(b, 28);
  h.modelCode = get16(b, 30);
  std::copy_n(b.begin() + 32, 16, h.modelName.begin());
  std::copy_n(b.begin() + 48, 16, h.key.begin());
  std::copy(b.begin() + kRandomFillOffset, b.end(), h.randomFill.begin());
  return h;
}

HeaderBytes encodeHeader(const ProductionHeader& header) {
  HeaderBytes b = layoutHeader(header);
  cipher::TeaEncrypt(b.data(), b.size(), cipher::kBuiltInTeaKey);
  return b;
}

DecodedHeader decodeHeader(const std::uint8_t* file, std::size_t length, FileKind expected) {
  DecodedHeader decoded = decipher(file, length);
  if (decoded.ok() && decoded.kind != expected) decoded.error = HeaderError::WrongMagic;
  return decoded;
}

DecodedHeader decodeAnyHeader(const std::uint8_t* file, std::size_t length) {
  DecodedHeader decoded = decipher(file, length);
  if (decoded.ok() && !decoded.kind) decoded.error = HeaderError::WrongMagic;
  return decoded;
}

void applyHeader(const ProductionHeader& h, FileKind kind, ProductionSettings& s) {
  s.write_num_max = h.write_num_max;
  s.writer_ID_limit_enable = h.writer_ID_limit_enable == kEnabled;
  s.write_id_num = s.writer_ID_limit_enable ? h.write_id_num : 0;
  s.write_id_digits = s.writer_ID_limit_enable ? 8 : 0;
  s.user_code_enable = h.user_code_enable == kEnabled && h.user_code != 0;
  s.user_code = s.user_code_enable ? h.user_code : 0;
  s.write_limit_num_enable = h.write_limit_num_enable == kEnabled;
  s.encrypt_file_id = h.fileId();
  if (kind == FileKind::EncryptedProgram) {
    s.key = h.key;
    s.key_enable = true;
    s.key_count = s.key.size();
    s.fromEncryptedFile = true;
  } else {
    s.fromEncryptedFile = false;
  }
}

void clearSettings(ProductionSettings& s) {
  std::uint32_t fileId = s.encrypt_file_id;
  s = ProductionSettings{};
  s.encrypt_file_id = fileId;
}

}  // namespace production
