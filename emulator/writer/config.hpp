#pragma once
// How the emulated Writer behaves: its pace and the faults a test or a user picks for it. Kept as
// "key=value" lines beside the programmer's settings, so that qubrix-emulator can change them.
#include <optional>
#include <string>
#include <vector>

namespace emulator::writer {

// The steps of a download, as the faults name them.
enum class Step { Start, Model, FlashId, Length, Data, CheckCode, FileName };

struct WriterConfig {
  bool paced = false;                // replies and offline steps take the time a real Writer takes
  std::optional<Step> silentAt;      // no answer to this step
  bool wrongCheckCode = false;       // the check code is off by one
  std::optional<unsigned> badPacket; // this packet arrives damaged (the Writer answers with an error)
  std::optional<unsigned> unplugAfter;  // the Writer leaves the bus after this many host reports
  int chipError = 0;                 // 1 or 2: that chip fails in every offline round
  int rounds = 1;                    // offline rounds after a download; -1 endless (paced only)
};

std::string formatWriterConfig(const WriterConfig& config);
// Unknown keys and lines that do not parse are ignored.
WriterConfig parseWriterConfig(const std::string& text, const WriterConfig& defaults = {});
bool setWriterConfigValue(WriterConfig& config, const std::string& key, const std::string& value, std::string& error);
std::vector<std::string> writerConfigKeys();

const char* stepName(Step step);
std::optional<Step> stepFromName(const std::string& name);

}  // namespace emulator::writer
