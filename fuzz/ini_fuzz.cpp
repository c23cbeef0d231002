// base::IniFile on settings files a user may have edited by hand: any bytes parse, the text written
// back parses to the same text, and what is set reads back at once and after writing the file
// (for the keys and values a settings file can carry: one line, no blanks at either end).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ini_file.hpp"
#include "fuzz/invariant.hpp"

namespace {

// A section or key name as the program uses them, drawn from a small alphabet so that the input
// hits the names the file already has.
std::string name(FuzzedDataProvider& in) {
  static constexpr char kLetters[] = "ABab_ 1.";
  std::string text;
  const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(1, 4);
  for (std::size_t i = 0; i < length; ++i) text += kLetters[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kLetters - 2)];
  return text;
}

bool writable(const std::string& text, bool isKey) {
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  if (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t')) {
    return false;
  }
  if (!isKey) return true;
  return !text.empty() && text.find('=') == std::string::npos && text.front() != ';' && text.front() != '#' &&
         text.front() != '[';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string file = in.ConsumeRandomLengthString(size);
  base::IniFile ini = base::IniFile::parse(file);
  const std::string written = ini.text();
  fuzzing::require(base::IniFile::parse(written).text() == written, "written text parses to itself");

  while (in.remaining_bytes() > 0) {
    const std::string section = name(in);
    const std::string key = name(in);
    const std::string value = in.ConsumeRandomLengthString(16);
    const bool fileCarriesIt = writable(section, true) && section.find(']') == std::string::npos &&
                               writable(key, true) && writable(value, false);
    // What a file cannot carry is set on a copy, so that it does not spill into the later checks.
    base::IniFile scratch = ini;
    base::IniFile& target = fileCarriesIt ? ini : scratch;
    target.setValue(section, key, value);
    fuzzing::require(target.value(section, key) == value, "what was set reads back");
    if (fileCarriesIt) {
      fuzzing::require(base::IniFile::parse(ini.text()).value(section, key) == value,
                       "what was set reads back from the written file");
    }
  }
  return 0;
}
