#include "ui/writer/writer_options.hpp"

#include <algorithm>
#include <charconv>

#include "base/strformat.hpp"
#include "firmware/production/checks.hpp"

namespace writerpanel {
namespace {

void resetOptions(production::ProductionSettings& s) {
  const std::uint32_t fileId = s.encrypt_file_id;
  s = production::ProductionSettings{};
  s.encrypt_file_id = fileId;
}

OptionView freeAndUnchecked() {
  OptionView v;
  for (OptionRow* row : {&v.limit, &v.userCode, &v.writerId, &v.key}) *row = OptionRow{false, true, false, {}};
  return v;
}

OptionView locked() {
  OptionView v;
  for (OptionRow* row : {&v.limit, &v.userCode, &v.writerId, &v.key}) *row = OptionRow{false, false, false, {}};
  return v;
}

template <typename T>
std::optional<T> parse(const std::string& text, int base) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

OptionView EnterWriterMode(production::ProductionSettings& settings, bool fromEncryptedFile) {
  if (fromEncryptedFile) return locked();
  resetOptions(settings);
  OptionView v = freeAndUnchecked();
  v.generateEnabled = true;
  return v;
}

OptionView AfterFileLoaded(production::ProductionSettings& s, bool productionProject, bool fromEncryptedFile) {
  if (fromEncryptedFile) {
    OptionView v = locked();
    v.generateEnabled = false;
    return v;
  }
  if (!productionProject) {
    resetOptions(s);
    return freeAndUnchecked();
  }
  OptionView v = freeAndUnchecked();
  v.generateEnabled = false;
  const auto show = [](OptionRow& row, bool on, std::string text) {
    row.checked = on;
    row.editEnabled = on;
    if (on) row.text = std::move(text);
  };
  // Unsigned, so that a user code above 2^31 reads back as it was written.
  show(v.limit, s.write_limit_num_enable, base::format("%u", s.write_num_max));
  show(v.userCode, s.user_code_enable, base::format("%u", s.user_code));
  show(v.writerId, s.writer_ID_limit_enable, base::format("%08X", s.write_id_num));
  return v;
}

void SetLimit(production::ProductionSettings& s, bool checked, const std::string& text) {
  s.write_limit_num_enable = checked;
  s.write_num_max = checked ? parse<std::uint32_t>(text, 10).value_or(0) : 0;
}

UserCodeResult SetUserCode(production::ProductionSettings& s, bool checked, const std::string& text) {
  s.user_code_enable = checked;
  if (!checked) {
    s.user_code = 0;
    return {};
  }
  // Too many digits for 64 bits is out of range just the same.
  const std::optional<std::uint64_t> value =
      text.empty() ? std::optional<std::uint64_t>(0) : parse<std::uint64_t>(text, 10).value_or(UINT64_MAX);
  if (auto refusal = production::UserCodeRefusal(*value)) {
    return {std::move(refusal), base::format("%u", s.user_code)};
  }
  s.user_code = static_cast<std::uint32_t>(*value);
  return {};
}

void SetWriterId(production::ProductionSettings& s, bool checked, const std::string& text) {
  s.writer_ID_limit_enable = checked;
  s.write_id_digits = checked ? text.size() : 0;
  s.write_id_num = checked && text.size() == 8 ? parse<std::uint32_t>(text, 16).value_or(0) : 0;
}

void SetKey(production::ProductionSettings& s, bool checked, const std::string& bytes) {
  s.key_enable = checked;
  s.key.fill(0);
  s.key_count = 0;
  if (!checked) return;
  const std::size_t n = std::min(bytes.size(), s.key.size());
  std::copy_n(bytes.begin(), n, s.key.begin());
  s.key_count = n;
}

}  // namespace writerpanel
