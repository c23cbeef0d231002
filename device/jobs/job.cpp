#include "device/jobs/job.hpp"

#include "firmware/catalogue.hpp"

namespace usbjobs {

UsbJob jobFromSource(const firmware::JobSource& source, bool eraseChip) {
  const firmware::ProgramImage& image = source.image;
  UsbJob job;
  job.bytes = firmware::ProgramBytes(image);
  job.programLength = image.programLength;
  job.dataLength = image.dataLength;
  job.totalChecksum = image.totalChecksum;
  if (source.model != nullptr) job.mcuTypeIndex = firmware::TypeIndex(*source.model);
  job.model = source.model;
  job.productionFile = source.production != nullptr;
  if (source.production != nullptr) job.production = *source.production;
  job.fromEncryptedFile = image.fromEncryptedFile;
  job.eraseChip = eraseChip;
  return job;
}

}  // namespace usbjobs
