#pragma once
// A small GNU-style option reader shared by the verbs: "--name value", "--name=value", "-x value",
// flags, "--" and positional arguments in any order. "--lang en|zh" is understood by every verb and
// sets the thread's language (language.hpp says what applies without it).
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

struct OptionSpec {
  std::string name;   // long name without dashes, e.g. "mode"
  char shortName;     // e.g. 't', or 0
  bool takesValue;
  std::string help;   // one line for --help; for options with a value, begins with the value's name
};

class Args {
 public:
  // Parses `args` against `specs`; --help, -h and --lang are always accepted.
  Args(const std::vector<std::string>& args, std::vector<OptionSpec> specs);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool helpRequested() const { return help_; }

  bool has(const std::string& name) const;
  std::optional<std::string> value(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

  // "usage: qubrix <verb> <synopsis>" and the option lines.
  std::string usage(const std::string& verb, const std::string& synopsis) const;

 private:
  const OptionSpec* find(const std::string& longName, char shortName) const;

  std::vector<OptionSpec> specs_;
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
  std::vector<std::string> positional_;
  std::string error_;
  bool help_ = false;
};

// Handles --help and parse errors the same way in every verb: returns an exit status to end with,
// or nothing when the verb should go on.
std::optional<int> finishParsing(const Args& args, const std::string& verb, const std::string& synopsis);

}  // namespace cli
