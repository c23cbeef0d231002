#include "firmware/hex.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "base/trace.hpp"
#include "hex_builder.hpp"
#include "tests/support/temp_home.hpp"

namespace {

using firmware::HexByAddress;
using fwtest::hexFile;
using fwtest::hexRecord;
using fwtest::kEndRecord;
using fwtest::pattern;
using Bytes = std::vector<std::uint8_t>;

// --- 8-bit families ------------------------------------------------------------------------

TEST(ReadHexByAddress, PlacesRecordsByAddressWithZeroGapsAndErasedTail) {
  const Bytes program = pattern(100);
  HexByAddress r = firmware::ReadHexByAddress(hexFile(program), 16384);
  ASSERT_EQ(r.status, HexByAddress::Status::Ok);
  EXPECT_EQ(r.dataEnd, 100u);
  ASSERT_EQ(r.data.size(), 16384u);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), r.data.begin()));
  EXPECT_TRUE(std::all_of(r.data.begin() + 100, r.data.end(), [](std::uint8_t b) { return b == 0xFF; }));

  // Two records with a gap between them, in lower-case digits.
  std::string text = hexRecord(0x0000, 0, {0xAA, 0xBB}) + hexRecord(0x0010, 0, {0xCC});
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  r = firmware::ReadHexByAddress(text + kEndRecord, 64);
  ASSERT_EQ(r.status, HexByAddress::Status::Ok);
  EXPECT_EQ(r.dataEnd, 0x11u);
  EXPECT_EQ(r.data[0], 0xAA);
  EXPECT_EQ(r.data[1], 0xBB);
  for (int i = 2; i < 0x10; ++i) EXPECT_EQ(r.data[i], 0x00) << i;
  EXPECT_EQ(r.data[0x10], 0xCC);
  EXPECT_EQ(r.data[0x11], 0xFF);
}

TEST(ReadHexByAddress, OnlyDataRecordsBeforeTheFirstEndRecordCount) {
  const std::string text = hexRecord(0x0000, 0x04, {0x00, 0x01}) + hexRecord(0x0000, 0, {0x11, 0x22}) +
                           hexRecord(0x0004, 0x05, {0, 0, 0, 0}) + kEndRecord + hexRecord(0x0002, 0, {0x33});
  const HexByAddress r = firmware::ReadHexByAddress(text, 16);
  ASSERT_EQ(r.status, HexByAddress::Status::Ok);
  EXPECT_EQ(r.dataEnd, 2u);
  EXPECT_EQ(r.data, (Bytes{0x11, 0x22, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                           0xFF, 0xFF}));
}

TEST(ReadHexByAddress, DataEndCountsEveryByteAndTheFurthestEnd) {
  // Overlapping records: the sum of lengths wins.
  HexByAddress r = firmware::ReadHexByAddress(hexRecord(0, 0, pattern(8)) + hexRecord(0, 0, pattern(8)) + kEndRecord, 64);
  EXPECT_EQ(r.dataEnd, 16u);
  // A long record below a short one at a higher address: its end still bounds the data, so it
  // lands inside the buffer or the file is too large.
  const std::string text = hexRecord(0x0100, 0, pattern(16)) + hexRecord(0x0101, 0, {0x55}) + kEndRecord;
  r = firmware::ReadHexByAddress(text, 0x10F);
  EXPECT_EQ(r.status, HexByAddress::Status::TooLarge);
  EXPECT_TRUE(r.data.empty());
  r = firmware::ReadHexByAddress(text, 0x200);
  ASSERT_EQ(r.status, HexByAddress::Status::Ok);
  EXPECT_EQ(r.dataEnd, 0x110u);
  EXPECT_EQ(r.data[0x101], 0x55);
  EXPECT_EQ(r.data[0x10F], pattern(16)[15]);
}

TEST(ReadHexByAddress, RefusesWhatItCannotPlace) {
  EXPECT_EQ(firmware::ReadHexByAddress(hexRecord(0, 0, pattern(16)), 64).status, HexByAddress::Status::NoEndRecord);
  EXPECT_EQ(firmware::ReadHexByAddress("", 64).status, HexByAddress::Status::NoEndRecord);
  EXPECT_EQ(firmware::ReadHexByAddress(hexFile(pattern(65)), 64).status, HexByAddress::Status::TooLarge);
  EXPECT_EQ(firmware::ReadHexByAddress(hexFile(pattern(64)), 64).status, HexByAddress::Status::Ok);
}

