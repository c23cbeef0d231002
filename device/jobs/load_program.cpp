#include "device/commands.hpp"
#include "device/jobs/load_program.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/jobs/session.hpp"
#include "device/programmer_lock.hpp"
#include "device/tool.hpp"

namespace usbjobs {

namespace cmd = qx::cmd;
namespace {

constexpr const char* kEnd = "\r\n";

// The dialog's texts carry their own line breaks and colour.
void append(LoadRunSink& sink, const std::string& text) { sink.onLog(text, base::LogColour::Normal); }

std::optional<std::vector<std::uint8_t>> readRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool erasesUpFront(const firmware::MCU& m) {
  const unsigned high = m.model & 0xF0;
  const unsigned family = (unsigned{m.familyId[0]} << 8) | m.familyId[1];
  return high == 0xA0 || high == 0xC0 || family == 0x0800;
}

class LoadRun {
 public:
  LoadRun(const firmware::MCU& model, std::vector<std::uint8_t> bytes, LoadRunSink& sink)
      : m_(model), bytes_(std::move(bytes)), sink_(sink) {}

  // From openAndIdentify on; false for the failures the dialog reports.
  base::Outcome run(qx::QUBRIXTool& tool) {
    if (!tool.openAndIdentify()) {
      append(sink_, base::text("load.open_failed") + kEnd);
      return base::Outcome::Failed;
    }
    if (!tool.connect(firmware::modelWord(m_), m_.name, m_.internalName)) {
      append(sink_, base::text("load.connect_failed") + kEnd);
      return base::Outcome::Failed;
    }
    append(sink_, base::text("load.connected"));
    append(sink_, base::format("flash_size=%u\r\n", static_cast<unsigned>(tool.flashFlag())));
    tool.writeEvent(cmd::kEventBegin);
    const EraseUnit unit = chooseEraseUnit(tool);
    tool.screenState(cmd::kShowProgramming);
    sink_.onProgress(0);
    base::trace("flash_all_erase_en=%d\r\n", 0);

    const std::size_t length = bytes_.size();
    bool erased = false;
    if (erasesUpFront(m_)) {
      append(sink_, base::text("load.erasing"));
      const auto units = static_cast<std::uint16_t>(std::min<std::size_t>((length + unit.size - 1) / unit.size, 0xFFFF));
      if (!tool.eraseTargetFlash(unit.mode, 0, units)) {
        append(sink_, base::text("load.erase_failed") + kEnd);
        return done(base::Outcome::Failed);
      }
      erased = true;
    }
    append(sink_, base::format("--> %s\r\n", base::text(base::txt::kProgramming).c_str()));
    const bool written = writeUnits(tool, unit, erased);
    tool.writeEvent(cmd::kEventEnd);
    tool.disconnect();
    if (!written) append(sink_, base::text("usb.program_failed") + kEnd);
    return done(written ? base::Outcome::Success : base::Outcome::Failed);
  }

  base::Outcome done(base::Outcome outcome) {
    append(sink_, std::string("done.") + kEnd);
    return outcome;
  }

 private:
  bool writeUnits(qx::QUBRIXTool& tool, const EraseUnit& unit, bool erased) {
    const std::size_t length = bytes_.size();
    int shown = 0;
    for (std::size_t offset = 0; offset < length;) {
      const std::size_t chunk = std::min<std::size_t>(length - offset, unit.size);
      const auto address = static_cast<std::uint32_t>(offset);
      if (!erased && !tool.eraseTargetFlash(unit.mode, address, 1)) return false;
      if (!tool.writeCacheRange(std::span(bytes_).subspan(offset, chunk))) return false;
      if (!tool.writeTargetFlash(address, static_cast<std::uint16_t>(chunk))) return false;
      offset += chunk;
      const auto percent = static_cast<int>(offset * 100 / length);
      if (percent != shown) {
        shown = percent;
        sink_.onProgress(percent);
      }
    }
    return true;
  }

  const firmware::MCU& m_;
  std::vector<std::uint8_t> bytes_;
  LoadRunSink& sink_;
};

}  // namespace

std::string invalidModelText(const std::string& modelName) {
  return base::format(base::text("load.invalid_model").c_str(), modelName.c_str()) + kEnd;
}

base::Outcome runLoadProgram(const firmware::McuList& catalogue, const std::string& modelName, const std::string& file,
                       LoadRunSink& sink) {
  append(sink, base::format("%s\r\n%s\r\n", modelName.c_str(), file.c_str()));
  const firmware::McuPtr model = firmware::FindByName(catalogue, modelName);
  if (model == nullptr) {
    append(sink, invalidModelText(modelName));
    return base::Outcome::Failed;
  }
  // A file that cannot be read is no empty program: nothing is sent.
  std::optional<std::vector<std::uint8_t>> bytes = readRaw(file);
  if (!bytes) {
    append(sink, base::text("firmware.read_error") + kEnd);
    return base::Outcome::Failed;
  }
  const std::shared_ptr<qx::QUBRIXTool> tool = qx::firstTool();
  if (tool == nullptr) {
    append(sink, base::text(base::txt::kNoToolFound) + kEnd);
    return base::Outcome::Failed;
  }
  const qx::ProgrammerLock lock(tool->link()->serialNumber);
  if (!lock.held()) {
    append(sink, lock.refusal() + kEnd);
    return base::Outcome::Failed;
  }
  LoadRun run(*model, std::move(*bytes), sink);
  try {
    return run.run(*tool);
  } catch (const std::exception& e) {
    append(sink, base::format(base::text(base::txt::kProgrammingFailedError).c_str(), e.what()) + kEnd);
    return run.done(base::Outcome::Failed);
  }
}

}  // namespace usbjobs
