#pragma once
// The pieces of JSON output the verbs share.
#include <string>

namespace cli {

// `s` as a quoted JSON string.
std::string jsonString(const std::string& s);

}  // namespace cli
