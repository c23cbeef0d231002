#include "isp/panel/loaded_file.hpp"

#include "firmware/production/header.hpp"

namespace isppanel {

usbjobs::UsbJob usbJobOf(const LoadedFile& file, bool eraseChip) {
  return usbjobs::jobFromSource({*file.image, file.model, file.productionFile ? &file.settings : nullptr}, eraseChip);
}

isp::engine::IspJob serialJobOf(const LoadedFile& file, const isp::engine::JobOptions& options) {
  const production::ProductionHeader header = production::parseHeader(file.image->header);
  return isp::engine::jobFromImage(*file.image, *file.model, file.settings, file.productionFile ? &header : nullptr,
                                   options);
}

}  // namespace isppanel
