#pragma once
// Descriptor strings arrive as wide strings; the rest of the program speaks UTF-8.
#include <string>

namespace qx {

std::string narrowFromWide(const wchar_t* text);
std::wstring wideFromNarrow(const std::string& text);

}  // namespace qx
