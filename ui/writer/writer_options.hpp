#pragma once
// The rules of the Writer panel's option controls (limit, user code, writer id, key), without Qt:
// what each edit does to the production settings, and what the four check boxes and edits show on
// entering Writer mode and after a file was loaded.
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/production/settings.hpp"

namespace writerpanel {

// One check box with its edit.
struct OptionRow {
  bool checked = false;
  bool boxEnabled = true;
  bool editEnabled = false;
  std::string text;
};

struct OptionView {
  OptionRow limit;
  OptionRow userCode;
  OptionRow writerId;
  OptionRow key;
  std::optional<bool> generateEnabled;  // none: left as it is
};

// Entering Writer mode: with an image from an encrypted program file everything is unchecked and
// locked (the file's settings apply); otherwise the boxes are free and unchecked, the edits
// disabled, the settings cleared and Generate enabled.
OptionView EnterWriterMode(production::ProductionSettings& settings, bool fromEncryptedFile);

// After a file was loaded: a production project file's settings shown in the controls (maximum and
// user code as unsigned decimals, writer id as "%08X"), an encrypted program file's locked, any other file's
// cleared. Loading either production kind disables Generate.
OptionView AfterFileLoaded(production::ProductionSettings& settings, bool productionProject, bool fromEncryptedFile);

// The limit box and its edit: the maximum as a decimal number (0 for an empty edit).
void SetLimit(production::ProductionSettings& settings, bool checked, const std::string& text);

// The user code edit: above 4293967295 the message ("Out of range, value range [0~%u].", caption
// "Error") and the previous value shown again ("%u", caret at the end); otherwise the new value.
struct UserCodeResult {
  std::optional<std::string> refusal;
  std::string restoreText;  // the edit's text after a refusal
};
UserCodeResult SetUserCode(production::ProductionSettings& settings, bool checked, const std::string& text);

// The writer id: text and length kept, the value read from exactly 8 hexadecimal digits.
void SetWriterId(production::ProductionSettings& settings, bool checked, const std::string& text);

// The key: its characters in the ANSI code page (one byte each), their count; zero when empty.
void SetKey(production::ProductionSettings& settings, bool checked, const std::string& bytes);

}  // namespace writerpanel
