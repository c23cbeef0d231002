#pragma once
// The firmware store manager without a window: refresh the list of stored programs, add a program
// from a file, delete programs and make one the active program, through the first QUBRIX Tool.
// Each operation opens the programmer and closes it again. The dialog and `qubrix store` drive
// this class; one thread at a time uses it (an add runs on the AddWorker's thread, and the front
// ends start nothing else meanwhile).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "device/programmer_lock.hpp"
#include "device/store/store_rows.hpp"
#include "device/store/store_sink.hpp"
#include "device/tool.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/production/store_reader.hpp"

namespace store {

struct AddRequest {
  std::filesystem::path file;
  // The model chosen by the user; a production file brings its own.
  firmware::McuPtr model;
  // Stored with the program; a production file whose user code is on replaces it.
  std::uint32_t userCode = 0;
};

enum class RefreshResult {
  Listed,
  Failed,
  Outdated,  // the programmer's firmware is older than 1.0.2.5: the manager cannot be used
};

class StoreSession {
 public:
  using ToolSource = std::function<std::shared_ptr<qx::QUBRIXTool>()>;
  using Clock = std::function<std::uint32_t()>;

  // Takes the first programmer now (through `source`, the bus by default).
  StoreSession(firmware::McuList catalogue, StoreSink& sink, ToolSource source = {});
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  RefreshResult refresh();
  // Refreshes the list after a stored program.
  base::Outcome add(const AddRequest& request);
  base::Outcome remove(const std::vector<std::string>& names);
  base::Outcome makeDefault(const std::string& name);

  const std::vector<StoreRow>& rows() const { return rows_; }
  StoreSink& sink() { return sink_; }
  const firmware::McuList& catalogue() const { return catalogue_; }
  // From any thread: an add under way stops at its next block and its program is removed; a
  // delete stops before its next program; nothing starts after. Those operations end Cancelled.
  void cancel() { cancelled_ = true; }

  // The creation time stored with added programs; the system clock by default.
  void setClock(Clock clock) { clock_ = std::move(clock); }

 private:
  enum class Opened { Yes, No, Outdated };

  Opened open();
  void close();
  // Reads the list into rows_ and shows it; false (an empty list) when the programmer failed.
  bool listStored();
  // `listed`: the rows are what the programmer holds, so an add may be offered.
  void publish(bool listed);
  void tip(const std::string& text, base::MessageIcon icon);
  void info(const std::string& text);
  void error(const std::string& text);
  // False with the reason reported: the program, its model and its user code are set.
  bool prepare(const AddRequest& request, std::vector<std::uint8_t>& bytes, firmware::McuPtr& model,
               std::uint32_t& userCode, std::optional<production::StoreProductionFile>& production);
  base::Outcome storeProgram(const std::string& name, const firmware::MCU& model, std::uint32_t userCode,
                             const std::vector<std::uint8_t>& bytes,
                             const std::optional<production::StoreProductionFile>& production);
  base::Outcome cancelledHere();
  bool configureProduction(const std::string& name, const production::StoreProductionFile& file);
  // Removes a program whose add did not finish; remembered when the programmer cannot be reached.
  void discard(const std::string& name);
  void discardLeftover();

  firmware::McuList catalogue_;
  StoreSink& sink_;
  ToolSource source_;
  Clock clock_;
  std::shared_ptr<qx::QUBRIXTool> tool_;
  // Held from open to close, so no other process uses the programmer in between.
  std::unique_ptr<qx::ProgrammerLock> lock_;
  std::vector<StoreRow> rows_;
  std::optional<std::string> leftover_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace store
