#include "isp/engine/job_from_image.hpp"

#include "firmware/catalogue.hpp"

namespace isp::engine {

IspJob jobFromImage(const firmware::ProgramImage& image, const firmware::MCU& model,
                    const production::ProductionSettings& settings,
                    const production::ProductionHeader* productionHeader, const JobOptions& options) {
  IspJob job;
  job.image = firmware::ProgramBytes(image);
  job.maxFileLength = image.m_MaxFileLength;
  job.dataLength = image.dataLength;
  job.programLength = image.programLength;
  job.pageCount = image.pageCount;
  job.totalChecksum = image.totalChecksum;
  job.totalChecksumLength = image.totalChecksumLength;
  job.dataChecksum = image.dataChecksum;
  job.appChecksum = image.appChecksum;

  job.mcuTypeIndex = firmware::TypeIndex(model);
  job.modelId = model.model;
  job.modelName = model.name;
  job.internalName = model.internalName;
  job.typeIndexOfModel = [](std::uint16_t id) -> std::optional<std::uint16_t> {
    const firmware::McuPtr found = firmware::FindByModel(id);
    if (!found) return std::nullopt;
    return firmware::TypeIndex(*found);
  };

  job.fromEncryptedFile = image.fromEncryptedFile;
  job.productionFile = productionHeader != nullptr;
  job.production = settings;
  if (productionHeader != nullptr) job.productionText = productionHeader->modelName;

  job.eraseChip = options.eraseChip;
  job.calibrateRc = options.calibrateRc;
  job.upgradeBaudCode = options.upgradeBaudCode;
  return job;
}

}  // namespace isp::engine
