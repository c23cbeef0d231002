#include "isp/panel/isp_panel.hpp"

#include <algorithm>
#include <cctype>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"

namespace isppanel {

bool isUsbEntry(std::string_view entry) {
  static constexpr std::string_view kUsb = "usb";
  return entry.size() == kUsb.size() && std::equal(entry.begin(), entry.end(), kUsb.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

IspPanel::IspPanel(IspPanelSink& ui, usbjobs::UsbJobSink& worker, PostToUi post, isp::engine::IspEngine& engine)
    : ui_(ui), workerSink_(worker), post_(std::move(post)), engine_(engine) {}

IspPanel::~IspPanel() {
  if (worker_) worker_->cancel();
  worker_.reset();
}

void IspPanel::tip(const std::string& text) { ui_.onMessage(base::text(102), text, base::MessageIcon::Warning); }

void IspPanel::program(const std::function<LoadedFile()>& file, const std::function<bool()>& reload,
                       const isp::engine::JobOptions& serial) {
  if (running()) return;
  if (usbSelected()) {
    const LoadedFile f = file();
    if (!f.selected) {
      tip(base::text(170));
      return;
    }
    ui_.onProgressRange(0, 100);
    ui_.onProgress(0);
    // A refused or failed load holds nothing: the worker then logs "Please load a firmware.".
    usbjobs::UsbJob job = f.programmable() ? usbJobOf(f, eraseChip_) : usbjobs::UsbJob{};
    startWorker([this, job = std::move(job)](const std::atomic<bool>& running) {
      return usbjobs::runProgram(job, workerSink_, running);
    });
    return;
  }
  if (!file().selected) {
    tip(base::text(170));
    return;
  }
  if (!serialProgramAllowed(file())) return;
  // The run sends what the file holds now; a file that no longer loads sends nothing.
  if (!reload()) return;
  const LoadedFile f = file();
  if (!f.programmable()) return;
  isp::engine::JobOptions options = serial;
  options.eraseChip = eraseChip_;
  if (!engine_.StartProgram(serialJobOf(f, options))) return;
  engine_.setCheckByTool(false);
}

bool IspPanel::serialProgramAllowed(const LoadedFile& f) {
  if (!f.encrypted()) return true;
  if (!f.encryptedLoadPort || *f.encryptedLoadPort != portEntry_) {
    tip(base::text("isppanel.reload_encrypted"));
    return false;
  }
  const auto version = engine_.programmerVersion();
  if (!version || *version < isp::engine::IspEngine::kMinVersionForEncrypted) {
    tip(base::text("isp.version_too_low"));
    return false;
  }
  return true;
}

void IspPanel::check(const LoadedFile& f, const isp::engine::JobOptions& serial) {
  if (running()) return;
  if (usbSelected()) {
    ui_.onProgressRange(0, 100);
    ui_.onProgress(0);
    usbjobs::UsbJob job = f.programmable() ? usbJobOf(f, eraseChip_) : usbjobs::UsbJob{};
    startWorker([this, job = std::move(job)](const std::atomic<bool>& running) {
      return usbjobs::runVerify(job, workerSink_, running);
    });
    return;
  }
  if (!f.selected || !f.programmable()) {
    tip(base::text("isppanel.select_file_to_verify"));
    return;
  }
  isp::engine::JobOptions options = serial;
  options.eraseChip = eraseChip_;
  engine_.setCheckByTool(true);
  engine_.StartVerify(serialJobOf(f, options));
}

void IspPanel::cancel() {
  if (usbSelected() || worker_) {
    // Taken at the worker's next unit; its end comes back through workerEnded.
    if (worker_) worker_->cancel();
    return;
  }
  engine_.Cancel();
}

void IspPanel::power() {
  if (running() || !usbSelected()) return;
  startWorker([this](const std::atomic<bool>& running) { return usbjobs::runPowerToggle(workerSink_, running); });
}

void IspPanel::startWorker(std::function<base::Outcome(const std::atomic<bool>&)> body) {
  worker_ = std::make_unique<usbjobs::JobThread>(
      base::threadLanguage(), [this, body = std::move(body)](const std::atomic<bool>& running) {
        const base::Outcome outcome = body(running);
        post_([this, outcome] { workerEnded(outcome); });
        return outcome;
      });
}

void IspPanel::workerEnded(base::Outcome outcome) {
  worker_.reset();
  ui_.onRunEnded(outcome);
}

}  // namespace isppanel
