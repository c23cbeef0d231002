#include "app/cli/args.hpp"

#include <cstdio>

#include "app/common/app_settings.hpp"
#include "app/cli/command.hpp"
#include "app/cli/language.hpp"
#include "base/texts.hpp"

namespace cli {

Args::Args(const std::vector<std::string>& args, std::vector<OptionSpec> specs) : specs_(std::move(specs)) {
  specs_.push_back({"lang", 0, true, "en|zh  language of the texts (default: the window's choice, else the locale)"});
  specs_.push_back({"help", 'h', false, "show this help"});
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size() && error_.empty(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name;
    std::optional<std::string> inlineValue;
    const OptionSpec* spec = nullptr;
    if (a[1] == '-') {
      name = a.substr(2);
      if (auto eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
      spec = find(name, 0);
    } else {
      spec = find({}, a[1]);
      if (a.size() > 2) inlineValue = a.substr(2);
    }
    if (spec == nullptr) {
      error_ = "unknown option " + a;
      break;
    }
    if (!spec->takesValue) {
      if (inlineValue && a[1] == '-') error_ = "option --" + spec->name + " takes no value";
      flags_.insert(spec->name);
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error_ = "option " + a + " needs a value";
        break;
      }
      inlineValue = args[++i];
    }
    values_[spec->name] = *inlineValue;
  }
  help_ = flags_.count("help") != 0;

  const std::optional<int> lang = chooseLanguage(value("lang"), appsettings::chosenLanguage(), localeFromEnvironment());
  if (!lang && error_.empty()) error_ = "--lang takes en or zh";
  base::setThreadLanguage(lang.value_or(base::kLangEnglish));
}

const OptionSpec* Args::find(const std::string& longName, char shortName) const {
  for (const OptionSpec& s : specs_) {
    if ((!longName.empty() && s.name == longName) || (shortName != 0 && s.shortName == shortName)) return &s;
  }
  return nullptr;
}

bool Args::has(const std::string& name) const { return flags_.count(name) != 0 || values_.count(name) != 0; }

std::optional<std::string> Args::value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string Args::usage(const std::string& verb, const std::string& synopsis) const {
  std::string out = "usage: qubrix " + verb + " " + synopsis + "\n";
  for (const OptionSpec& s : specs_) {
    std::string left = s.shortName != 0 ? std::string("-") + s.shortName + ", --" + s.name : "    --" + s.name;
    out += "  " + left;
    out.append(left.size() < 18 ? 18 - left.size() : 1, ' ');
    out += s.help + "\n";
  }
  return out;
}

std::optional<int> finishParsing(const Args& args, const std::string& verb, const std::string& synopsis) {
  if (args.helpRequested()) {
    std::fputs(args.usage(verb, synopsis).c_str(), stdout);
    return kExitOk;
  }
  if (!args.ok()) {
    std::fprintf(stderr, "qubrix %s: %s\n%s", verb.c_str(), args.error().c_str(), args.usage(verb, synopsis).c_str());
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace cli
