#include "device/jobs/job.hpp"

#include "firmware/catalogue.hpp"

namespace usbjobs {

UsbJob usbJobFromImage(const firmware::ProgramImage& image, firmware::McuPtr model,
                       const production::ProductionSettings& settings, bool productionFile, bool eraseChip) {
  UsbJob job;
  job.bytes = firmware::ProgramBytes(image);
  job.programLength = image.programLength;
  job.dataLength = image.dataLength;
  job.totalChecksum = image.totalChecksum;
  if (model != nullptr) job.mcuTypeIndex = firmware::TypeIndex(*model);
  job.model = std::move(model);
  job.productionFile = productionFile;
  job.production = settings;
  job.fromEncryptedFile = image.fromEncryptedFile;
  job.eraseChip = eraseChip;
  return job;
}

}  // namespace usbjobs
