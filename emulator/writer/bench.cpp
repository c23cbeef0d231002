#include "emulator/writer/bench.hpp"

#include <fstream>
#include <mutex>
#include <sstream>

#include "base/whole_file.hpp"
#include "device/writer/link.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/programmer/state_file.hpp"

namespace emulator::writer {

std::filesystem::path writerConfigPath() { return programmer::stateDirectory() / "writer.conf"; }

WriterConfig loadBenchWriterConfig() {
  WriterConfig bench;
  bench.paced = true;
  bench.rounds = -1;
  std::ifstream in(writerConfigPath());
  if (!in) return bench;
  std::ostringstream text;
  text << in.rdbuf();
  return parseWriterConfig(text.str(), bench);
}

bool saveBenchWriterConfig(const WriterConfig& config) {
  const std::string text = formatWriterConfig(config);
  std::error_code ec;
  std::filesystem::create_directories(writerConfigPath().parent_path(), ec);
  return base::WriteWholeFile(writerConfigPath(), std::string_view(text));
}

std::shared_ptr<EmulatedWriter> benchWriter() {
  static std::once_flag once;
  static std::shared_ptr<EmulatedWriter> device;
  std::call_once(once, [] { device = EmulatedWriter::create(loadBenchWriterConfig()); });
  return device;
}

bool attachWriterBenchFromEnvironment() {
  if (!programmer::emulationRequested()) return false;
  static std::once_flag once;
  std::call_once(once, [] {
    qx::writer::addWriterProvider([] {
      std::vector<std::shared_ptr<qx::writer::WriterLink>> found;
      if (auto link = benchWriter()->attach()) found.push_back(std::move(link));
      return found;
    });
  });
  return true;
}

}  // namespace emulator::writer