TEST(ReadHexByAddress, IgnoresRecordsThatRunPastTheTextOrHoldNoHex) {
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"length beyond the end", ":10000000AABB" + kEndRecord},
      {"header cut", ":1000" + kEndRecord},
      {"non-hex length", ":G1000000AA00" + kEndRecord},
      {"non-hex data", ":02000000AAZZ00\n" + kEndRecord},
  };
  for (const Case& c : cases) {
    const HexByAddress r = firmware::ReadHexByAddress(c.text, 64);
    ASSERT_EQ(r.status, HexByAddress::Status::Ok) << c.name;
    EXPECT_EQ(r.dataEnd, 0u) << c.name;
  }
  // The scan goes on after an ignored record.
  const HexByAddress r = firmware::ReadHexByAddress(":G1" + hexRecord(0, 0, {0x42}) + kEndRecord, 64);
  EXPECT_EQ(r.dataEnd, 1u);
  EXPECT_EQ(r.data[0], 0x42);
}

// --- 32-bit families -----------------------------------------------------------------------

TEST(ParseHexStrict, AppendsDataInFileOrder) {
  const std::string text = hexRecord(0x0000, 0x04, {0x00, 0x08}) + hexRecord(0x0000, 0, {1, 2}) +
                           hexRecord(0x0004, 0, {3}) + hexRecord(0x0001, 0, {4}) + kEndRecord +
                           hexRecord(0x0006, 0, {5});
  std::string traced;
  base::setTraceListener([&traced](std::string_view line) { traced += line; });
  const Bytes v = firmware::ParseHexStrictText(text);
  base::setTraceListener(nullptr);
  // Gap up to 4 filled with zero; the record at 1 lies below the length and is appended; the
  // end record does not stop the parse.
  EXPECT_EQ(v, (Bytes{1, 2, 0, 0, 3, 4, 5}));
  EXPECT_NE(traced.find("base_address = 0x0008\n"), std::string::npos);
}

TEST(ParseHexStrict, AcceptsWindowsLineEnds) {
  std::string text = hexFile(pattern(40));
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(firmware::ParseHexStrictText(crlf), pattern(40));
  EXPECT_EQ(firmware::ParseHexStrictText(hexRecord(0, 0, {7}) + ":00000001FF"), Bytes{7});  // no final line end
}

TEST(ParseHexStrict, RefusesEveryMalformedLine) {
  const std::string good = hexRecord(0, 0, {1, 2, 3});
  const std::string cases[] = {
      good + kEndRecord + "\n",                 // blank last line
      good + "\n" + kEndRecord,                 // blank line inside
      "10000000" + good,                        // no ':'
      good.substr(0, good.size() - 2) + "\n",   // odd number of digits
      ":0200000001GG00\n",                      // no hex digits
      hexRecord(0, 0, {1, 2, 3}, 1),            // checksum
      ":10000000F0\n",                          // claims 16 data bytes, has none
      ":0000\n",                                // shorter than a record
      hexRecord(0, 0x01, {}) + "garbage\n",     // lines after the end record are checked too
      std::string("\x00\x01\x02\xFF", 4),       // binary
  };
  for (const std::string& text : cases) EXPECT_THROW(firmware::ParseHexStrictText(text), firmware::HexError) << text;
  try {
    firmware::ParseHexStrictText(":zz\n");
    ADD_FAILURE() << "no exception";
  } catch (const firmware::HexError& e) {
    EXPECT_STREQ(e.what(), "Invalid hex file.");
  }
  EXPECT_TRUE(firmware::ParseHexStrictText("").empty());
}

TEST(ParseHexStrict, FileThatCannotBeOpenedIsInvalid) {
  const auto dir = testsupport::makeTempDir("qx_hex");
  EXPECT_THROW(firmware::ParseHexStrict(dir / "missing.hex"), firmware::HexError);
  std::ofstream(dir / "ok.hex") << hexFile(pattern(20));
  EXPECT_EQ(firmware::ParseHexStrict(dir / "ok.hex"), pattern(20));
  std::filesystem::remove_all(dir);
}

