#include "device/store/store_session.hpp"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <exception>

#include "base/strformat.hpp"
#include "base/text_ids.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/jobs/firmware_version.hpp"
#include "device/store/store_files.hpp"

namespace store {
namespace {

constexpr usbjobs::FirmwareVersion kStoreFirmware{1, 0, 2, 5};
constexpr std::size_t kCreateNameMax = 32;

std::string logForm(const std::string& text) { return text.rfind("--> ", 0) == 0 ? text : "--> " + text; }

std::uint32_t systemSeconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The programmer's serial number read as a decimal number, as a production file's writer id is.
bool serialMatches(const std::string& serial, std::uint32_t writerId) {
  if (serial.empty() || !std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  return std::strtoull(serial.c_str(), nullptr, 10) == writerId;
}

}  // namespace

StoreSession::StoreSession(firmware::McuList catalogue, StoreSink& sink, ToolSource source)
    : catalogue_(std::move(catalogue)), sink_(sink), source_(std::move(source)), clock_(systemSeconds) {
  if (!source_) source_ = [] { return qx::firstTool(); };
  try {
    tool_ = source_();
  } catch (const std::exception& e) {
    base::trace("store: no programmer: %s\n", e.what());
  }
}

void StoreSession::tip(const std::string& text, base::MessageIcon icon) { sink_.onMessage(base::text(102), text, icon); }
void StoreSession::info(const std::string& text) { sink_.onLog(logForm(text), base::LogColour::Normal); }
void StoreSession::error(const std::string& text) { sink_.onLog(logForm(text), base::LogColour::Error); }

void StoreSession::publish(bool listed) {
  sink_.onListing(rows_, {listed && rows_.size() < kStoreCapacity, !rows_.empty()});
}

StoreSession::Opened StoreSession::open() {
  // A programmer plugged in again is a new device: the handle taken before cannot open it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (tool_ == nullptr) {
      try {
        tool_ = source_();
      } catch (const std::exception& e) {
        base::trace("store: no programmer: %s\n", e.what());
      }
    }
    if (tool_ == nullptr) break;
    if (lock_ == nullptr) {
      auto lock = std::make_unique<qx::ProgrammerLock>(tool_->link()->serialNumber);
      if (!lock->held()) {
        tip(lock->refusal(), base::MessageIcon::Warning);
        return Opened::No;
      }
      lock_ = std::move(lock);
    }
    bool opened = false;
    try {
      opened = tool_->openAndIdentify();
    } catch (const std::exception& e) {
      base::trace("store: open: %s\n", e.what());
    }
    if (!opened) {
      close();
      tool_.reset();
      continue;
    }
    const auto version = usbjobs::parseFirmwareVersion(tool_->firmwareVersion());
    if (!version || *version < kStoreFirmware) {
      close();
      tip(base::text("store.version_too_low"), base::MessageIcon::Warning);
      return Opened::Outdated;
    }
    discardLeftover();
    return Opened::Yes;
  }
  tip(base::text("usb.open_failed_verify"), base::MessageIcon::Information);
  return Opened::No;
}

void StoreSession::close() {
  if (tool_ != nullptr && tool_->link() != nullptr) tool_->link()->close();
  lock_.reset();
}

bool StoreSession::listStored() {
  bool listed = true;
  try {
    rows_ = rowsFor(tool_->listAllFirmware(), catalogue_);
  } catch (const std::exception& e) {
    rows_.clear();
    listed = false;
    tip(base::format(base::text("store.refresh_failed").c_str(), e.what()), base::MessageIcon::Error);
  }
  publish(listed);
  return listed;
}

RefreshResult StoreSession::refresh() {
  rows_.clear();
  const Opened opened = open();
  if (opened != Opened::Yes) {
    publish(false);
    return opened == Opened::Outdated ? RefreshResult::Outdated : RefreshResult::Failed;
  }
  const bool listed = listStored();
  close();
  return listed ? RefreshResult::Listed : RefreshResult::Failed;
}

bool StoreSession::prepare(const AddRequest& request, std::vector<std::uint8_t>& bytes, firmware::McuPtr& model,
                           std::uint32_t& userCode, std::optional<production::StoreProductionFile>& production) {
  const StoreFileKind kind = storeFileKindOf(request.file);
  if (kind != StoreFileKind::Production && request.model == nullptr) return false;
  const std::size_t rawLimit = request.model != nullptr ? request.model->flashSize : 0;
  StoreFile file = readStoreFile(request.file, catalogue_, rawLimit);
  if (file.bytes.empty()) {
    tip(base::text("store.invalid_firmware"), base::MessageIcon::Warning);
    return false;
  }
  model = request.model;
  userCode = request.userCode;
  if (file.production) {
    model = firmware::FindByModel(catalogue_, file.production->header.model);
    if (model == nullptr) {
      tip(base::text("store.invalid_encrypted"), base::MessageIcon::Warning);
      return false;
    }
  }
  if (file.bytes.size() > model->flashSize) {
    tip(base::text("firmware.too_large"), base::MessageIcon::Warning);
    return false;
  }
  const std::string name = storeNameOf(request.file);
  if (name.empty()) {
    tip(base::text("device.status.16"), base::MessageIcon::Warning);
    return false;
  }
  if (name.size() > kCreateNameMax) {
    tip(base::text("device.status.162"), base::MessageIcon::Warning);
    return false;
  }
  bytes = std::move(file.bytes);
  production = std::move(file.production);
  return true;
}

base::Outcome StoreSession::cancelledHere() {
  error(base::text(base::txt::kCancelledByUser));
  return base::Outcome::Cancelled;
}

