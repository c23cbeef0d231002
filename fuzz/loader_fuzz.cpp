// The program-file loader for every file kind, mode and model, on any file contents. The first
// input byte chooses kind, mode and the encrypted file's port answer, the next two the model.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"
#include "fuzz/production_input.hpp"
#include "fuzz/quiet_load_sink.hpp"

namespace {

// One scratch file per process, removed at exit.
const std::filesystem::path& scratchFile() {
  static const std::filesystem::path path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "qubrix-loader-fuzz-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd >= 0) close(fd);
    std::atexit([] { std::filesystem::remove(scratchFile()); });
    return std::filesystem::path(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t choice = data[0];
  const auto kind = static_cast<firmware::ProgramFileKind>(choice & 3);
  const bool production =
      kind == firmware::ProgramFileKind::EncryptedProgram || kind == firmware::ProgramFileKind::ProductionProject;
  const auto file = fuzzing::productionFileBytes(data + 3, size - 3, production && (choice & 0x10) != 0);
  {
    std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  const auto& catalogue = firmware::Catalogue();
  firmware::LoadTarget target;
  target.modelCode = catalogue.empty()
                         ? 0
                         : firmware::TypeIndex(*catalogue[((std::size_t{data[1]} << 8) | data[2]) % catalogue.size()]);
  target.mode = (choice & 4) ? firmware::LoadMode::Other : firmware::LoadMode::Isp;
  production::ProductionSettings settings;
  target.settings = &settings;
  fuzzing::QuietLoadSink sink(static_cast<firmware::IspPortChoice>((choice >> 3) % 3));
  firmware::ProgramImage image;
  (void)firmware::LoadProgramFile(scratchFile(), kind, target, image, sink);
  return 0;
}
