#include "device/jobs/job.hpp"

#include <algorithm>

#include "firmware/catalogue.hpp"
#include "firmware/cipher/tea.hpp"

namespace usbjobs {

UsbJob usbJobFromImage(const firmware::ProgramImage& image, firmware::McuPtr model,
                       const production::ProductionSettings& settings, bool productionFile, bool eraseChip) {
  UsbJob job;
  const std::size_t length = std::min<std::size_t>(image.data.size(), image.m_MaxFileLength);
  job.bytes.assign(image.data.begin(), image.data.begin() + static_cast<std::ptrdiff_t>(length));
  // The image keeps an encrypted program file enciphered under the built-in key.
  if (image.fromEncryptedFile) cipher::TeaDecrypt(job.bytes.data(), job.bytes.size(), cipher::kBuiltInTeaKey);
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
