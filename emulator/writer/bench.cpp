#include "emulator/writer/bench.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "base/whole_file.hpp"
#include "device/writer/link.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/programmer/state_file.hpp"

namespace emulator::writer {

std::filesystem::path writerConfigPath() { return programmer::stateDirectory() / "writer.conf"; }

namespace {

std::filesystem::path programPath() { return programmer::stateDirectory() / "writer.program"; }

void storeProgram(const StoredProgram& p) {
  std::error_code ec;
  std::filesystem::create_directories(programPath().parent_path(), ec);
  const std::string text = "length=" + std::to_string(p.length) + "\nlimit-on=" + (p.limitOn ? "1" : "0") +
                           "\nlimit=" + std::to_string(p.limit) + "\n";
  base::WriteWholeFile(programPath(), std::string_view(text));
}

}  // namespace

std::optional<StoredProgram> loadStoredProgram() {
  std::ifstream in(programPath());
  if (!in) return std::nullopt;
  StoredProgram p;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const unsigned long value = std::strtoul(line.c_str() + eq + 1, nullptr, 10);
    if (key == "length") p.length = static_cast<std::uint32_t>(std::min(value, 16UL << 20));
    if (key == "limit-on") p.limitOn = value != 0;
    if (key == "limit") p.limit = static_cast<std::uint32_t>(value);
  }
  return p;
}

void resetWriterBench() {
  std::error_code ec;
  std::filesystem::remove(programPath(), ec);
  std::filesystem::remove(writerConfigPath(), ec);
}

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
  std::call_once(once, [] {
    device = EmulatedWriter::create(loadBenchWriterConfig());
    if (const auto program = loadStoredProgram()) device->resumeOffline(*program);
    device->onProgramStored(storeProgram);
  });
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
