#include <gtest/gtest.h>

#include <string>

#include "base/ini_file.hpp"

// A settings file edited by hand may name a section twice; a value set afterwards must be the one
// read, in memory and from the file written back.
TEST(IniFile, WhatIsSetReadsBackWhenASectionAppearsTwice) {
  struct Case {
    const char* file;
    const char* key;
  };
  const Case cases[] = {
      {"[General]\nLangID=0\n[Other]\nx=1\n[General]\nTheme=2\n", "LangID"},  // key in the first copy
      {"[General]\nTheme=2\n[General]\nLangID=0\n", "LangID"},              // key in the second copy
      {"[General]\nLangID=0\n[General]\nLangID=5\n", "LangID"},             // key in both
      {"[General]\nTheme=2\n[General]\nx=1\n", "LangID"},                   // key in neither
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    base::IniFile ini = base::IniFile::parse(c.file);
    ini.setValue("General", c.key, "1");
    EXPECT_EQ(ini.value("General", c.key), "1");
    EXPECT_EQ(base::IniFile::parse(ini.text()).value("General", c.key), "1");
  }
}
