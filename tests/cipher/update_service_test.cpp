#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "configured_update_service.hpp"
#include "firmware/cipher/aes.hpp"
#include "firmware/cipher/tools/seal.hpp"
#include "firmware/cipher/update_service.hpp"
#include "firmware/cipher/update_service_data.hpp"

namespace {

template <std::size_t N>
std::string bytesOf(const std::array<std::uint8_t, N>& a) {
  return std::string(a.begin(), a.end());
}

TEST(UpdateService, BuildTimeStringsGiveBackTheConfiguredValues) {
  EXPECT_EQ(cipher::updateServiceHost(), kConfiguredUpdateHost);
  EXPECT_EQ(cipher::updateServiceUser(), kConfiguredUpdateUser);
  EXPECT_EQ(cipher::updateServicePassword(), kConfiguredUpdatePassword);
  // The program carries them enciphered, not in the clear.
  EXPECT_EQ(bytesOf(cipher::kSealedUpdateHost).find(kConfiguredUpdateHost), std::string::npos);
  EXPECT_EQ(bytesOf(cipher::kSealedUpdatePassword).find(kConfiguredUpdatePassword), std::string::npos);
}

TEST(UpdateService, SealedValuesOfEveryLengthComeBackExactly) {
  const auto& key = cipher::storedAesKey();
  struct Case {
    std::string plain;
    std::size_t slot;
  };
  for (const Case& c : {Case{"", 16}, Case{"a", 16}, Case{"update.invalid", 16}, Case{"exactly-16-bytes", 16},
                        Case{"seventeen-bytes!!", 32}, Case{std::string(32, 'p'), 32}, Case{"pass word;#\"\\", 32}}) {
    SCOPED_TRACE(c.plain);
    const auto sealed = sealer::seal(key, c.plain, c.slot);
    ASSERT_EQ(sealed.size(), c.slot);
    EXPECT_EQ(cipher::openUpdateSetting(sealed.data(), sealed.size()), c.plain);
  }
}

TEST(UpdateService, SealerRefusesWhatCouldNotComeBack) {
  const auto& key = cipher::storedAesKey();
  EXPECT_THROW(sealer::seal(key, std::string(17, 'h'), 16), std::length_error);
  EXPECT_THROW(sealer::seal(key, std::string("a\0b", 3), 16), std::invalid_argument);
  EXPECT_THROW(sealer::parseKeyHex("128567b3464887b15ee643ed5e3b320"), std::invalid_argument);
  EXPECT_THROW(sealer::parseKeyHex("128567b3464887b15ee643ed5e3b320g"), std::invalid_argument);
  EXPECT_EQ(sealer::parseKeyHex("00FF10ab00000000000000000000000c")[1], 0xFF);
  EXPECT_THROW(sealer::parseSettings("00000000000000000000000000000000\nhost"), std::invalid_argument);

  const auto settings = sealer::parseSettings("000102030405060708090a0b0c0d0e0f\nh\nu\n\n");
  EXPECT_EQ(settings.key[15], 0x0F);
  EXPECT_EQ(settings.host, "h");
  EXPECT_EQ(settings.user, "u");
  EXPECT_EQ(settings.password, "");
  EXPECT_THROW(sealer::generatedSource({settings.key, "far-too-long.example.com", "u", "p"}), std::length_error);
}

class UpdateServiceEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"QUBRIX_UPDATE_HOST", "QUBRIX_UPDATE_USER", "QUBRIX_UPDATE_PASSWORD"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(UpdateServiceEnvironment, EachValueCanBeOverriddenAtRunTime) {
  auto builtIn = cipher::updateService();
  EXPECT_EQ(builtIn.host, cipher::updateServiceHost());
  EXPECT_EQ(builtIn.user, cipher::updateServiceUser());
  EXPECT_EQ(builtIn.password, cipher::updateServicePassword());

  setenv("QUBRIX_UPDATE_HOST", "127.0.0.1:2121", 1);
  setenv("QUBRIX_UPDATE_PASSWORD", "", 1);
  auto local = cipher::updateService();
  EXPECT_EQ(local.host, "127.0.0.1:2121");
  EXPECT_EQ(local.user, cipher::updateServiceUser());
  EXPECT_EQ(local.password, "") << "a variable that is set but empty still overrides";
}

}  // namespace
