// Reading the files programs are added from, the verify code, the user code and the store name.
#include <gtest/gtest.h>

#include <random>

#include "device/store/store_files.hpp"
#include "firmware/catalogue.hpp"
#include "tests/firmware/hex_builder.hpp"

namespace {

using store::StoreFileKind;

TEST(StoreFiles, KindsFollowTheExtensionInAnyCase) {
  EXPECT_EQ(store::storeFileKindOf("a/b/x.HEX"), StoreFileKind::Hex);
  EXPECT_EQ(store::storeFileKindOf("x.Cab"), StoreFileKind::Production);
  EXPECT_EQ(store::storeFileKindOf("x.cap"), StoreFileKind::Production);
  EXPECT_EQ(store::storeFileKindOf("x.bin"), StoreFileKind::Raw);
  EXPECT_EQ(store::storeFileKindOf("x.hex.txt"), StoreFileKind::Raw);
  EXPECT_TRUE(store::acceptsDroppedFile("/t/x.BIN"));
  EXPECT_FALSE(store::acceptsDroppedFile("/t/x.txt"));
  EXPECT_EQ(store::storeNameOf("/t/motor.v2.hex"), "motor.v2");
  EXPECT_EQ(store::storeNameOf("/t/.hex"), "");
}

TEST(StoreFiles, VerifyCodePadsWithErasedBytes) {
  EXPECT_EQ(store::storeVerifyCode(std::vector<std::uint8_t>{0x00}, 4096), 255u * 4095u + 2u * 4096u + 1u);
  EXPECT_EQ(store::storeVerifyCode(std::vector<std::uint8_t>(4096, 0xFF), 4096), 255u * 4096u + 2u * 4096u + 1u);
  EXPECT_EQ(store::storeVerifyCode(std::vector<std::uint8_t>{1, 2, 3}, 3), 6u + 7u);
}

TEST(StoreFiles, UserCodeIsAnUnsignedDecimalOf32Bits) {
  EXPECT_EQ(store::parseUserCode("0"), 0u);
  EXPECT_EQ(store::parseUserCode("4294967295"), 4294967295u);
  for (const char* bad : {"", " 1", "1 ", "+1", "-1", "0x10", "4294967296", "1e3"}) {
    EXPECT_FALSE(store::parseUserCode(bad)) << bad;
  }
}

TEST(StoreFiles, RawFilesAreCutJustPastTheirLimit) {
  const std::vector<std::uint8_t> bytes(5000, 7);
  EXPECT_EQ(store::readStoreBytes(StoreFileKind::Raw, bytes, firmware::Catalogue(), 4096).bytes.size(), 4097u);
  EXPECT_EQ(store::readStoreBytes(StoreFileKind::Raw, bytes, firmware::Catalogue(), 8192).bytes, bytes);
}

TEST(StoreFiles, AnyBytesOfAnyLengthReadWithoutHarm) {
  std::mt19937 random(11);
  const std::string hex = fwtest::hexFile(fwtest::pattern(300));
  for (const StoreFileKind kind : {StoreFileKind::Hex, StoreFileKind::Production, StoreFileKind::Raw}) {
    for (std::size_t n = 0; n < 700; n += 7) {
      std::vector<std::uint8_t> bytes(n);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
      // Also a valid HEX text cut at every length.
      const std::vector<std::uint8_t> cut(hex.begin(), hex.begin() + static_cast<std::ptrdiff_t>(std::min(n, hex.size())));
      for (const auto& input : {bytes, cut}) {
        const store::StoreFile file = store::readStoreBytes(kind, input, firmware::Catalogue(), 1024);
        EXPECT_LE(file.bytes.size(), kind == StoreFileKind::Raw ? 1025u : 16u << 20);
        if (kind != StoreFileKind::Production) {
          EXPECT_FALSE(file.production);
        }
      }
    }
  }
}

}  // namespace
