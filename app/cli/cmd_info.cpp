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
#include "firmware/job_source.hpp"
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
  const firmware::McuList list = firmware::LoadCatalogue();
  const firmware::LoadRequest request{path, a.value("target").value_or(""),
                                      mode == "isp" ? firmware::LoadMode::Isp : firmware::LoadMode::Other, &list};
  PrintingSink sink;
  if (a.has("json")) sink.keepLinesQuiet();
  const firmware::LoadedProgram program = firmware::LoadForJob(request, sink);
  if (program.refusal == firmware::LoadRefusal::ModelRequired) {
    return usageError(firmware::RefusalText(program, request));
  }
  if (!program.loaded()) {
    // Some refusals have no message of their own in the window; a terminal still needs one.
    const bool unread = program.refusal == firmware::LoadRefusal::NotLoaded;
    if (!unread || !sink.complained()) std::fprintf(stderr, "%s\n", firmware::RefusalText(program, request).c_str());
    if (unread && a.has("json")) {
      std::printf("{\"verb\": \"info\", \"model\": %s, \"file\": %s, \"result\": \"failed\", \"exitStatus\": 1}\n",
                  jsonString(a.value("target").value_or("")).c_str(), jsonString(path).c_str());
    }
    return unread ? kExitFailed : kExitUsage;
  }
  if (a.has("json")) {
    printJson(path, program.productionFile ? sink.selectedModel() : a.value("target").value_or(""), program.image,
              program.productionFile ? &program.settings : nullptr);
    return kExitOk;
  }
  std::printf("%s\n%s\n", sink.checksum().c_str(), sink.fileSize().c_str());
  if (program.productionFile) printSettings(program.settings, program.image, sink.selectedModel());
  return kExitOk;
}

}  // namespace cli
