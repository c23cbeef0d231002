// qubrix pack: what the Writer panel's Generate button does. Loads a HEX or BIN file for a model
// in Writer mode, applies the panel's checks to the settings given as options and writes an
// encrypted program file (--cab) or a production project file (--cap).
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/printing_sink.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/job_source.hpp"
#include "firmware/production/checks.hpp"
#include "firmware/production/writer.hpp"

namespace cli {
namespace {

constexpr char kSynopsis[] =
    "--cab|--cap -t MODEL FILE [--key K16] [--limit N] [--writer-id HEX8] [--user-code N] [-o OUT]";

template <typename T>
std::optional<T> parseNumber(const std::string& text, int base) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool allHexDigits(const std::string& text) {
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The panel's inputs from the options; a message when one cannot be typed into the panel.
std::optional<std::string> readSettings(const Args& a, bool cab, production::ProductionSettings& s) {
  // Generate writes a .cab exactly when the key box is checked.
  s.key_enable = cab;
  if (const auto key = a.value("key")) {
    if (!cab) return std::string("--key applies to --cab only");
    if (key->size() > s.key.size()) return std::string("--key takes at most 16 characters");
    for (char c : *key) {
      if (static_cast<unsigned char>(c) >= 0x80) return std::string("--key takes ASCII characters only");
    }
    std::copy(key->begin(), key->end(), s.key.begin());
    s.key_count = key->size();
  }
  if (const auto limit = a.value("limit")) {
    // The panel's edit holds 8 digits.
    const auto n = limit->size() <= 8 ? parseNumber<std::uint32_t>(*limit, 10) : std::nullopt;
    if (!n) return std::string("--limit takes a decimal number of at most 8 digits");
    s.write_limit_num_enable = true;
    s.write_num_max = *n;
  }
  if (const auto code = a.value("user-code")) {
    const auto n = parseNumber<std::uint64_t>(*code, 10);
    if (!n) return std::string("--user-code takes a decimal number");
    if (auto refusal = production::UserCodeRefusal(*n)) return refusal;
    s.user_code_enable = true;
    s.user_code = static_cast<std::uint32_t>(*n);
  }
  if (const auto id = a.value("writer-id")) {
    if (id->size() > 8 || !allHexDigits(*id)) return std::string("--writer-id takes up to 8 hexadecimal digits");
    s.writer_ID_limit_enable = true;
    s.write_id_digits = id->size();
    if (id->size() == 8) s.write_id_num = *parseNumber<std::uint32_t>(*id, 16);
  }
  return std::nullopt;
}

}  // namespace

int runPack(const std::vector<std::string>& args) {
  Args a(args, {{"cab", 0, false, "write an encrypted program file (the data enciphered with --key)"},
                {"cap", 0, false, "write a production project file (the data in plain form)"},
                {"target", 't', true, "MODEL  the chip model, as `qubrix models` lists it"},
                {"key", 0, true, "K16  the 16-character data key (--cab)"},
                {"limit", 0, true, "N  the maximum number of programming runs"},
                {"writer-id", 0, true, "HEX8  the id of the only Writer that may use the file"},
                {"user-code", 0, true, "N  the first value of the user roll code"},
                {"output", 'o', true, "OUT  the file to write (default: FILE without extension + _JM.cab or .cap)"}});
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
  production::ProductionSettings settings;
  if (auto bad = readSettings(a, cab, settings)) return usageError(*bad);

  // The Writer panel generates from the image as Writer mode loads it.
  const firmware::McuList list = firmware::LoadCatalogue();
  const firmware::LoadRequest request{a.positional()[0], *target, firmware::LoadMode::Other, &list};
  PrintingSink sink(a.value("output"));
  const firmware::LoadedProgram program = firmware::LoadForJob(request, sink);
  if (!program.loaded()) {
    const bool unread = program.refusal == firmware::LoadRefusal::NotLoaded;
    if (!unread || !sink.complained()) std::fprintf(stderr, "%s\n", firmware::RefusalText(program, request).c_str());
    return unread ? kExitFailed : kExitUsage;
  }
  const firmware::ProgramImage& image = program.image;
  const firmware::McuPtr& model = program.model;
  const std::string& path = a.positional()[0];
  const production::FileKind out = cab ? production::FileKind::EncryptedProgram : production::FileKind::ProductionProject;
  if (auto refusal = production::GenerateRefusal(out, settings, true, image.fromEncryptedFile)) {
    sink.onMessage(base::text(base::txt::kTip), *refusal, base::MessageIcon::Warning);
    return kExitFailed;
  }
  // The panel disables Generate once a production file is loaded: its data are not the program's.
  if (program.productionFile) {
    std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.pack_source").c_str(), path.c_str()).c_str());
    return kExitFailed;
  }

  const production::WriteSource source{image, *model, firmware::TypeIndex(*model), path};
  if (production::WriteProductionFile(out, source, settings, sink) != production::WriteResult::Written) {
    return kExitFailed;
  }
  std::printf("%s\n", base::format(base::text("firmware.cli.saved_to").c_str(), sink.savedPath().c_str()).c_str());
  std::printf("%s\n", base::format(base::text("firmware.cli.file_id").c_str(), settings.encrypt_file_id).c_str());
  return kExitOk;
}

}  // namespace cli
