#pragma once
// What the USB jobs share: log lines in the log's form, commands whose exceptions count as the
// failure of their step, the programmer taken and identified, the erase unit, the unit loop with
// its progress, and the final step that powers the target off and closes the programmer.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "device/exceptions.hpp"

#include "device/programmer_lock.hpp"
#include "device/jobs/sink.hpp"
#include "device/tool.hpp"
#include "firmware/mcu.hpp"

namespace usbjobs {

struct EraseUnit {
  std::uint32_t size = 64;
  std::uint8_t mode = 0;
};

// eraseUnitA with mode 0 if offered, else eraseUnitB with mode 1, else 64 bytes with mode 0.
EraseUnit chooseEraseUnit(const qx::QUBRIXTool& tool);

class Session {
 public:
  // `serial` chooses the programmer; empty takes the first one attached.
  explicit Session(UsbJobSink& sink, std::string serial = {}) : sink_(sink), serial_(std::move(serial)) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  UsbJobSink& sink() { return sink_; }
  qx::QUBRIXTool& tool() { return *tool_; }
  const std::shared_ptr<qx::QUBRIXTool>& handle() const { return tool_; }
  bool hasTool() const { return tool_ != nullptr; }

  // The step the run is in; the first error line marks it as the failed one.
  void step(const char* name) { step_ = name; }
  RunFacts& facts() { return facts_; }
  // Hands the facts to the sink; finish() does it too.
  void reportFacts();

  // "--> " is put in front unless the text has it already.
  void info(const std::string& text);
  void error(const std::string& text);
  void showPower(bool powered);

  // The command's result; an exception is logged as an error line and gives nothing.
  template <class F>
  auto guarded(F&& command) -> std::optional<std::invoke_result_t<F>> {
    try {
      return command();
    } catch (const qx::DeviceException& e) {
      if (e.code() != qx::kTransportErrorCode && !facts_.statusCode) facts_.statusCode = e.code();
      error(e.what());
      return std::nullopt;
    } catch (const std::exception& e) {
      error(e.what());
      return std::nullopt;
    }
  }
  template <class F>
  bool attempt(F&& command) {
    return guarded(std::forward<F>(command)).value_or(false);
  }

  // Takes the chosen programmer and its lock and opens it; the failure line is logged and false
  // means: go to the final step. A programmer another process holds is left untouched.
  bool takeAndOpen(const std::string& openFailedText);
  // The firmware version must be at least 1.0.2; logs the programmer's product and version.
  bool checkFirmwareVersion();
  bool takeAndIdentify(const std::string& openFailedText) { return takeAndOpen(openFailedText) && checkFirmwareVersion(); }
  // Connects to the selected model; a failure sets screen state 2 and logs the line.
  bool connectTarget(const firmware::MCU& model);
  // "Connected to the target chip." and the target voltage.
  void reportConnected();

  // Runs `unitStep` (offset, length) for each unit while `running`; after each unit the progress
  // goes to the programmer's screen and the bar when its percentage changed. False on a failure.
  bool unitLoop(std::uint64_t length, std::uint32_t unit, const std::atomic<bool>& running,
                const std::function<bool(std::uint32_t, std::uint32_t)>& unitStep);

  // The final step: power off (the Power button follows when that works), close the programmer,
  // controls back on. A failed power-off is logged and told to the sink.
  void finish();

 private:
  UsbJobSink& sink_;
  std::string serial_;
  std::shared_ptr<qx::QUBRIXTool> tool_;
  std::unique_ptr<qx::ProgrammerLock> lock_;
  const char* step_ = "prepare";
  RunFacts facts_;
  bool factsReported_ = false;
};

// Seconds of a steady clock, for the time-consumption lines.
double secondsSince(std::int64_t startMs);
std::int64_t nowMs();

}  // namespace usbjobs
