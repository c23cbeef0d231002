// The production-file readers (the loader's for .cab and .cap, the store manager's) on any bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>

#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"
#include "firmware/production/reader.hpp"
#include "firmware/production/store_reader.hpp"
#include "fuzz/production_input.hpp"
#include "fuzz/quiet_load_sink.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t choice = data[0];
  const auto file = fuzzing::productionFileBytes(data + 1, size - 1, (choice & 1) != 0);
  const std::string text(file.begin(), file.end());

  const auto kind = (choice & 2) ? production::FileKind::ProductionProject : production::FileKind::EncryptedProgram;
  const auto& catalogue = firmware::Catalogue();
  firmware::LoadTarget target;
  target.modelCode = catalogue.empty() ? 0 : firmware::TypeIndex(*catalogue[(choice >> 3) % catalogue.size()]);
  target.mode = (choice & 4) ? firmware::LoadMode::Other : firmware::LoadMode::Isp;
  firmware::ProgramImage image;
  production::ProductionSettings settings;
  fuzzing::QuietLoadSink sink;
  std::istringstream loaderStream(text);
  (void)production::ReadProductionFile(loaderStream, kind, target, image, settings, sink);

  std::istringstream storeStream(text);
  (void)production::ReadStoreProductionFile(storeStream, catalogue);

  (void)production::decodeAnyHeader(file.data(), file.size());
  return 0;
}
