// qubrix pack: what the Writer panel's Generate button does. Loads a HEX or BIN file for a model
// in Writer mode, applies the panel's checks to the settings given as options and writes an
// encrypted program file (--cab) or a production project file (--cap).
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "app/cli/printing_sink.hpp"
#include "app/cli/production_options.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/job_source.hpp"
#include "firmware/production/checks.hpp"
#include "firmware/production/writer.hpp"

namespace cli {
namespace {

constexpr char kSynopsis[] =
    "--cab|--cap -t MODEL FILE [--key K16] [--limit N] [--writer-id HEX8] [--user-code N] [-o OUT] [--json]";

}  // namespace

int runPack(const std::vector<std::string>& args) {
  Args a(args, {{"cab", 0, false, "write an encrypted program file (the data enciphered with --key)"},
                {"cap", 0, false, "write a production project file (the data in plain form)"},
                {"target", 't', true, "MODEL  the chip model, as `qubrix models` lists it"},
                {"key", 0, true, "K16  the 16-character data key (--cab)"},
                {"limit", 0, true, "N  the maximum number of programming runs"},
                {"writer-id", 0, true, "HEX8  the id of the only Writer that may use the file"},
                {"user-code", 0, true, "N  the first value of the user roll code"},
                {"output", 'o', true, "OUT  the file to write (default: FILE without extension + _JM.cab or .cap)"},
                {"json", 0, false, "print one result object instead of the lines"}});
  if (auto done = finishParsing(a, "pack", kSynopsis)) return *done;
  const auto usageError = [&a](const std::string& message) {
    std::fprintf(stderr, "qubrix pack: %s\n%s", message.c_str(), a.usage("pack", kSynopsis).c_str());
    return kExitUsage;
  };
  if (a.has("cab") == a.has("cap")) return usageError("give exactly one of --cab and --cap");
  const bool cab = a.has("cab");
  const std::optional<std::string> target = a.value("target");
  if (!target) return usageError("the model is missing (-t MODEL)");
  if (a.positional().size() != 1) return usageError("exactly one program file is needed");
  if (!cab && a.has("key")) return usageError("--key applies to --cab only");
  production::ProductionSettings settings;
  // Generate writes a .cab exactly when the key box is checked.
  settings.key_enable = cab;
  if (auto bad = ReadProductionOptions(a, settings)) return usageError(*bad);

  // The Writer panel generates from the image as Writer mode loads it.
  const firmware::McuList list = firmware::LoadCatalogue();
  const firmware::LoadRequest request{a.positional()[0], *target, firmware::LoadMode::Other, &list};
  PrintingSink sink(a.value("output"));
  const bool json = a.has("json");
  if (json) sink.keepLinesQuiet();
  const firmware::LoadedProgram program = firmware::LoadForJob(request, sink);
  const firmware::ProgramImage& image = program.image;
  const std::string& path = a.positional()[0];
  // With --json every end after the arguments were read is one object on stdout.
  const auto result = [&](int status) {
    if (!json) return status;
    std::printf("{\"verb\": \"pack\", \"model\": %s, \"file\": %s, \"kind\": \"%s\", \"result\": \"%s\", "
                "\"exitStatus\": %d",
                jsonString(*target).c_str(), jsonString(path).c_str(), cab ? "cab" : "cap",
                status == kExitOk ? "success" : "failed", status);
    if (status == kExitOk) {
      std::printf(", \"output\": %s, \"fileId\": \"%08X\", \"checksum\": \"%08X\", \"size\": %llu",
                  jsonString(sink.savedPath().string()).c_str(), settings.encrypt_file_id, image.totalChecksum,
                  static_cast<unsigned long long>(image.dataLength));
    }
    std::printf("}\n");
    return status;
  };
  if (!program.loaded()) {
    const bool unread = program.refusal == firmware::LoadRefusal::NotLoaded;
    if (!unread || !sink.complained()) std::fprintf(stderr, "%s\n", firmware::RefusalText(program, request).c_str());
    return unread ? result(kExitFailed) : kExitUsage;
  }
  const firmware::McuPtr& model = program.model;
  const production::FileKind out = cab ? production::FileKind::EncryptedProgram : production::FileKind::ProductionProject;
  if (auto refusal = production::GenerateRefusal(out, settings, true, image.fromEncryptedFile)) {
    sink.onMessage(base::text(base::txt::kTip), *refusal, base::MessageIcon::Warning);
    return result(kExitFailed);
  }
  // The panel disables Generate once a production file is loaded: its data are not the program's.
  if (program.productionFile) {
    std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.pack_source").c_str(), path.c_str()).c_str());
    return result(kExitFailed);
  }

  const production::WriteSource source{image, *model, firmware::TypeIndex(*model), path};
  if (production::WriteProductionFile(out, source, settings, sink) != production::WriteResult::Written) {
    return result(kExitFailed);
  }
  if (json) return result(kExitOk);
  std::printf("%s\n", base::format(base::text("firmware.cli.saved_to").c_str(), sink.savedPath().c_str()).c_str());
  std::printf("%s\n", base::format(base::text("firmware.cli.file_id").c_str(), settings.encrypt_file_id).c_str());
  return kExitOk;
}

}  // namespace cli
