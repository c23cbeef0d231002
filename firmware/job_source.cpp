#include "firmware/job_source.hpp"

#include <fstream>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/production/header.hpp"

namespace firmware {
namespace {

bool isProductionKind(ProgramFileKind kind) {
  return kind == ProgramFileKind::EncryptedProgram || kind == ProgramFileKind::ProductionProject;
}

// The record a production file's header names; null when the header cannot be read, which the
// loader then reports in its own words.
McuPtr modelOfProductionFile(const std::filesystem::path& path, ProgramFileKind kind, const McuList& list) {
  production::HeaderBytes raw{};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  const auto fileKind = kind == ProgramFileKind::EncryptedProgram ? production::FileKind::EncryptedProgram
                                                                  : production::FileKind::ProductionProject;
  const production::DecodedHeader decoded = production::decodeHeader(raw.data(), got, fileKind);
  if (!decoded.ok()) return nullptr;
  McuPtr record = FindByTypeIndex(list, decoded.header.modelCode);
  return record != nullptr && record->model == decoded.header.model ? record : nullptr;
}

// Keeps the model a production file selects.
class SelectionSink final : public LoadSink {
 public:
  explicit SelectionSink(LoadSink& inner) : inner_(inner) {}
  void onLog(const std::string& text, base::LogColour colour) override { inner_.onLog(text, colour); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    inner_.onMessage(caption, text, icon);
  }
  void checksumLabel(const std::string& text) override { inner_.checksumLabel(text); }
  void fileSizeLabel(const std::string& text) override { inner_.fileSizeLabel(text); }
  void showImage(std::span<const std::uint8_t> bytes) override { inner_.showImage(bytes); }
  void fileNameField(const std::string& text) override { inner_.fileNameField(text); }
  void modelSelected(std::uint16_t modelCode, const std::string& modelName) override {
    selected = modelCode;
    inner_.modelSelected(modelCode, modelName);
  }
  IspPortChoice ispPortChoice() override { return inner_.ispPortChoice(); }
  void askSerialProgrammerVersion() override { inner_.askSerialProgrammerVersion(); }

  std::optional<std::uint16_t> selected;

 private:
  LoadSink& inner_;
};

}  // namespace

LoadedProgram LoadForJob(const LoadRequest& request, LoadSink& sink) {
  LoadedProgram program;
  const McuList& list = request.catalogue != nullptr ? *request.catalogue : Catalogue();
  const std::optional<ProgramFileKind> kind = ProgramFileKindOfPath(request.path.string());
  if (!kind) {
    program.refusal = LoadRefusal::UnknownKind;
    return program;
  }
  program.productionFile = isProductionKind(*kind);
  McuPtr requested;
  if (!request.modelName.empty()) {
    requested = FindByName(list, request.modelName);
    if (requested == nullptr) {
      program.refusal = LoadRefusal::UnknownModel;
      return program;
    }
  } else if (!program.productionFile) {
    program.refusal = LoadRefusal::ModelRequired;
    return program;
  }
  if (program.productionFile) {
    // The file was made and limited for one model: programming it into another is refused.
    const McuPtr own = modelOfProductionFile(request.path, *kind, list);
    if (own != nullptr) program.fileModelName = own->name;
    if (own != nullptr && requested != nullptr && own->name != requested->name) {
      program.refusal = LoadRefusal::ModelConflict;
      return program;
    }
  }

  LoadTarget target{requested != nullptr ? TypeIndex(*requested) : std::uint16_t{0}, request.mode, &list};
  target.settings = &program.settings;
  SelectionSink selection(sink);
  if (!LoadProgramFile(request.path, *kind, target, program.image, selection)) {
    program.refusal = LoadRefusal::NotLoaded;
    return program;
  }
  program.model = selection.selected ? FindByTypeIndex(list, *selection.selected) : requested;
  if (program.model == nullptr) program.refusal = LoadRefusal::NotLoaded;
  return program;
}

std::string RefusalText(const LoadedProgram& program, const LoadRequest& request) {
  const std::string path = request.path.string();
  switch (program.refusal.value_or(LoadRefusal::NotLoaded)) {
    case LoadRefusal::UnknownKind:
      return base::format(base::text("firmware.cli.unknown_kind").c_str(), path.c_str());
    case LoadRefusal::ModelRequired:
      return base::text("firmware.cli.model_required");
    case LoadRefusal::UnknownModel:
      return base::format(base::text("firmware.cli.unknown_model").c_str(), request.modelName.c_str());
    case LoadRefusal::ModelConflict:
      return base::format(base::text("firmware.cli.model_conflict").c_str(), path.c_str(),
                          program.fileModelName.c_str(), request.modelName.c_str());
    case LoadRefusal::NotLoaded:
      break;
  }
  return base::format(base::text("firmware.cli.not_loaded").c_str(), path.c_str());
}

}  // namespace firmware
