#include "firmware/loader.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>

#include "base/texts.hpp"
#include "base/trace.hpp"
#include "hex_builder.hpp"
#include "recording_sink.hpp"
#include "tests/support/temp_home.hpp"

namespace {

namespace fs = std::filesystem;
using firmware::LoadMode;
using firmware::ProgramFileKind;
using fwtest::hexFile;
using fwtest::pattern;
using fwtest::RecordingSink;
using Bytes = std::vector<std::uint8_t>;

const char kTooLarge[] = "The program file is too large, exceeding the FLASH capacity of the chip!";
const char kTooSmall[] = "The program file is too small. Please load the correct QX32BOOT.BIN!";

// Models for every path of the loader: 8-bit with and without EEPROM, the two classes without a
// capacity, the 32-bit family, and a family of the 32-bit type that is read by address.
const char kCatalogue[] = R"(<mcuList>
  <mcuFamily name="E" id="E8" mcuType="K7A0" flashSize="16">
    <mcu name="M16" model="0101"/>
    <mcu name="M8E" model="0102" flashSize="8" eepromSize="512"/>
    <mcu name="M4E" model="0103" flashSize="4"/>
    <mcu name="M2" model="0104" flashSize="2" eepromSize="0"/>
    <mcu name="M20" model="0105" flashSize="20"/>
  </mcuFamily>
  <mcuFamily name="W" id="32" mcuType="W3X" flashSize="16"><mcu name="W16" model="0201"/></mcuFamily>
  <mcuFamily name="V" id="V1" mcuType="W3X" flashSize="16"><mcu name="V16" model="0301"/></mcuFamily>
</mcuList>)";

bool allErased(const Bytes& v, std::size_t from = 0) {
  return std::all_of(v.begin() + static_cast<std::ptrdiff_t>(from), v.end(), [](std::uint8_t b) { return b == 0xFF; });
}

Bytes readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    dir_ = testsupport::makeTempDir("qx_loader");
    list_ = firmware::LoadCatalogue(kCatalogue);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    base::setThreadLanguage(base::kLangChinese);
  }

  fs::path write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return dir_ / name;
  }
  fs::path write(const std::string& name, const Bytes& content) {
    return write(name, std::string(content.begin(), content.end()));
  }
  std::uint16_t code(const char* model) { return firmware::TypeIndex(*firmware::FindByName(list_, model)); }

  bool load(const fs::path& path, ProgramFileKind kind, const char* model, LoadMode mode = LoadMode::Isp) {
    return loadCode(path, kind, code(model), mode);
  }
  bool loadCode(const fs::path& path, ProgramFileKind kind, std::uint16_t modelCode, LoadMode mode = LoadMode::Isp) {
    sink_ = RecordingSink();
    return firmware::LoadProgramFile(path, kind, {modelCode, mode, &list_}, image_, sink_);
  }

  fs::path blinkHex() const { return fs::path(QUBRIX_EXAMPLES_DIR) / "blink.hex"; }

  fs::path dir_;
  firmware::McuList list_;
  firmware::ProgramImage image_;
  RecordingSink sink_;
};

