#include "isp/engine/job_from_image.hpp"

#include "firmware/catalogue.hpp"
#include "firmware/production/header.hpp"
#include "isp/engine/engine.hpp"

namespace isp::engine {

IspJob jobFromSource(const firmware::JobSource& source, const JobOptions& options) {
  const firmware::ProgramImage& image = source.image;
  const firmware::MCU& model = *source.model;
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
  job.productionFile = source.production != nullptr;
  if (source.production != nullptr) {
    job.production = *source.production;
    job.productionText = production::parseHeader(image.header).modelName;
  }

  job.eraseChip = options.eraseChip;
  job.calibrateRc = options.calibrateRc;
  job.upgradeBaudCode = options.upgradeBaudCode;
  return job;
}

bool encryptedFileAllowed(const IspJob& job, std::optional<std::uint16_t> programmerVersion) {
  return !job.fromEncryptedFile || (programmerVersion && *programmerVersion >= IspEngine::kMinVersionForEncrypted);
}

}  // namespace isp::engine
