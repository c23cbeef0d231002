// qubrix store list|add|delete|default: the programmer's firmware store through the first attached
// QUBRIX Tool, with the store manager's session, its log lines, messages and progress bar. One
// operation per process; SIGINT, SIGTERM and SIGHUP cancel it (an add half-way is removed again)
// and it exits 128 + the signal.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/common/job_signals.hpp"
#include "app/cli/json.hpp"
#include "app/cli/programmer_choice.hpp"
#include "app/cli/terminal_progress.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/store/store_files.hpp"
#include "device/store/store_session.hpp"
#include "firmware/catalogue.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis =
    "list [--json] | add FILE [-t MODEL] [--user-code N] | delete NAME | default NAME   [--serial SN]";

// Log lines on stdout (errors in red on a terminal), messages and the bar on stderr.
class StoreOutput final : public store::StoreSink {
 public:
  StoreOutput() : colour_(::isatty(STDOUT_FILENO) != 0), bar_(true) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    bar_.clear();
    const bool red = colour == base::LogColour::Error && colour_;
    std::printf("%s%s%s\n", red ? "\033[31m" : "", line.c_str(), red ? "\033[0m" : "");
    std::fflush(stdout);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    bar_.clear();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void onProgress(int percent) override {
    if (percent == 0) bar_.start(base::text("store.cli.adding"), 0);
    bar_.update(percent);
  }
  void onListing(const std::vector<store::StoreRow>&, const store::StoreButtons&) override {}

 private:
  bool colour_;
  TerminalProgress bar_;
};

// Display width of a UTF-8 text: two columns for every character beyond Latin.
std::size_t columns(const std::string& s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) == 0x80) continue;
    n += c >= 0xE0 ? 2 : 1;
  }
  return n;
}

void printTable(const std::vector<store::StoreRow>& rows) {
  if (rows.empty()) {
    std::printf("%s\n", base::text("store.cli.empty").c_str());
    return;
  }
  std::vector<std::vector<std::string>> table = {
      {base::text("store.column.name"), base::text("store.column.size"), base::text("store.column.model"),
       base::text("store.column.verify_code"), base::text("store.column.time")}};
  for (const store::StoreRow& r : rows) table.push_back({r.info.name, r.size, r.model, r.verifyCode, r.time});
  std::vector<std::size_t> width(table[0].size(), 0);
  for (const auto& line : table) {
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], columns(line[c]));
  }
  for (const auto& line : table) {
    std::string out;
    for (std::size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out += std::string(width[c] - columns(line[c]) + 2, ' ');
    }
    std::printf("%s\n", out.c_str());
  }
}

void printJson(const std::vector<store::StoreRow>& rows) {
  std::printf("[");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const store::StoreRow& r = rows[i];
    std::printf("%s\n  {\"name\": %s, \"size\": %u, \"model\": %s, \"modelId\": %u, \"verifyCode\": %s, \"time\": %u, "
                "\"timeText\": %s}",
                i == 0 ? "" : ",", jsonString(r.info.name).c_str(), r.info.size, jsonString(r.model).c_str(),
                static_cast<unsigned>(r.info.modelId), jsonString(r.verifyCode).c_str(), r.info.time,
                jsonString(r.time).c_str());
  }
  std::printf("%s]\n", rows.empty() ? "" : "\n");
}

int exitOf(base::Outcome outcome) { return outcome == base::Outcome::Success ? kExitOk : kExitFailed; }

}  // namespace

int runStore(const std::vector<std::string>& args) {
  app::JobSignals signals;
  Args a(args, {{"json", 0, false, "list: print the programs as JSON"},
                {"target", 't', true, "MODEL  add: the chip model of a HEX or BIN file (qubrix models lists them)"},
                {"user-code", 0, true, "N  add: the user code stored with the program (decimal)"},
                {"serial", 0, true, "SN  the programmer to use, as `qubrix list` shows it (default: the only one attached)"}});
  if (auto done = finishParsing(a, "store", kSynopsis)) return *done;
  const auto usageError = [&](const std::string& message) {
    std::fprintf(stderr, "qubrix store: %s\n%s", message.c_str(), a.usage("store", kSynopsis).c_str());
    return kExitUsage;
  };
  const std::vector<std::string>& p = a.positional();
  if (p.empty()) return usageError("an operation is needed: list, add, delete or default");
  const std::string& op = p[0];
  const bool list = op == "list";
  if (op != "list" && op != "add" && op != "delete" && op != "default") return usageError("unknown operation '" + op + "'");
  if (p.size() != (list ? 1u : 2u)) return usageError(list ? "list takes no argument" : op + " takes one argument");
  if (a.has("json") && !list) return usageError("--json is taken by list only");
  if (op != "add" && (a.has("target") || a.has("user-code"))) return usageError("-t and --user-code are taken by add only");

  store::AddRequest request;
  if (op == "add") {
    request.file = p[1];
    if (const auto code = a.value("user-code")) {
      const auto value = store::parseUserCode(*code);
      if (!value) return usageError(base::text("store.invalid_user_code"));
      request.userCode = *value;
    }
    if (const auto name = a.value("target")) {
      request.model = firmware::FindByName(*name);
      if (request.model == nullptr) {
        std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), name->c_str()).c_str());
        return kExitUsage;
      }
    } else if (store::storeFileKindOf(request.file) != store::StoreFileKind::Production) {
      return usageError(base::text("store.cli.model_needed"));
    }
  }

  const ProgrammerChoice choice = chooseProgrammer(attachedProgrammers(), a.value("serial"));
  if (!choice.error.empty()) {
    std::fprintf(stderr, "qubrix store: %s\n", choice.error.c_str());
    return kExitUsage;
  }
  StoreOutput out;
  store::StoreSession session(firmware::Catalogue(), out, [serial = choice.serial] { return qx::toolWithSerial(serial); });
  signals.onCancel([&session] { session.cancel(); });
  const auto finish = [&signals](base::Outcome outcome) {
    signals.clearCancel();
    return signals.exitStatus(exitOf(outcome));
  };
  if (list) {
    if (session.refresh() != store::RefreshResult::Listed) return signals.exitStatus(kExitFailed);
    if (a.has("json")) {
      printJson(session.rows());
    } else {
      printTable(session.rows());
    }
    return signals.exitStatus(kExitOk);
  }
  if (op == "add") return finish(session.add(request));
  if (op == "delete") return finish(session.remove({p[1]}));
  return finish(session.makeDefault(p[1]));
}

}  // namespace cli