TEST_F(LoaderTest, ShippedExampleLoadsAsTheWindowShowsIt) {
  const Bytes program = readBytes(fs::path(QUBRIX_EXAMPLES_DIR) / "blink.bin");
  ASSERT_EQ(program.size(), 100u);
  ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16"));

  EXPECT_EQ(image_.m_MaxFileLength, 16384u);
  EXPECT_EQ(image_.dataLength, 100u);
  EXPECT_EQ(image_.loadedLength, 100u);
  EXPECT_EQ(image_.programLength, 128);
  EXPECT_EQ(image_.pageCount, 1u);
  ASSERT_EQ(image_.data.size(), 16384u);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), image_.data.begin()));
  EXPECT_TRUE(allErased(image_.data, 100));

  const std::uint32_t sum = std::accumulate(program.begin(), program.end(), 0u);
  const std::uint32_t total = sum + 0xFF * (16384 - 100) + 2 * 16384 + 1;
  EXPECT_EQ(image_.totalChecksum, total);
  EXPECT_EQ(image_.programChecksum, sum + 0xFF * 28 + 2 * 128 + 1);
  EXPECT_EQ(image_.dataChecksum, sum + 2 * 100 + 1);

  ASSERT_EQ(sink_.logs.size(), 1u);
  EXPECT_EQ(sink_.logs[0].first,
            base::format("--> The program file has been successfully loaded. Checksum: %08X", total));
  EXPECT_EQ(sink_.logs[0].second, base::LogColour::Normal);
  EXPECT_EQ(sink_.checksums, std::vector<std::string>{base::format("Checksum: %08X", total)});
  EXPECT_EQ(sink_.sizes, std::vector<std::string>{"FILE SIZE: 0.125 KB"});
  EXPECT_TRUE(sink_.boxes.empty());
  // A blank view at the start, the image at the end.
  ASSERT_EQ(sink_.shown.size(), 2u);
  EXPECT_EQ(sink_.shown[0], Bytes(16384, 0xFF));
  EXPECT_EQ(sink_.shown[1], image_.data);
}

TEST_F(LoaderTest, ProcessWideCatalogueServesWhenNoListIsGiven) {
  const std::uint16_t readme = firmware::TypeIndex(*firmware::FindByName("QB51F16"));
  sink_ = RecordingSink();
  ASSERT_TRUE(firmware::LoadProgramFile(blinkHex(), ProgramFileKind::Hex, {readme, LoadMode::Isp, nullptr}, image_, sink_));
  EXPECT_EQ(sink_.sizes, std::vector<std::string>{"FILE SIZE: 0.125 KB"});
}

TEST_F(LoaderTest, OtherModesTakeTheWholeFlashExceptA32BitBin) {
  std::string traced;
  base::setTraceListener([&traced](std::string_view line) { traced += line; });
  ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16", LoadMode::Other));
  base::setTraceListener(nullptr);
  EXPECT_EQ(image_.loadedLength, 16384u);
  EXPECT_EQ(image_.programLength, 16384);
  EXPECT_EQ(image_.pageCount, 128u);
  EXPECT_EQ(image_.dataLength, 100u);
  EXPECT_EQ(image_.programChecksum, image_.totalChecksum);
  EXPECT_EQ(sink_.sizes, std::vector<std::string>{"FILE SIZE: 16.000 KB"});
  EXPECT_NE(traced.find("m_MaxFileLength = 16384\n"), std::string::npos);
  EXPECT_NE(traced.find(base::format("totalChecksum = %08X\n", image_.totalChecksum)), std::string::npos);

  ASSERT_TRUE(load(write("p.bin", pattern(300)), ProgramFileKind::Bin, "M16", LoadMode::Other));
  EXPECT_EQ(image_.loadedLength, 16384u);
  EXPECT_EQ(image_.programLength, 16384);
  EXPECT_EQ(image_.dataLength, 300u);

  ASSERT_TRUE(load(write("w.bin", pattern(5000)), ProgramFileKind::Bin, "W16", LoadMode::Other));
  EXPECT_EQ(image_.loadedLength, 5000u);
  EXPECT_EQ(image_.programLength, 5120);
  EXPECT_EQ(image_.pageCount, 10u);

  ASSERT_TRUE(load(write("w.hex", hexFile(pattern(5000))), ProgramFileKind::Hex, "W16", LoadMode::Other));
  EXPECT_EQ(image_.loadedLength, 16384u);
  EXPECT_EQ(image_.programLength, 16384);
}

