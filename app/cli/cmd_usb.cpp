// qubrix program|verify|erase|power: the USB jobs of the ISP panel through the first attached
// QUBRIX Tool, with their log lines and a progress bar. Ctrl+C, SIGTERM and SIGHUP cancel at the
// next unit (job_signals.hpp); the run still powers the target off and closes the programmer.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/job_signals.hpp"
#include "app/cli/usb_output.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/worker.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"

namespace cli {
namespace {

enum class Verb { Program, Verify, Erase, Power };

const char* resultName(usbjobs::Outcome o) {
  switch (o) {
    case usbjobs::Outcome::Success:
      return "success";
    case usbjobs::Outcome::Cancelled:
      return "cancelled";
    case usbjobs::Outcome::Failed:
      break;
  }
  return "failed";
}

std::string synopsis(Verb verb) {
  switch (verb) {
    case Verb::Program:
      return "-t MODEL [--erase-chip] [--json] FILE";
    case Verb::Verify:
      return "-t MODEL [--json] FILE";
    case Verb::Erase:
      return "-t MODEL [--json]";
    case Verb::Power:
      break;
  }
  return "[--json]";
}

int runUsb(Verb verb, const char* name, const std::vector<std::string>& args) {
  JobSignals signals;
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
  firmware::McuPtr model;
  const std::string modelName = a.value("target").value_or("");
  if (verb != Verb::Power) {
    if (modelName.empty()) return usageError("-t MODEL is required");
    model = firmware::FindByName(modelName);
    if (model == nullptr) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), modelName.c_str()).c_str());
      return kExitUsage;
    }
  }
  const std::string file = needsFile ? a.positional()[0] : std::string();
  const bool json = a.has("json");
  UsbOutput out(json);
  const auto finish = [&](usbjobs::Outcome outcome) {
    int status = outcome == usbjobs::Outcome::Success ? kExitOk : kExitFailed;
    if (out.powerOffFailed()) {
      std::fprintf(stderr, "qubrix %s: the target may still be powered\n", name);
      status = kExitTargetMayBePowered;
    }
    status = signals.exitStatus(status);
    if (json) out.printJson(name, modelName, file, resultName(outcome), status);
    return status;
  };

  usbjobs::UsbJob job;
  if (needsFile) {
    const auto kind = firmware::ProgramFileKindOfPath(file);
    if (!kind) return usageError(base::format(base::text("firmware.cli.unknown_kind").c_str(), file.c_str()));
    firmware::ProgramImage image;
    if (!firmware::LoadProgramFile(file, *kind, {firmware::TypeIndex(*model), firmware::LoadMode::Isp, nullptr}, image,
                                   out)) {
      out.onLog("--> " + base::format(base::text("firmware.cli.not_loaded").c_str(), file.c_str()), base::LogColour::Error);
      return finish(usbjobs::Outcome::Failed);
    }
    job = usbjobs::usbJobFromImage(image, model, {}, false, a.has("erase-chip"));
  }
  if (signals.received() != 0) return finish(usbjobs::Outcome::Cancelled);

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
  signals.onCancel([&worker] { worker.cancel(); });
  const usbjobs::Outcome outcome = worker.wait();
  signals.clearCancel();
  return finish(outcome);
}

}  // namespace

int runProgram(const std::vector<std::string>& args) { return runUsb(Verb::Program, "program", args); }
int runVerify(const std::vector<std::string>& args) { return runUsb(Verb::Verify, "verify", args); }
int runErase(const std::vector<std::string>& args) { return runUsb(Verb::Erase, "erase", args); }
int runPower(const std::vector<std::string>& args) { return runUsb(Verb::Power, "power", args); }

}  // namespace cli
