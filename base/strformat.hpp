#pragma once
// printf-style formatting into a std::string; table texts are formats too:
// format(text(txt::kTimeConsumption).c_str(), s).
#include <string>

namespace base {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base
