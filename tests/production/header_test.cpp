#include <gtest/gtest.h>

#include <vector>

#include "firmware/cipher/tea.hpp"
#include "firmware/production/header.hpp"

namespace {

using production::FileKind;
using production::HeaderError;

firmware::MCU testModel(std::string name = "QX51F6432") {
  firmware::MCU m;
  m.name = std::move(name);
  m.model = 0x6432;
  return m;
}

production::ProductionSettings fullSettings() {
  production::ProductionSettings s;
  s.write_limit_num_enable = true;
  s.write_num_max = 5000;
  s.writer_ID_limit_enable = true;
  s.write_id_num = 0x89ABCDEF;
  s.write_id_digits = 8;
  s.user_code_enable = true;
  s.user_code = 0x00010203;
  s.key_enable = true;
  s.key = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  s.key_count = 16;
  return s;
}

// Counts up from a start, so that the fill and the file id are known.
production::RandomSource counting(int start) {
  return [n = start]() mutable { return n++; };
}

production::HeaderBytes plainOf(const production::HeaderBytes& file) {
  production::HeaderBytes plain = file;
  cipher::TeaDecrypt(plain.data(), plain.size(), cipher::kBuiltInTeaKey);
  return plain;
}

TEST(ProductionHeader, LayoutPutsEveryFieldAtItsOffsetBigEndian) {
  const auto header = production::makeHeader(FileKind::EncryptedProgram, fullSettings(), testModel(), 0x2105,
                                             0xDEADBEEF, 0x00012345, [] { return 32767; });
  const auto b = production::layoutHeader(header);
  const std::vector<std::uint8_t> expected = {
      0xFF, 0xCC, 0xBB, 0xAA,  // magic
      0x00, 0x00, 0x13, 0x88,  // write_num_max 5000
      0x89, 0xAB, 0xCD, 0xEF,  // write_id_num
      0xDE, 0xAD, 0xBE, 0xEF,  // checksum
      0x00, 0x01, 0x23, 0x45,  // dataLength
      0x00, 0x01, 0x02, 0x03,  // user code
      0x55, 0x55, 0x55, 0x00,  // enables, reserved
      0x64, 0x32, 0x21, 0x05,  // model id, model code
      'Q',  'X',  '5',  '1',  'F', '6', '4', '3', '2', 0, 0, 0, 0, 0, 0, 0,  // name, zero padded
      '0',  '1',  '2',  '3',  '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 64), expected);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 64, b.end()), std::vector<std::uint8_t>(192, 0xFF));

  // The file holds that layout enciphered as a whole under the built-in key.
  const auto file = production::encodeHeader(header);
  EXPECT_NE(file, b);
  EXPECT_EQ(plainOf(file), b);
}

TEST(ProductionHeader, WriteThenReadGivesBackEverySettingForBothKinds) {
  for (FileKind kind : {FileKind::EncryptedProgram, FileKind::ProductionProject}) {
    const bool cab = kind == FileKind::EncryptedProgram;
    SCOPED_TRACE(cab ? ".cab" : ".cap");
    const auto written = fullSettings();
    const auto file = production::encodeHeader(
        production::makeHeader(kind, written, testModel(), 0x2105, 0x0BADF00D, 4096, production::Rand15(7)));

    const auto decoded = production::decodeHeader(file.data(), file.size(), kind);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.kind, kind);
    EXPECT_EQ(decoded.header.magic[0], cab ? 0xFF : 0xFE);
    EXPECT_EQ(decoded.header.checksum, 0x0BADF00DU);
    EXPECT_EQ(decoded.header.dataLength, 4096U);
    EXPECT_EQ(decoded.header.model, 0x6432);
    EXPECT_EQ(decoded.header.modelCode, 0x2105);
    EXPECT_EQ(decoded.header.modelNameText(), "QX51F6432");

    production::ProductionSettings read;
    production::applyHeader(decoded.header, kind, read);
    EXPECT_TRUE(read.write_limit_num_enable);
    EXPECT_EQ(read.write_num_max, written.write_num_max);
    EXPECT_TRUE(read.writer_ID_limit_enable);
    EXPECT_EQ(read.write_id_num, written.write_id_num);
    EXPECT_EQ(read.write_id_digits, 8U);
    EXPECT_TRUE(read.user_code_enable);
    EXPECT_EQ(read.user_code, written.user_code);
    EXPECT_EQ(read.fromEncryptedFile, cab);
    EXPECT_EQ(read.key_enable, cab);
    EXPECT_EQ(read.key, cab ? written.key : decltype(read.key){});
    EXPECT_EQ(read.key_count, cab ? 16U : 0U);

    // The file id is bytes 64..67 of the deciphered header, big-endian.
    const auto plain = plainOf(file);
    const std::uint32_t bytes64 = (std::uint32_t{plain[64]} << 24) | (std::uint32_t{plain[65]} << 16) |
                                  (std::uint32_t{plain[66]} << 8) | plain[67];
    EXPECT_EQ(read.encrypt_file_id, bytes64);
    EXPECT_EQ(decoded.header.fileId(), bytes64);
  }
}

TEST(ProductionHeader, RandomFillScalesRandValuesToBytes) {
  struct Case {
    int r;
    std::uint8_t byte;
  };
  for (const Case& c : {Case{0, 0}, Case{128, 0}, Case{129, 1}, Case{16384, 127}, Case{32766, 254},
                        Case{32767, 255}, Case{32768, 0}, Case{-1, 255}}) {
    EXPECT_EQ(production::randomFillByte(c.r), c.byte) << c.r;
  }
  // The C library's classic rand() sequence from seed 1.
  production::Rand15 rand(1);
  EXPECT_EQ(rand(), 41);
  EXPECT_EQ(rand(), 18467);
  EXPECT_EQ(rand(), 6334);

  const auto header = production::makeHeader(FileKind::ProductionProject, {}, testModel(), 0, 0, 0, counting(129));
  EXPECT_EQ(header.randomFill[0], 1);
  EXPECT_EQ(header.randomFill[191], production::randomFillByte(129 + 191));
}

TEST(ProductionHeader, FilesDifferInTheirFillAndFileId) {
  const auto a = production::makeHeader(FileKind::EncryptedProgram, {}, testModel(), 0, 0, 0, production::Rand15(1));
  const auto b = production::makeHeader(FileKind::EncryptedProgram, {}, testModel(), 0, 0, 0, production::Rand15(2));
  EXPECT_NE(a.randomFill, b.randomFill);
  EXPECT_NE(a.fileId(), b.fileId());
}

TEST(ProductionHeader, FilesMadeInTheSameSecondGetTheirOwnFileId) {
  const auto a = production::makeHeader(FileKind::EncryptedProgram, {}, testModel(), 0, 0, 0,
                                        production::timeSeededRandom());
  const auto b = production::makeHeader(FileKind::EncryptedProgram, {}, testModel(), 0, 0, 0,
                                        production::timeSeededRandom());
  EXPECT_NE(a.randomFill, b.randomFill);
  EXPECT_NE(a.fileId(), b.fileId());
}

TEST(ProductionHeader, LongModelNamesAreCutToSixteenBytes) {
  const auto header = production::makeHeader(FileKind::ProductionProject, {}, testModel("QX51F6432-LQFP48-EXT"), 0,
                                             0, 0, counting(0));
  EXPECT_EQ(header.modelNameText(), "QX51F6432-LQFP48");
  const auto plain = production::layoutHeader(header);
  EXPECT_EQ(plain[47], '8');
  EXPECT_EQ(plain[48], 0) << "the key field follows untouched";
}

TEST(ProductionHeader, ReadingRefusesOtherKindsGarbageAndShortInput) {
  const auto cap = production::encodeHeader(
      production::makeHeader(FileKind::ProductionProject, fullSettings(), testModel(), 0, 0, 0, counting(0)));

  const auto asCab = production::decodeHeader(cap.data(), cap.size(), FileKind::EncryptedProgram);
  EXPECT_EQ(asCab.error, HeaderError::WrongMagic);
  EXPECT_EQ(asCab.kind, FileKind::ProductionProject);
  EXPECT_TRUE(production::decodeAnyHeader(cap.data(), cap.size()).ok());

  const production::HeaderBytes garbage{};
  EXPECT_EQ(production::decodeAnyHeader(garbage.data(), garbage.size()).error, HeaderError::WrongMagic);
  EXPECT_FALSE(production::decodeAnyHeader(garbage.data(), garbage.size()).kind);
  // An unenciphered layout is not accepted either.
  const auto plain = production::layoutHeader(
      production::makeHeader(FileKind::EncryptedProgram, {}, testModel(), 0, 0, 0, counting(0)));
  EXPECT_EQ(production::decodeHeader(plain.data(), plain.size(), FileKind::EncryptedProgram).error,
            HeaderError::WrongMagic);

  EXPECT_EQ(production::decodeHeader(cap.data(), 255, FileKind::ProductionProject).error, HeaderError::TooShort);
  EXPECT_EQ(production::decodeAnyHeader(nullptr, 0).error, HeaderError::TooShort);
}

TEST(ProductionHeader, EnableBytesOtherThan0x55AndAZeroUserCodeTurnSettingsOff) {
  struct Case {
    const char* what;
    std::uint8_t limit, writerId, userCodeEnable;
    std::uint32_t userCode;
    bool limitOn, writerIdOn, rollCodeOn;
  };
  for (const Case& c : {Case{"user code 0 with byte 26 = 0x55", 0x55, 0x55, 0x55, 0, true, true, false},
                        Case{"user code set but byte 26 = 0", 0x55, 0x55, 0x00, 77, true, true, false},
                        Case{"0xFF is not 0x55", 0xFF, 0xFF, 0xFF, 77, false, false, false},
                        Case{"all off", 0x00, 0x00, 0x00, 77, false, false, false}}) {
    SCOPED_TRACE(c.what);
    auto h = production::makeHeader(FileKind::EncryptedProgram, fullSettings(), testModel(), 0, 0, 0, counting(0));
    h.write_limit_num_enable = c.limit;
    h.writer_ID_limit_enable = c.writerId;
    h.user_code_enable = c.userCodeEnable;
    h.user_code = c.userCode;
    const auto file = production::encodeHeader(h);
    const auto decoded = production::decodeHeader(file.data(), file.size(), FileKind::EncryptedProgram);
    ASSERT_TRUE(decoded.ok());

    production::ProductionSettings s = fullSettings();
    production::applyHeader(decoded.header, FileKind::EncryptedProgram, s);
    EXPECT_EQ(s.write_limit_num_enable, c.limitOn);
    EXPECT_EQ(s.write_num_max, 5000U) << "the maximum is taken over either way";
    EXPECT_EQ(s.writer_ID_limit_enable, c.writerIdOn);
    EXPECT_EQ(s.write_id_num, c.writerIdOn ? 0x89ABCDEFU : 0U);
    EXPECT_EQ(s.write_id_digits, c.writerIdOn ? 8U : 0U);
    EXPECT_EQ(s.user_code_enable, c.rollCodeOn);
    EXPECT_EQ(s.user_code, c.rollCodeOn ? c.userCode : 0U);
  }
}

TEST(ProductionHeader, ProductionProjectKeepsTheTypedKeyAndRefusalClearsSettings) {
  production::ProductionSettings s = fullSettings();
  s.encrypt_file_id = 0x11223344;
  const auto h = production::makeHeader(FileKind::ProductionProject, {}, testModel(), 0, 0, 0, counting(0));
  production::applyHeader(h, FileKind::ProductionProject, s);
  EXPECT_TRUE(s.key_enable);
  EXPECT_EQ(s.key, fullSettings().key);
  EXPECT_FALSE(s.fromEncryptedFile);
  EXPECT_EQ(s.encrypt_file_id, h.fileId());

  s.fromEncryptedFile = true;
  production::clearSettings(s);
  EXPECT_FALSE(s.write_limit_num_enable || s.writer_ID_limit_enable || s.user_code_enable || s.key_enable ||
               s.fromEncryptedFile);
  EXPECT_EQ(s.write_num_max + s.write_id_num + s.user_code, 0U);
  EXPECT_EQ(s.write_id_digits + s.key_count, 0U);
  EXPECT_EQ(s.key, decltype(s.key){});
  EXPECT_EQ(s.encrypt_file_id, h.fileId());
}

TEST(ProductionHeader, ThirteenDataBytesUnderTheFileKeyEncipherEightAndKeepFivePlain) {
  const auto settings = fullSettings();
  const auto file = production::encodeHeader(
      production::makeHeader(FileKind::EncryptedProgram, settings, testModel(), 0, 0, 13, counting(0)));
  const auto decoded = production::decodeHeader(file.data(), file.size(), FileKind::EncryptedProgram);
  ASSERT_TRUE(decoded.ok());

  const std::vector<std::uint8_t> image = {0x02, 0x00, 0x30, 0x75, 0x81, 0x7F, 0x12, 0x00,
                                           0x40, 0x80, 0xFE, 0x22, 0x00};
  std::vector<std::uint8_t> data = image;
  cipher::TeaEncrypt(data.data(), decoded.header.dataLength, decoded.header.key);

  std::uint32_t y = 0x02003075, z = 0x817F1200;
  cipher::teaEncipherBlock(y, z, cipher::teaKeyFromBytes(settings.key.data(), cipher::WordOrder::BigEndian));
  const std::vector<std::uint8_t> firstBlock = {
      static_cast<std::uint8_t>(y >> 24), static_cast<std::uint8_t>(y >> 16), static_cast<std::uint8_t>(y >> 8),
      static_cast<std::uint8_t>(y),       static_cast<std::uint8_t>(z >> 24), static_cast<std::uint8_t>(z >> 16),
      static_cast<std::uint8_t>(z >> 8),  static_cast<std::uint8_t>(z)};
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 8), firstBlock);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + 8, data.end()),
            std::vector<std::uint8_t>(image.begin() + 8, image.end()));

  cipher::TeaDecrypt(data.data(), data.size(), decoded.header.key);
  EXPECT_EQ(data, image);
}

}  // namespace
