#pragma once
// The profile section "General" under the company key "QUBRIX": "QUBRIX Tool.ini" in the user's
// settings folder. Both front ends read the language from here.

#include <optional>

namespace appsettings {

// "General"/"LangID", 2052 when absent.
int storedLanguage();
// "General"/"LangID" only when the user chose a language in the window.
std::optional<int> chosenLanguage();
void storeLanguage(int langId);

// Other whole-number values of "General" (the store manager's "SelectedSeries" and "SelectedModel").
int storedInt(const char* key, int fallback);
void storeInt(const char* key, int value);

}  // namespace appsettings
