#include "isp/panel/loaded_file.hpp"

#include "firmware/job_source.hpp"

namespace isppanel {
namespace {

firmware::JobSource sourceOf(const LoadedFile& file) {
  return {*file.image, file.model, file.productionFile ? &file.settings : nullptr};
}

}  // namespace

usbjobs::UsbJob usbJobOf(const LoadedFile& file, bool eraseChip) {
  return usbjobs::jobFromSource(sourceOf(file), eraseChip);
}

isp::engine::IspJob serialJobOf(const LoadedFile& file, const isp::engine::JobOptions& options) {
  return isp::engine::jobFromSource(sourceOf(file), options);
}

}  // namespace isppanel