base::Outcome StoreSession::add(const AddRequest& request) {
  std::vector<std::uint8_t> bytes;
  firmware::McuPtr model;
  std::uint32_t userCode = 0;
  std::optional<production::StoreProductionFile> production;
  if (!prepare(request, bytes, model, userCode, production)) return base::Outcome::Failed;
  if (cancelled_) return cancelledHere();
  if (open() != Opened::Yes) return base::Outcome::Failed;
  if (production) {
    const production::ProductionSettings& s = production->settings;
    if (s.writer_ID_limit_enable && !serialMatches(qx::toolSerialNumber(tool_), s.write_id_num)) {
      close();
      tip(base::text("store.writer_mismatch"), base::MessageIcon::Warning);
      return base::Outcome::Failed;
    }
    if (s.user_code_enable) userCode = s.user_code;
  }
  const std::string name = storeNameOf(request.file);
  const base::Outcome stored = storeProgram(name, *model, userCode, bytes, production);
  if (stored == base::Outcome::Success) {
    listStored();
    info(base::text("store.added"));
  } else if (stored == base::Outcome::Cancelled) {
    cancelledHere();
  } else {
    error(base::text("store.add_failed"));
  }
  close();
  return stored;
}

namespace {

// Thrown from the progress of a store write to leave it at a block's end.
struct AddCancelled {};

}  // namespace

base::Outcome StoreSession::storeProgram(const std::string& name, const firmware::MCU& model, std::uint32_t userCode,
                                const std::vector<std::uint8_t>& bytes,
                                const std::optional<production::StoreProductionFile>& production) {
  const std::uint32_t fileId = production ? production->header.fileId() : 0;
  const std::uint32_t verifyCode = storeVerifyCode(bytes, model.flashSize);
  bool created = false;
  try {
    sink_.onProgressRange(0, 100);
    const bool filled = tool_->storeFirmware(name, fileId, firmware::modelWord(model), verifyCode, model.name, userCode,
                                             clock_(), bytes, [&](int percent) {
                                               created = true;
                                               if (cancelled_) throw AddCancelled{};
                                               sink_.onProgress(percent);
                                             });
    // storeFirmware has removed a program it could not fill.
    if (!filled) return base::Outcome::Failed;
    if (production && !configureProduction(name, *production)) {
      discard(name);
      return base::Outcome::Failed;
    }
    if (!tool_->setFirmwareTarget(name, model.internalName) || !tool_->setActiveFirmware(name)) {
      discard(name);
      return base::Outcome::Failed;
    }
    return base::Outcome::Success;
  } catch (const AddCancelled&) {
    discard(name);
    return base::Outcome::Cancelled;
  } catch (const std::exception& e) {
    error(e.what());
    if (created) discard(name);
    return base::Outcome::Failed;
  }
}

bool StoreSession::configureProduction(const std::string& name, const production::StoreProductionFile& file) {
  const std::uint32_t fileId = file.header.fileId();
  const auto attempt = [this](auto&& command) {
    try {
      return command();
    } catch (const std::exception& e) {
      error(e.what());
      return false;
    }
  };
  if (!attempt([&] { return tool_->setFirmwareKey(name, file.header.key); })) {
    tip(base::text("usb.limit_set_failed"), base::MessageIcon::Warning);
    return false;
  }
  qx::LimitInfo limit;
  if (!attempt([&] { return tool_->getLimit(fileId, limit); })) {
    tip(base::text("usb.limit_get_failed"), base::MessageIcon::Warning);
    return false;
  }
  base::trace("cab.file_id=0x%08X cab.write_num_max = %d\n", fileId, static_cast<int>(file.header.write_num_max));
  if (limit.fileId != fileId && !attempt([&] { return tool_->setLimit(fileId, file.header.write_num_max); })) {
    tip(base::text("usb.limit_set_failed"), base::MessageIcon::Warning);
    return false;
  }
  return true;
}

void StoreSession::discard(const std::string& name) {
  try {
    if (tool_->deleteFirmware(name)) return;
  } catch (const std::exception& e) {
    base::trace("store: delete %s: %s\n", name.c_str(), e.what());
  }
  leftover_ = name;
}

void StoreSession::discardLeftover() {
  if (!leftover_) return;
  const std::string name = *leftover_;
  leftover_.reset();
  try {
    tool_->deleteFirmware(name);
  } catch (const std::exception& e) {
    base::trace("store: delete %s: %s\n", name.c_str(), e.what());
    leftover_ = name;
  }
}

base::Outcome StoreSession::remove(const std::vector<std::string>& names) {
  if (cancelled_) return cancelledHere();
  if (open() != Opened::Yes) return base::Outcome::Failed;
  base::Outcome outcome = base::Outcome::Success;
  for (const std::string& name : names) {
    if (cancelled_) {
      outcome = cancelledHere();
      break;
    }
    try {
      if (tool_->deleteFirmware(name)) {
        std::erase_if(rows_, [&](const StoreRow& r) { return r.info.name == name; });
        info(base::text("store.deleted"));
        continue;
      }
      error(base::text("store.delete_failed"));
    } catch (const std::exception& e) {
      error(base::format(base::text("store.delete_error").c_str(), e.what()));
    }
    outcome = base::Outcome::Failed;
  }
  close();
  publish(true);
  return outcome;
}

base::Outcome StoreSession::makeDefault(const std::string& name) {
  if (cancelled_) return cancelledHere();
  if (open() != Opened::Yes) return base::Outcome::Failed;
  bool set = false;
  try {
    set = tool_->setActiveFirmware(name);
  } catch (const std::exception& e) {
    error(e.what());
  }
  close();
  if (set) {
    info(base::text("store.default_set"));
    return base::Outcome::Success;
  }
  error(base::text("store.default_failed"));
  return base::Outcome::Failed;
}

}  // namespace store
