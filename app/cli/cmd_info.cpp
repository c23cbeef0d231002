// qubrix info: loads a program file for a model as the window would, and prints what the window
// would show: the log lines, message boxes, the checksum and the file size.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"

namespace cli {
namespace {

constexpr char kSynopsis[] = "-t MODEL [--mode isp|writer] FILE";

class PrintingSink final : public firmware::LoadSink {
 public:
  void logLine(const std::string& text, base::LogColour colour) override {
    std::fprintf(colour == base::LogColour::Error ? stderr : stdout, "%s\n", text.c_str());
    if (colour == base::LogColour::Error) complained_ = true;
  }
  void messageBox(const std::string& text, const std::string& caption, base::MessageIcon) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    complained_ = true;
  }
  void checksumLabel(const std::string& text) override { checksum_ = text; }
  void fileSizeLabel(const std::string& text) override { fileSize_ = text; }
  void showImage(std::span<const std::uint8_t>) override {}
  void fileNameField(const std::string&) override {}

  bool complained() const { return complained_; }
  const std::string& checksum() const { return checksum_; }
  const std::string& fileSize() const { return fileSize_; }

 private:
  bool complained_ = false;
  std::string checksum_;
  std::string fileSize_;
};

}  // namespace

int runInfo(const std::vector<std::string>& args) {
  Args a(args, {{"target", 't', true, "MODEL  the chip model, as `qubrix models` lists it"},
                {"mode", 0, true, "isp|writer  the window mode whose lengths apply (default: isp)"}});
  if (auto done = finishParsing(a, "info", kSynopsis)) return *done;
  const auto usageError = [&a](const std::string& message) {
    std::fprintf(stderr, "qubrix info: %s\n%s", message.c_str(), a.usage("info", kSynopsis).c_str());
    return kExitUsage;
  };
  const std::optional<std::string> target = a.value("target");
  if (!target) return usageError("the model is missing (-t MODEL)");
  if (a.positional().size() != 1) return usageError("exactly one program file is needed");
  const std::string mode = a.value("mode").value_or("isp");
  if (mode != "isp" && mode != "writer") return usageError("--mode takes isp or writer");

  const firmware::McuList list = firmware::LoadCatalogue();
  const firmware::McuPtr model = firmware::FindByName(list, *target);
  if (!model) {
    std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), target->c_str()).c_str());
    return kExitUsage;
  }
  const std::string& path = a.positional()[0];
  const std::optional<firmware::ProgramFileKind> kind = firmware::ProgramFileKindOfPath(path);
  if (!kind) {
    std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_kind").c_str(), path.c_str()).c_str());
    return kExitUsage;
  }

  firmware::ProgramImage image;
  PrintingSink sink;
  const firmware::LoadTarget how{firmware::TypeIndex(*model),
                                 mode == "isp" ? firmware::LoadMode::Isp : firmware::LoadMode::Other, &list};
  if (!firmware::LoadProgramFile(path, *kind, how, image, sink)) {
    // Some refusals have no message of their own in the window; a terminal still needs one.
    if (!sink.complained()) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.not_loaded").c_str(), path.c_str()).c_str());
    }
    return kExitFailed;
  }
  std::printf("%s\n%s\n", sink.checksum().c_str(), sink.fileSize().c_str());
  return kExitOk;
}

}  // namespace cli