TEST_F(LoaderTest, BinSizeLimits) {
  struct Case {
    const char* model;
    std::size_t size;
    const char* refusal;  // nullptr: loads
  } cases[] = {
      {"M16", 16384, nullptr}, {"M16", 16385, kTooLarge}, {"M8E", 8192, nullptr}, {"M8E", 8193, kTooLarge},
      {"M4E", 4096, nullptr},  {"W16", 4096, kTooSmall},  {"W16", 4097, nullptr}, {"W16", 16384, nullptr},
      {"W16", 16385, kTooLarge}, {"V16", 4096, kTooSmall}, {"M2", 10, kTooLarge}, {"M20", 10, kTooLarge},
  };
  for (const Case& c : cases) {
    const bool loaded = load(write("f.bin", pattern(c.size)), ProgramFileKind::Bin, c.model);
    EXPECT_EQ(loaded, c.refusal == nullptr) << c.model << " " << c.size;
    if (c.refusal != nullptr) {
      ASSERT_EQ(sink_.boxes.size(), 1u) << c.model << " " << c.size;
      EXPECT_EQ(sink_.boxes[0].text, c.refusal);
    } else {
      EXPECT_EQ(image_.dataLength, c.size);
      EXPECT_EQ(image_.data.size(), image_.m_MaxFileLength);
      EXPECT_EQ(Bytes(image_.data.begin(), image_.data.begin() + static_cast<std::ptrdiff_t>(c.size)), pattern(c.size));
    }
  }
}

TEST_F(LoaderTest, ThirtyTwoBitChecksumsCoverTheApplicationBehindTheBootArea) {
  const Bytes program = pattern(4097);
  ASSERT_TRUE(load(write("w.bin", program), ProgramFileKind::Bin, "W16"));
  EXPECT_EQ(image_.programLength, 4608);
  EXPECT_EQ(image_.totalChecksum, firmware::WordXorChecksum(program, 4097));
  ASSERT_EQ(image_.appArea.size(), 16384u);
  EXPECT_EQ(image_.appArea[0], program[4096]);
  EXPECT_TRUE(allErased(image_.appArea, 1));
  EXPECT_EQ(image_.appChecksum, program[4096] + 0xFFu * 511 + 2 * 512 + 1);

  ASSERT_TRUE(load(write("w.hex", hexFile(pattern(5000))), ProgramFileKind::Hex, "W16"));
  EXPECT_EQ(image_.m_MaxFileLength, 16384u);
  EXPECT_EQ(image_.dataLength, 5000u);
  EXPECT_EQ(image_.loadedLength, 5000u);
  EXPECT_EQ(image_.programLength, 5120);
  EXPECT_EQ(image_.totalChecksum, firmware::WordXorChecksum(pattern(5000), 5000) ^ 0u);
  EXPECT_EQ(image_.appChecksum, firmware::ImageChecksum(image_.appArea.data(), 1024));
  EXPECT_TRUE(std::equal(image_.appArea.begin(), image_.appArea.begin() + 904, image_.data.begin() + 4096));
}

TEST_F(LoaderTest, ThirtyTwoBitHexRefusals) {
  struct Case {
    const char* name;
    std::string text;
    const char* message;
    const char* caption;
  } cases[] = {
      {"blank last line", hexFile(pattern(5000)) + "\n", "An error occurred when parsing the hex file.", "Error"},
      {"binary", std::string("\x7F" "ELF\x01\x02\x00\xFF", 8), "An error occurred when parsing the hex file.", "Error"},
      {"truncated", hexFile(pattern(5000)).substr(0, 301), "An error occurred when parsing the hex file.", "Error"},
      {"too large", hexFile(pattern(16385)), kTooLarge, "Tip"},
      {"only the boot area", hexFile(pattern(4096)), kTooSmall, "Tip"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(load(write("w.hex", c.text), ProgramFileKind::Hex, "W16")) << c.name;
    ASSERT_EQ(sink_.boxes.size(), 1u) << c.name;
    EXPECT_EQ(sink_.boxes[0].text, c.message) << c.name;
    EXPECT_EQ(sink_.boxes[0].caption, c.caption) << c.name;
    EXPECT_TRUE(sink_.sizes.empty()) << c.name;
  }
  EXPECT_FALSE(load(dir_ / "missing.hex", ProgramFileKind::Hex, "W16"));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].icon, base::MessageIcon::Error);
}

