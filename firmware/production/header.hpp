#pragma once
// The 256-byte header of encrypted program files (.cab) and production project files (.cap):
// big-endian fields, enciphered as a whole with TEA under the built-in key. Pure functions only;
// reading files, the catalogue's model check and the image belong to the loader.
//
//   0 magic (4)            FF CC BB AA .cab, FE CC BB AA .cap
//   4 write_num_max (4)    8 write_id_num (4)    12 checksum (4)    16 dataLength (4)
//  20 user code (4)       24 limit enable       25 writer id enable  26 user code enable
//  27 reserved (0)        28 model id (2)       30 model code (2)
//  32 model name (16, zero padded)              48 file key (16)
//  64 random fill (192); bytes 64..67 are the file id
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "firmware/mcu.hpp"
#include "firmware/production/settings.hpp"

namespace production {

enum class FileKind { EncryptedProgram, ProductionProject };  // .cab, .cap

inline constexpr std::size_t kHeaderSize = 256;
inline constexpr std::size_t kRandomFillOffset = 64;
inline constexpr std::uint8_t kEnabled = 0x55;  // 'U'

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;
using Magic = std::array<std::uint8_t, 4>;

Magic magicOf(FileKind kind);
std::optional<FileKind> kindOfMagic(const Magic& magic);

struct ProductionHeader {
  Magic magic{};
  std::uint32_t write_num_max = 0;
  std::uint32_t write_id_num = 0;
  std::uint32_t checksum = 0;    // totalChecksum of the image
  std::uint32_t dataLength = 0;  // bytes of program data after the header
  std::uint32_t user_code = 0;
  std::uint8_t write_limit_num_enable = 0;
  std::uint8_t writer_ID_limit_enable = 0;
  std::uint8_t user_code_enable = 0;
  std::uint8_t reserved = 0;
  std::uint16_t model = 0;      // model id of the catalogue record
  std::uint16_t modelCode = 0;  // MCU_type_index
  std::array<std::uint8_t, 16> modelName{};
  std::array<std::uint8_t, 16> key{};
  std::array<std::uint8_t, kHeaderSize - kRandomFillOffset> randomFill{};

  // encrypt_file_id: bytes 64..67, big-endian.
  std::uint32_t fileId() const;
  // The model name up to its first zero byte.
  std::string modelNameText() const;
};

// A source of values 0..32767, as the C library's rand() gives them; other values are taken
// modulo 32768.
using RandomSource = std::function<int()>;

// rand()-style linear congruential generator, seedable so that tests can repeat a fill.
class Rand15 {
 public:
  explicit Rand15(std::uint32_t seed) : state_(seed) {}
  int operator()();

 private:
  std::uint32_t state_;
};

// A Rand15 seeded from the current time (and a call count), for real files: no two share a fill.
RandomSource timeSeededRandom();

// One byte of the random fill: floor(r * 255 / 32767).
std::uint8_t randomFillByte(int r);

// The header of a file to be written: fields from the settings and the selected model (name cut
// to 16 bytes; names are ASCII), random fill from `random`. write_num_max is stored as held; the
// caller clears its maximum afterwards when the limit is off.
ProductionHeader makeHeader(FileKind kind, const ProductionSettings& settings, const firmware::MCU& mcu,
                            std::uint16_t modelCode, std::uint32_t checksum, std::uint32_t dataLength,
                            const RandomSource& random);

// Plain layout and back (0xFF first, then every field).
HeaderBytes layoutHeader(const ProductionHeader& header);
ProductionHeader parseHeader(const HeaderBytes& plain);

// Layout, then TEA under the built-in key: the first 256 bytes of the file.
HeaderBytes encodeHeader(const ProductionHeader& header);

enum class HeaderError {
  None,
  TooShort,    // fewer than 256 bytes: no header at all
  WrongMagic,  // not a file of the expected kind (or of either kind)
};

struct DecodedHeader {
  HeaderError error = HeaderError::None;
  std::optional<FileKind> kind;  // from the magic, when it is one of the two
  ProductionHeader header;        // the deciphered fields, whatever the magic

  bool ok() const { return error == HeaderError::None; }
};

// Deciphers the first 256 bytes of `file` and checks the magic of `expected`.
DecodedHeader decodeHeader(const std::uint8_t* file, std::size_t length, FileKind expected);
// The same, accepting either magic (the store manager's reader).
DecodedHeader decodeAnyHeader(const std::uint8_t* file, std::size_t length);

// Takes over the settings of an accepted header: writer id only when byte 25 is 0x55, roll code
// only when byte 26 is 0x55 and the user code is not 0, limit enable when byte 24 is 0x55, the file
// id; for .cab the file key as well. A .cap leaves the key fields as they were.
void applyHeader(const ProductionHeader& header, FileKind kind, ProductionSettings& settings);

// What a refused header leaves behind: limit, writer id, user code, key with their counts and
// fromEncryptedFile cleared; the file id of the last good file stays.
void clearSettings(ProductionSettings& settings);

}  // namespace production
