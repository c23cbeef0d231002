// The Writer panel's option rules without a window: what each edit leaves in the settings.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "ui/writer/writer_options.hpp"

namespace {

using namespace writerpanel;

TEST(WriterOptions, UserCodeKeepsThePreviousValueBeyondTheRange) {
  base::setThreadLanguage(base::kLangEnglish);
  production::ProductionSettings s;
  EXPECT_FALSE(SetUserCode(s, true, "4293967295").refusal);
  EXPECT_EQ(s.user_code, 4293967295u);
  for (const char* typed : {"4293967296", "18446744073709551615", "99999999999999999999999"}) {
    const UserCodeResult r = SetUserCode(s, true, typed);
    ASSERT_TRUE(r.refusal) << typed;
    EXPECT_EQ(*r.refusal, "Out of range, value range [0~4293967295].");
    EXPECT_EQ(r.restoreText, "4293967295");
    EXPECT_EQ(s.user_code, 4293967295u);
  }
  EXPECT_FALSE(SetUserCode(s, false, "").refusal);
  EXPECT_FALSE(s.user_code_enable);
  EXPECT_EQ(s.user_code, 0u);
}

TEST(WriterOptions, WriterIdNeedsEightDigitsForItsValue) {
  production::ProductionSettings s;
  SetWriterId(s, true, "1234567");
  EXPECT_TRUE(s.writer_ID_limit_enable);
  EXPECT_EQ(s.write_id_digits, 7u);
  EXPECT_EQ(s.write_id_num, 0u);
  SetWriterId(s, true, "a1B2c3D4");
  EXPECT_EQ(s.write_id_digits, 8u);
  EXPECT_EQ(s.write_id_num, 0xA1B2C3D4u);
  SetWriterId(s, false, "");
  EXPECT_EQ(s.write_id_digits, 0u);
  EXPECT_EQ(s.write_id_num, 0u);
}

TEST(WriterOptions, KeyBytesAndCountZeroedWhenEmptyOrOff) {
  production::ProductionSettings s;
  SetKey(s, true, "0123456789abcdef");
  EXPECT_EQ(s.key_count, 16u);
  EXPECT_EQ(s.key[15], 'f');
  SetKey(s, true, "");
  EXPECT_EQ(s.key_count, 0u);
  EXPECT_EQ(s.key, (std::array<std::uint8_t, 16>{}));
  EXPECT_TRUE(s.key_enable);
  SetKey(s, false, "xyz");
  EXPECT_FALSE(s.key_enable);
  EXPECT_EQ(s.key_count, 0u);
}

TEST(WriterOptions, EnteringWriterModeClearsOrLocks) {
  production::ProductionSettings s;
  s.write_limit_num_enable = true;
  s.write_num_max = 9;
  s.encrypt_file_id = 0x1234;
  const OptionView locked = EnterWriterMode(s, true);
  EXPECT_FALSE(locked.limit.boxEnabled);
  EXPECT_FALSE(locked.key.editEnabled);
  EXPECT_TRUE(s.write_limit_num_enable) << "an encrypted program file's settings stay in force";
  EXPECT_FALSE(locked.generateEnabled);

  const OptionView free = EnterWriterMode(s, false);
  EXPECT_TRUE(free.limit.boxEnabled);
  EXPECT_FALSE(free.limit.checked);
  EXPECT_FALSE(free.limit.editEnabled);
  EXPECT_FALSE(s.write_limit_num_enable);
  EXPECT_EQ(s.encrypt_file_id, 0x1234u);
  EXPECT_EQ(free.generateEnabled, true);
}

}  // namespace
