#pragma once
// The profile section "General" under the company key "QUBRIX": "QUBRIX Tool.ini" in the user's
// settings folder. Both front ends read the language from here.

namespace appsettings {

// "General"/"LangID", 2052 when absent.
int storedLanguage();
void storeLanguage(int langId);

}  // namespace appsettings
