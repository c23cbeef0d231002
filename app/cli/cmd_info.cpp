// qubrix info: loads a program file for a model as the window would, and prints what the window
// would show: the log lines, message boxes, the checksum and the file size; for a production file
// also the model it selects and the settings it carries.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "app/cli/printing_sink.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"
#include "firmware/production/header.hpp"

namespace cli {
namespace {

constexpr char kSynopsis[] = "-t MODEL [--mode isp|writer] [--json] FILE   (-t is optional for .cab and .cap files)";

const std::string& onOff(bool on) { return base::text(on ? "firmware.cli.on" : "firmware.cli.off"); }

void printSettings(const production::ProductionSettings& s, const firmware::ProgramImage& image,
                   const std::string& model) {
  const std::uint32_t stored = production::parseHeader(image.header).checksum;
  const auto line = [](const std::string& text) { std::printf("%s\n", text.c_str()); };
  line(base::format(base::text("firmware.cli.file_model").c_str(), model.c_str()));
  line(base::format(base::text("firmware.cli.limit").c_str(), s.write_num_max, onOff(s.write_limit_num_enable).c_str()));
  line(base::format(base::text("firmware.cli.writer_id").c_str(), s.write_id_num,
                    onOff(s.writer_ID_limit_enable).c_str()));
  line(base::format(base::text("firmware.cli.user_code").c_str(), s.user_code, onOff(s.user_code_enable).c_str()));
  line(base::format(base::text("firmware.cli.file_id").c_str(), s.encrypt_file_id));
  line(base::format(base::text("firmware.cli.stored_checksum").c_str(), stored));
}

// One object: what was loaded and, for a production file, the settings it carries.
void printJson(const std::string& file, const std::string& model, const firmware::ProgramImage& image,
               const production::ProductionSettings* s) {
  std::printf("{\"verb\": \"info\", \"model\": %s, \"file\": %s, \"result\": \"success\", \"exitStatus\": 0, "
              "\"checksum\": \"%08X\", \"size\": %llu",
              jsonString(model).c_str(), jsonString(file).c_str(), image.totalChecksum,
              static_cast<unsigned long long>(image.dataLength));
  if (s != nullptr) {
    std::printf(", \"production\": {\"limit\": %u, \"limitEnabled\": %s, \"writerId\": %u, \"writerIdEnabled\": %s, "
                "\"userCode\": %u, \"userCodeEnabled\": %s, \"fileId\": \"%08X\", \"storedChecksum\": \"%08X\"}",
                s->write_num_max, s->write_limit_num_enable ? "true" : "false", s->write_id_num,
                s->writer_ID_limit_enable ? "true" : "false", s->user_code, s->user_code_enable ? "true" : "false",
                s->encrypt_file_id, production::parseHeader(image.header).checksum);
  }
  std::printf("}\n");
}

}  // namespace

int runInfo(const std::vector<std::string>& args) {
  Args a(args, {{"target", 't', true, "MODEL  the chip model, as `qubrix models` lists it"},
                {"mode", 0, true, "isp|writer  the window mode whose lengths apply (default: isp)"},
                {"json", 0, false, "print one result object instead of the lines"}});
  if (auto done = finishParsing(a, "info", kSynopsis)) return *done;
  const auto usageError = [&a](const std::string& message) {
    std::fprintf(stderr, "qubrix info: %s\n%s", message.c_str(), a.usage("info", kSynopsis).c_str());
    return kExitUsage;
  };
  if (a.positional().size() != 1) return usageError("exactly one program file is needed");
  const std::string mode = a.value("mode").value_or("isp");
  if (mode != "isp" && mode != "writer") return usageError("--mode takes isp or writer");
  const std::string& path = a.positional()[0];
  const std::optional<firmware::ProgramFileKind> kind = firmware::ProgramFileKindOfPath(path);
  if (!kind) {
    std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_kind").c_str(), path.c_str()).c_str());
    return kExitUsage;
  }
  // A production file selects its own model; for the others the model decides how they are read.
  const bool production = *kind == firmware::ProgramFileKind::EncryptedProgram ||
                          *kind == firmware::ProgramFileKind::ProductionProject;
  const std::optional<std::string> target = a.value("target");
  if (!target && !production) return usageError("the model is missing (-t MODEL)");

  const firmware::McuList list = firmware::LoadCatalogue();
  std::uint16_t modelCode = 0;
  if (target) {
    const firmware::McuPtr model = firmware::FindByName(list, *target);
    if (!model) {
      std::fprintf(stderr, "%s\n",
                   base::format(base::text("firmware.cli.unknown_model").c_str(), target->c_str()).c_str());
      return kExitUsage;
    }
    modelCode = firmware::TypeIndex(*model);
  }

  firmware::ProgramImage image;
  production::ProductionSettings settings;
  PrintingSink sink;
  if (a.has("json")) sink.keepLinesQuiet();
  firmware::LoadTarget how{modelCode, mode == "isp" ? firmware::LoadMode::Isp : firmware::LoadMode::Other, &list};
  how.settings = &settings;
  if (!firmware::LoadProgramFile(path, *kind, how, image, sink)) {
    // Some refusals have no message of their own in the window; a terminal still needs one.
    if (!sink.complained()) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.not_loaded").c_str(), path.c_str()).c_str());
    }
    if (a.has("json")) {
      std::printf("{\"verb\": \"info\", \"model\": %s, \"file\": %s, \"result\": \"failed\", \"exitStatus\": 1}\n",
                  jsonString(target.value_or("")).c_str(), jsonString(path).c_str());
    }
    return kExitFailed;
  }
  if (a.has("json")) {
    printJson(path, production ? sink.selectedModel() : *target, image, production ? &settings : nullptr);
    return kExitOk;
  }
  std::printf("%s\n%s\n", sink.checksum().c_str(), sink.fileSize().c_str());
  if (production) printSettings(settings, image, sink.selectedModel());
  return kExitOk;
}

}  // namespace cli
