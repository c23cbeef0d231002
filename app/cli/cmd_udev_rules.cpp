// qubrix udev-rules: the udev rules that let the logged-in user open the programmer and the Writer,
// the same file the package installs, for systems where qubrix was built from source.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"

namespace embedded {
extern const unsigned char udev_rules[];
extern const std::size_t udev_rules_size;
}  // namespace embedded

namespace cli {

int runUdevRules(const std::vector<std::string>& args) {
  constexpr const char* kSynopsis = "   (e.g. | sudo tee /etc/udev/rules.d/60-qubrix.rules)";
  Args a(args, {});
  if (auto done = finishParsing(a, "udev-rules", kSynopsis)) return *done;
  if (!a.positional().empty()) {
    std::fprintf(stderr, "qubrix udev-rules: unexpected argument '%s'\n%s", a.positional()[0].c_str(),
                 a.usage("udev-rules", kSynopsis).c_str());
    return kExitUsage;
  }
  std::fwrite(embedded::udev_rules, 1, embedded::udev_rules_size, stdout);
  return kExitOk;
}

}  // namespace cli