// --- Firmware store -------------------------------------------------------------------------

TEST(ParseHexStream, ReadsUntilTheFirstEndRecord) {
  const std::string text = hexRecord(0x0000, 0x04, {0x00, 0x00}) + hexRecord(0x0000, 0, {1, 2}) +
                           hexRecord(0x0004, 0, {3}) + hexRecord(0x0000, 0x03, {0, 0, 0, 0}) + kEndRecord +
                           hexRecord(0x0010, 0, {9});
  EXPECT_EQ(firmware::ParseHexStream(text), (Bytes{1, 2, 0, 0, 3}));
  std::string lower = hexFile(Bytes{0xAB, 0xCD, 0xEF});
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(firmware::ParseHexStream(lower), (Bytes{0xAB, 0xCD, 0xEF}));
  // Without an end record the stream's end ends the read.
  EXPECT_EQ(firmware::ParseHexStream(hexRecord(0, 0, {5, 6})), (Bytes{5, 6}));
}

TEST(ParseHexStream, RecordEndingOnA64KiBBoundaryMovesTheNextOnes) {
  const std::string text = hexRecord(0xFFF0, 0, pattern(16)) + hexRecord(0x0000, 0, {0x77}) + kEndRecord;
  const Bytes v = firmware::ParseHexStream(text);
  ASSERT_EQ(v.size(), 0x10001u);
  EXPECT_EQ(v[0xFFF0], pattern(16)[0]);
  EXPECT_EQ(v[0x10000], 0x77);
  EXPECT_EQ(v[0], 0x00);
}

TEST(ParseHexStream, RefusalsGiveAnEmptyResult) {
  const std::string good = hexRecord(0, 0, {1, 2});
  EXPECT_TRUE(firmware::ParseHexStream(good + hexRecord(2, 0, {3}, 1) + kEndRecord).empty());
  // 33 data bytes do not fit the 37-byte record buffer.
  EXPECT_TRUE(firmware::ParseHexStream(good + hexRecord(2, 0, pattern(33)) + kEndRecord).empty());
  EXPECT_EQ(firmware::ParseHexStream(hexRecord(0, 0, pattern(32)) + kEndRecord), pattern(32));
  // Records that each end on a 64 KiB boundary would otherwise grow without bound.
  std::string climbing;
  for (int i = 0; i < 300; ++i) climbing += hexRecord(0xFFF0, 0, pattern(16));
  EXPECT_TRUE(firmware::ParseHexStream(climbing + kEndRecord).empty());
}

TEST(ParseHexStream, CharactersAfterACompleteRecordWaitForTheNextColon) {
  const std::string junk(200, 'A');
  const std::string text = hexRecord(0, 0, {1, 2}) + junk + hexRecord(2, 0, {3}) + kEndRecord;
  EXPECT_EQ(firmware::ParseHexStream(text), (Bytes{1, 2, 3}));
}

// Random bytes and damaged files never crash a reader or break its promises.
TEST(HexReaders, SurviveDamagedInput) {
  std::mt19937 random(20261210);
  const std::string valid = hexFile(pattern(300), 0x0100);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    if (round % 3 == 0) {
      text.resize(random() % 400);
      for (char& c : text) c = static_cast<char>(random());
    } else {
      text = valid.substr(0, random() % valid.size());
      for (int k = 0; k < 4 && !text.empty(); ++k) text[random() % text.size()] = static_cast<char>(random());
    }
    if (round % 2 == 0) text += kEndRecord;
    const HexByAddress r = firmware::ReadHexByAddress(text, 4096);
    if (r.status == HexByAddress::Status::Ok) {
      EXPECT_EQ(r.data.size(), 4096u);
      EXPECT_LE(r.dataEnd, 4096u);
    }
    try {
      firmware::ParseHexStrictText(text);
    } catch (const firmware::HexError&) {
    }
    EXPECT_LE(firmware::ParseHexStream(text).size(), firmware::kStreamHexLimit);
  }
}

}  // namespace
