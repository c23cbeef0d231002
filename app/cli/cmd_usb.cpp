// qubrix program|verify|erase|power: the USB jobs of the ISP panel through one QUBRIX Tool (the only
// one attached, or the one --serial names), with their log lines and a progress bar. Ctrl+C, SIGTERM
// and SIGHUP cancel at the next unit (job_signals.hpp); the run still powers the target off and
// closes the programmer.
// `program --all` is program_all.cpp.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/common/job_signals.hpp"
#include "app/cli/program_all.hpp"
#include "app/cli/programmer_choice.hpp"
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
enum class PowerAction { Toggle, On, Off, Status };

std::string synopsis(Verb verb) {
  switch (verb) {
    case Verb::Program:
      return "[-t MODEL] [--erase-chip] [--serial SN | --all] [--json] FILE";
    case Verb::Verify:
      return "[-t MODEL] [--serial SN] [--json] FILE";
    case Verb::Erase:
      return "-t MODEL [--serial SN] [--json]";
    case Verb::Power:
      break;
  }
  return "[on|off|status|toggle] [--serial SN] [--json]   (default: toggle, as the window's Power button)";
}

std::optional<PowerAction> powerAction(const std::vector<std::string>& positional) {
  if (positional.empty() || positional[0] == "toggle") return PowerAction::Toggle;
  if (positional[0] == "on") return PowerAction::On;
  if (positional[0] == "off") return PowerAction::Off;
  if (positional[0] == "status") return PowerAction::Status;
  return std::nullopt;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int runUsb(Verb verb, const char* name, const std::vector<std::string>& args) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<OptionSpec> specs = {
      {"json", 0, false, "print one result object instead of the lines"},
      {"serial", 0, true, "SN  the programmer to use, as `qubrix list` shows it (default: the only one attached)"}};
  if (verb != Verb::Power) specs.push_back({"target", 't', true, "MODEL  the chip model (qubrix models lists them)"});
  if (verb == Verb::Program) {
    specs.push_back({"erase-chip", 0, false, "erase the whole flash before programming"});
    specs.push_back({"all", 0, false, "program every attached programmer at once; exit 0 only if all succeed"});
  }
  Args a(args, specs);
  if (auto done = finishParsing(a, name, synopsis(verb))) return *done;
  const auto usageError = [&](const std::string& message) {
    std::fprintf(stderr, "qubrix %s: %s\n%s", name, message.c_str(), a.usage(name, synopsis(verb)).c_str());
    return kExitUsage;
  };
  const bool needsFile = verb == Verb::Program || verb == Verb::Verify;
  std::optional<PowerAction> action;
  if (verb == Verb::Power) {
    action = powerAction(a.positional());
    if (!action || a.positional().size() > 1) return usageError("power takes one of on, off, status and toggle");
  } else if (a.positional().size() != (needsFile ? 1u : 0u)) {
    return usageError(needsFile ? base::text("usb.cli.no_file") : "no file is taken");
  }
  const bool all = a.has("all");
  if (all && a.has("serial")) return usageError("--all and --serial exclude each other");
  const std::string modelName = a.value("target").value_or("");
  const std::string file = needsFile ? a.positional()[0] : std::string();
  const bool json = a.has("json");
  UsbOutput out(json);
  // Made before the job's first thread.
  app::JobSignals signals;
  std::string shownModel = modelName;
  const auto finish = [&](base::Outcome outcome) {
    int status = outcome == base::Outcome::Success ? kExitOk : kExitFailed;
    if (out.powerOffFailed()) {
      std::fprintf(stderr, "qubrix %s: the target may still be powered\n", name);
      status = kExitTargetMayBePowered;
    }
    status = signals.exitStatus(status);
    if (json) {
      std::printf("%s\n", out.json({name, shownModel, file, resultName(outcome), status, secondsSince(started)}).c_str());
    }
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
        return finish(base::Outcome::Failed);
    }
    model = program.model;
    out.setImage(program.image.totalChecksum, program.image.dataLength);
    job = usbjobs::jobFromSource(program.source(), a.has("erase-chip"));
  } else if (verb == Verb::Erase) {
    if (modelName.empty()) return usageError(base::text("firmware.cli.model_required"));
    model = firmware::FindByName(modelName);
    if (model == nullptr) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), modelName.c_str()).c_str());
      return kExitUsage;
    }
  }
  if (model != nullptr) shownModel = model->name;
  if (all) return programAll(job, shownModel, file, json, signals);

  const ProgrammerChoice choice = chooseProgrammer(attachedProgrammers(), a.value("serial"));
  if (!choice.error.empty()) {
    std::fprintf(stderr, "qubrix %s: %s\n", name, choice.error.c_str());
    return kExitUsage;
  }
  job.programmerSerial = choice.serial;
  if (signals.received() != 0) return finish(base::Outcome::Cancelled);

  usbjobs::JobThread worker(base::threadLanguage(), [&](const std::atomic<bool>& running) {
    switch (verb) {
      case Verb::Program:
        return usbjobs::runProgram(job, out, running);
      case Verb::Verify:
        return usbjobs::runVerify(job, out, running);
      case Verb::Erase:
        return usbjobs::runErase(*model, out, running, choice.serial);
      case Verb::Power:
        break;
    }
    switch (*action) {
      case PowerAction::On:
        return usbjobs::runPowerSwitch(true, out, running, choice.serial);
      case PowerAction::Off:
        return usbjobs::runPowerSwitch(false, out, running, choice.serial);
      case PowerAction::Status:
        return usbjobs::runPowerStatus(out, choice.serial);
      case PowerAction::Toggle:
        break;
    }
    return usbjobs::runPowerToggle(out, running, choice.serial);
  });
  signals.onCancel([&worker] { worker.cancel(); });
  const base::Outcome outcome = worker.wait();
  signals.clearCancel();
  return finish(outcome);
}

}  // namespace

int runProgram(const std::vector<std::string>& args) { return runUsb(Verb::Program, "program", args); }
int runVerify(const std::vector<std::string>& args) { return runUsb(Verb::Verify, "verify", args); }
int runErase(const std::vector<std::string>& args) { return runUsb(Verb::Erase, "erase", args); }
int runPower(const std::vector<std::string>& args) { return runUsb(Verb::Power, "power", args); }

}  // namespace cli