// Too large and too small refuse the file: message, red log line, file name field reset and a
// blank view; the image keeps what it had.
TEST_F(LoaderTest, RefusedFileLeavesThePreviousImage) {
  struct Case {
    const char* name;
    fs::path file;
    ProgramFileKind kind;
    const char* model;
    const char* message;
    std::size_t blank;
  } cases[] = {
      {"hex too large", write("big.hex", hexFile(pattern(16385))), ProgramFileKind::Hex, "M16", kTooLarge, 16384},
      {"bin too large", write("big.bin", pattern(16385)), ProgramFileKind::Bin, "M16", kTooLarge, 16384},
      {"class 0x7", blinkHex(), ProgramFileKind::Hex, "M2", kTooLarge, 0},
      {"class 0x8", blinkHex(), ProgramFileKind::Hex, "M20", kTooLarge, 0},
      {"32-bit type read by address", blinkHex(), ProgramFileKind::Hex, "V16", kTooSmall, 16384},
      {"32-bit bin", write("boot.bin", pattern(100)), ProgramFileKind::Bin, "W16", kTooSmall, 16384},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16"));
    const firmware::ProgramImage before = image_;
    EXPECT_FALSE(load(c.file, c.kind, c.model)) << c.name;
    ASSERT_EQ(sink_.boxes.size(), 1u) << c.name;
    EXPECT_EQ(sink_.boxes[0].text, c.message) << c.name;
    EXPECT_EQ(sink_.boxes[0].caption, "Tip") << c.name;
    EXPECT_EQ(sink_.boxes[0].icon, base::MessageIcon::Warning) << c.name;
    ASSERT_EQ(sink_.logs.size(), 1u) << c.name;
    EXPECT_EQ(sink_.logs[0].first, std::string("--> ") + c.message) << c.name;
    EXPECT_EQ(sink_.logs[0].second, base::LogColour::Error) << c.name;
    EXPECT_EQ(sink_.fileNames, std::vector<std::string>{"No File Selected!"}) << c.name;
    EXPECT_EQ(sink_.shown.back(), Bytes(c.blank, 0xFF)) << c.name;
    EXPECT_TRUE(sink_.checksums.empty() && sink_.sizes.empty()) << c.name;
    EXPECT_EQ(image_.data, before.data) << c.name;
    EXPECT_EQ(image_.m_MaxFileLength, before.m_MaxFileLength) << c.name;
    EXPECT_EQ(image_.loadedLength, before.loadedLength) << c.name;
    EXPECT_EQ(image_.dataLength, before.dataLength) << c.name;
    EXPECT_EQ(image_.programLength, before.programLength) << c.name;
    EXPECT_EQ(image_.totalChecksum, before.totalChecksum) << c.name;
  }
}

