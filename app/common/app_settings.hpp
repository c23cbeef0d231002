#pragma once
// The profile section "General" under the company key "QUBRIX" (an INI file in the user's config
// directory on Linux). Both front ends read the language from here.

#include <optional>

namespace appsettings {

inline constexpr const char* kOrganisation = "QUBRIX";
inline constexpr const char* kApplication = "QUBRIX Tool";

// Call once before QSettings is used: fixes organisation and application names and the INI format.
void initialise();

// "General"/"LangID", 2052 when absent.
int storedLanguage();
// "General"/"LangID" only when the user chose a language in the window.
std::optional<int> chosenLanguage();
void storeLanguage(int langId);

// Other whole-number values of "General" (the store manager's "SelectedSeries" and "SelectedModel").
int storedInt(const char* key, int fallback);
void storeInt(const char* key, int value);

}  // namespace appsettings
