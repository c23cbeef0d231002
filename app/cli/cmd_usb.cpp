// qubrix program|verify|erase|power: the USB jobs of the ISP panel through the first attached
// QUBRIX Tool, with their log lines and a progress bar. Ctrl+C cancels at the next unit; the run
// still powers the target off and closes the programmer.
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/usb_output.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/worker.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/job_source.hpp"

namespace cli {
namespace {

enum class Verb { Program, Verify, Erase, Power };

std::atomic<usbjobs::JobThread*> g_job{nullptr};

void onInterrupt(int) {
  if (usbjobs::JobThread* job = g_job.load()) job->cancel();
  // A second Ctrl+C ends the process at once.
  std::signal(SIGINT, SIG_DFL);
}

const char* resultName(base::Outcome o) {
  switch (o) {
    case base::Outcome::Success:
      return "success";
    case base::Outcome::Cancelled:
      return "cancelled";
    case base::Outcome::Failed:
      break;
  }
  return "failed";
}

std::string synopsis(Verb verb) {
  switch (verb) {
    case Verb::Program:
      return "[-t MODEL] [--erase-chip] [--json] FILE";
    case Verb::Verify:
      return "[-t MODEL] [--json] FILE";
    case Verb::Erase:
      return "-t MODEL [--json]";
    case Verb::Power:
      break;
  }
  return "[--json]";
}

int runUsb(Verb verb, const char* name, const std::vector<std::string>& args) {
  std::vector<OptionSpec> specs = {{"json", 0, false, "print one result object instead of the lines"}};
  if (verb != Verb::Power) specs.push_back({"target", 't', true, "MODEL  the chip model (qubrix models lists them)"});
  if (verb == Verb::Program) specs.push_back({"erase-chip", 0, false, "erase the whole flash before programming"});
  Args a(args, specs);
  if (auto done = finishParsing(a, name, synopsis(verb))) return *done;
  const auto usageError = [&](const std::string& message) {
    std::fprintf(stderr, "qubrix %s: %s\n%s", name, message.c_str(), a.usage(name, synopsis(verb)).c_str());
    return kExitUsage;
  };
  const bool needsFile = verb == Verb::Program || verb == Verb::Verify;
  if (a.positional().size() != (needsFile ? 1u : 0u)) {
    return usageError(needsFile ? base::text("usb.cli.no_file") : "no file is taken");
  }
  const std::string modelName = a.value("target").value_or("");
  const std::string file = needsFile ? a.positional()[0] : std::string();
  const bool json = a.has("json");
  UsbOutput out(json);
  const auto finish = [&](base::Outcome outcome, const std::string& model) {
    const int status = outcome == base::Outcome::Success ? kExitOk : kExitFailed;
    if (json) out.printJson(name, model, file, resultName(outcome), status);
    return status;
  };

  firmware::McuPtr model;
  usbjobs::UsbJob job;
  if (needsFile) {
    // A production file names its own model and carries the locks the job checks.
    const firmware::LoadRequest request{file, modelName, firmware::LoadMode::Isp, nullptr};
    const firmware::LoadedProgram program = firmware::LoadForJob(request, out);
    switch (program.refusal.value_or(firmware::LoadRefusal::NotLoaded)) {
      case firmware::LoadRefusal::UnknownKind:
      case firmware::LoadRefusal::ModelRequired:
        return usageError(firmware::RefusalText(program, request));
      case firmware::LoadRefusal::UnknownModel:
      case firmware::LoadRefusal::ModelConflict:
        std::fprintf(stderr, "%s\n", firmware::RefusalText(program, request).c_str());
        return kExitUsage;
      case firmware::LoadRefusal::NotLoaded:
        if (program.loaded()) break;
        out.onLog("--> " + firmware::RefusalText(program, request), base::LogColour::Error);
        return finish(base::Outcome::Failed, modelName);
    }
    model = program.model;
    job = usbjobs::jobFromSource(program.source(), a.has("erase-chip"));
  } else if (verb == Verb::Erase) {
    if (modelName.empty()) return usageError(base::text("firmware.cli.model_required"));
    model = firmware::FindByName(modelName);
    if (model == nullptr) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), modelName.c_str()).c_str());
      return kExitUsage;
    }
  }
  const std::string shownModel = model != nullptr ? model->name : modelName;

  usbjobs::JobThread worker(base::threadLanguage(), [&](const std::atomic<bool>& running) {
    switch (verb) {
      case Verb::Program:
        return usbjobs::runProgram(job, out, running);
      case Verb::Verify:
        return usbjobs::runVerify(job, out, running);
      case Verb::Erase:
        return usbjobs::runErase(*model, out);
      case Verb::Power:
        break;
    }
    return usbjobs::runPowerToggle(out);
  });
  g_job.store(&worker);
  std::signal(SIGINT, onInterrupt);
  const base::Outcome outcome = worker.wait();
  std::signal(SIGINT, SIG_DFL);
  g_job.store(nullptr);
  return finish(outcome, shownModel);
}

}  // namespace

int runProgram(const std::vector<std::string>& args) { return runUsb(Verb::Program, "program", args); }
int runVerify(const std::vector<std::string>& args) { return runUsb(Verb::Verify, "verify", args); }
int runErase(const std::vector<std::string>& args) { return runUsb(Verb::Erase, "erase", args); }
int runPower(const std::vector<std::string>& args) { return runUsb(Verb::Power, "power", args); }

}  // namespace cli
