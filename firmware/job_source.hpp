#pragma once
// What every programming job is built from, whatever the transport: the loaded image, the model it
// is for and, when it came from a production file (.cab or .cap), the settings that file carries.
// The window fills a JobSource from what it holds; the front ends without a window load one with
// LoadForJob, which also applies the production model rule. The jobs themselves are made by
// usbjobs::jobFromSource (device/jobs/job.hpp) and isp::engine::jobFromSource
// (isp/engine/job_from_image.hpp).
#include <filesystem>
#include <optional>
#include <string>

#include "firmware/catalogue.hpp"
#include "firmware/image.hpp"
#include "firmware/loader.hpp"
#include "firmware/production/settings.hpp"

namespace firmware {

struct JobSource {
  const ProgramImage& image;
  McuPtr model;
  // The settings of a loaded production file; nullptr for HEX and BIN, which carry none.
  const production::ProductionSettings* production = nullptr;
};

// Why LoadForJob gave no program; the front end words it (RefusalText) and picks its exit status.
enum class LoadRefusal {
  UnknownKind,    // the name contains none of .hex, .bin, .cab, .cap
  ModelRequired,  // HEX and BIN need the model they are for
  UnknownModel,   // the requested model is not in the catalogue
  ModelConflict,  // a production file made for another model than the one requested
  NotLoaded,      // the loader refused the file (it reported why through the sink)
};

struct LoadRequest {
  std::filesystem::path path;
  // The model asked for (qubrix's -t); may stay empty for a production file, which names its own.
  std::string modelName;
  LoadMode mode = LoadMode::Isp;
  const McuList* catalogue = nullptr;  // nullptr: Catalogue()
};

struct LoadedProgram {
  ProgramImage image;
  McuPtr model;  // the file's own for a production file
  bool productionFile = false;
  production::ProductionSettings settings;
  std::optional<LoadRefusal> refusal;
  std::string fileModelName;  // the model a production file was made for, once its header is read

  bool loaded() const { return !refusal.has_value(); }
  JobSource source() const { return {image, model, productionFile ? &settings : nullptr}; }
};

// Finds the model, checks a production file's model against the requested one before anything is
// loaded, and loads the file through `sink`; a production file selects its own model.
LoadedProgram LoadForJob(const LoadRequest& request, LoadSink& sink);

// The words for a refusal; empty for NotLoaded when the sink has already shown the reason.
std::string RefusalText(const LoadedProgram& program, const LoadRequest& request);

}  // namespace firmware
