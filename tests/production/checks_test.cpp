#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "firmware/production/checks.hpp"

namespace {

using production::FileKind;

const char kNoFile[] = "Please select a file first.";
const char kKey[] = "Please enter a 16-character key.";
const char kLimit[] = "Please set the maximum number of programming attempts.";
const char kUserCode[] = "Please set the user roll code starting address, ranging from 1 to 999999999.";
const char kWriterId[] = "Please set the 32-bit Writer ID.";
const char kFromCab[] = "Production project file cannot be generated using encrypted program file.";

// Every check fails: the first in the panel's order must be the one reported.
production::ProductionSettings allWrong() {
  production::ProductionSettings s;
  s.key_enable = true;
  s.key_count = 15;
  s.write_limit_num_enable = true;
  s.write_num_max = 0;
  s.user_code_enable = true;
  s.user_code = 0;
  s.writer_ID_limit_enable = true;
  s.write_id_digits = 7;
  return s;
}

TEST(GenerateRefusal, ChecksInThePanelsOrderForEachKind) {
  base::setThreadLanguage(base::kLangEnglish);
  struct Case {
    const char* what;
    FileKind kind;
    bool fileSelected, fromCab;
    void (*fix)(production::ProductionSettings&);
    const char* expected;  // nullptr: accepted
  } cases[] = {
      {"no file", FileKind::EncryptedProgram, false, false, nullptr, kNoFile},
      {"cab: key first", FileKind::EncryptedProgram, true, false, nullptr, kKey},
      {"cab: then the limit", FileKind::EncryptedProgram, true, false,
       [](production::ProductionSettings& s) { s.key_count = 16; }, kLimit},
      {"cab: then the user code", FileKind::EncryptedProgram, true, false,
       [](production::ProductionSettings& s) { s.key_count = 16, s.write_num_max = 1; }, kUserCode},
      {"cab: a writer id of 7 digits", FileKind::EncryptedProgram, true, false,
       [](production::ProductionSettings& s) { s.key_count = 16, s.write_num_max = 1, s.user_code = 1; }, kWriterId},
      {"cab: all set", FileKind::EncryptedProgram, true, false,
       [](production::ProductionSettings& s) {
         s.key_count = 16, s.write_num_max = 1, s.user_code = 1, s.write_id_digits = 8;
       },
       nullptr},
      {"cap: an encrypted image first", FileKind::ProductionProject, true, true, nullptr, kFromCab},
      {"cap: no key check", FileKind::ProductionProject, true, false, nullptr, kLimit},
      {"cap: all off", FileKind::ProductionProject, true, false,
       [](production::ProductionSettings& s) { s = {}; }, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    production::ProductionSettings s = allWrong();
    if (c.fix != nullptr) c.fix(s);
    const auto refusal = production::GenerateRefusal(c.kind, s, c.fileSelected, c.fromCab);
    if (c.expected == nullptr) {
      EXPECT_FALSE(refusal) << *refusal;
    } else {
      EXPECT_EQ(refusal.value_or("(accepted)"), c.expected);
    }
  }
  base::setThreadLanguage(base::kLangChinese);
}

TEST(UserCodeRefusal, StopsAMillionBelowTheTopOf32Bits) {
  base::setThreadLanguage(base::kLangEnglish);
  EXPECT_FALSE(production::UserCodeRefusal(0));
  EXPECT_FALSE(production::UserCodeRefusal(4293967295ULL));
  EXPECT_EQ(production::UserCodeRefusal(4293967296ULL).value_or(""), "Out of range, value range [0~4293967295].");
  EXPECT_TRUE(production::UserCodeRefusal(4294967295ULL));
  base::setThreadLanguage(base::kLangChinese);
}

}  // namespace
