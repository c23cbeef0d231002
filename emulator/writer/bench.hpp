#pragma once
// The emulated Writer on the bench of this process: with QUBRIX_EMULATE=1 the front ends call
// attachWriterBenchFromEnvironment() once, and the Writer lookup finds it from then on. Its pace and
// faults come from "writer.conf" in the emulated devices' state directory (qubrix-emulator writer);
// what it was last given is kept in "writer.program", so that a later run sees it programming.
#include <filesystem>
#include <memory>
#include <optional>

#include "emulator/writer/config.hpp"
#include "emulator/writer/emulated_writer.hpp"

namespace emulator::writer {

std::filesystem::path writerConfigPath();
// The bench's settings: paced and endless rounds unless the file says otherwise.
WriterConfig loadBenchWriterConfig();
bool saveBenchWriterConfig(const WriterConfig& config);

// The program the bench's Writer holds from an earlier run, if any; forgotten by resetWriterBench.
std::optional<StoredProgram> loadStoredProgram();
void resetWriterBench();

bool attachWriterBenchFromEnvironment();
std::shared_ptr<EmulatedWriter> benchWriter();

}  // namespace emulator::writer