TEST_F(LoaderTest, EightBitHexFailuresWithoutAMessage) {
  std::mt19937 random(7);
  Bytes garbage(3000);
  for (std::uint8_t& b : garbage) b = static_cast<std::uint8_t>(random());
  const std::string cases[] = {
      hexFile(pattern(200)).substr(0, 150),  // truncated: no end record
      std::string(garbage.begin(), garbage.end()),
      "",
  };
  ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16"));
  const Bytes before = image_.data;
  for (const std::string& text : cases) {
    EXPECT_FALSE(load(write("x.hex", text), ProgramFileKind::Hex, "M16"));
    EXPECT_TRUE(sink_.boxes.empty());
    EXPECT_TRUE(sink_.logs.empty());
    EXPECT_EQ(image_.data, before);
  }
  EXPECT_FALSE(load(dir_ / "missing.hex", ProgramFileKind::Hex, "M16"));
  EXPECT_TRUE(sink_.boxes.empty());
  EXPECT_FALSE(load(dir_, ProgramFileKind::Hex, "M16"));  // a directory
  EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(LoaderTest, HexNeedsASelectedModel) {
  ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16"));
  const Bytes before = image_.data;
  EXPECT_FALSE(loadCode(blinkHex(), ProgramFileKind::Hex, 0x1FFF));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Please select mcu model first.");
  EXPECT_EQ(sink_.boxes[0].caption, "Tip");
  EXPECT_EQ(sink_.boxes[0].icon, base::MessageIcon::Warning);
  EXPECT_TRUE(sink_.logs.empty());
  EXPECT_EQ(image_.data, before);
}

TEST_F(LoaderTest, UnreadableBinIsAnErrorAndAnEmptyOneEndsSilently) {
  EXPECT_FALSE(load(dir_ / "missing.bin", ProgramFileKind::Bin, "M16"));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Error in reading the file!");
  EXPECT_EQ(sink_.boxes[0].icon, base::MessageIcon::Error);
  EXPECT_TRUE(sink_.fileNames.empty());

  ASSERT_TRUE(load(blinkHex(), ProgramFileKind::Hex, "M16"));
  EXPECT_FALSE(load(write("empty.bin", std::string()), ProgramFileKind::Bin, "M16"));
  EXPECT_TRUE(sink_.boxes.empty() && sink_.logs.empty());
  // The buffers were already replaced when the read came back empty.
  EXPECT_EQ(image_.data, Bytes(16384, 0xFF));
  EXPECT_EQ(image_.dataLength, 0u);
}

TEST_F(LoaderTest, LoadStartDropsTheEncryptedFileState) {
  image_.fromEncryptedFile = true;
  image_.enciphered = true;
  image_.rawFile = pattern(64);
  EXPECT_FALSE(load(dir_ / "missing.hex", ProgramFileKind::Hex, "M16"));
  EXPECT_FALSE(image_.fromEncryptedFile);
  EXPECT_FALSE(image_.enciphered);
  EXPECT_TRUE(image_.rawFile.empty());
}

// The extension a production file with EEPROM data gets; its loader calls the same step.
TEST_F(LoaderTest, EepromExtensionGrowsTheCapacityAndChecksumsTheFlashPart) {
  struct Case {
    const char* model;
    std::uint64_t capacity, loaded, grown;
  } cases[] = {{"M8E", 8192, 8704, 8704}, {"M8E", 8192, 8193, 8704}, {"M8E", 8192, 8192, 8192},
               {"M4E", 4096, 4097, 4608}, {"M4E", 4096, 4096, 4096}, {"M16", 16384, 16900, 16384}};
  for (const Case& c : cases) {
    firmware::ProgramImage img;
    img.data = pattern(static_cast<std::size_t>(c.capacity + 256));
    img.m_MaxFileLength = c.capacity;
    img.loadedLength = img.dataLength = c.loaded;
    img.programLength = static_cast<std::int64_t>(c.loaded);
    const Bytes original = img.data;
    firmware::ComputeChecksums(img, code(c.model), LoadMode::Isp);
    EXPECT_EQ(img.m_MaxFileLength, c.grown) << c.model << " " << c.loaded;
    EXPECT_EQ(img.totalChecksum, firmware::ImageChecksum(original.data(), c.capacity)) << c.model;
    const std::uint64_t dataPart = c.grown != c.capacity ? c.grown - 512 : c.loaded;
    Bytes expected = original;
    expected.resize(static_cast<std::size_t>(std::max<std::uint64_t>({expected.size(), c.grown, c.loaded})), 0xFF);
    EXPECT_EQ(img.dataChecksum, firmware::ImageChecksum(expected.data(), dataPart)) << c.model << " " << c.loaded;
    ASSERT_GE(img.data.size(), img.m_MaxFileLength);
    EXPECT_TRUE(allErased(img.data, original.size())) << c.model;
  }
}

TEST(ProgramFileKindOfPath, FollowsTheNameAsTheWindowDoes) {
  struct Case {
    const char* path;
    std::optional<ProgramFileKind> kind;
  } cases[] = {{"a.hex", ProgramFileKind::Hex},      {"A.HEX", ProgramFileKind::Hex},
               {"blink.hex.txt", ProgramFileKind::Hex}, {"a.hex.cab", ProgramFileKind::Hex},
               {"a.bin", ProgramFileKind::Bin},      {"hexfile.bin", ProgramFileKind::Bin},
               {"x.Cab", ProgramFileKind::EncryptedProgram}, {"x.cap", ProgramFileKind::ProductionProject},
               {"notes.txt", std::nullopt},          {"", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(firmware::ProgramFileKindOfPath(c.path), c.kind) << c.path;
}

}  // namespace
