#pragma once
// The ISP panel's decisions, without widgets: which path a button takes for the selected port entry
// ("USB": the programmer's jobs on a worker thread; a serial port: the window's serial ISP engine),
// the refusals before a run, the encrypted-file rules and Cancel. The widget only forwards its
// buttons here and shows what the sinks report.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/jobs/sink.hpp"
#include "device/jobs/worker.hpp"
#include "isp/engine/engine.hpp"
#include "isp/panel/loaded_file.hpp"
#include "isp/panel/panel_sink.hpp"

namespace isppanel {

// The entry that selects the programmer; the letter case is ignored.
bool isUsbEntry(std::string_view entry);

class IspPanel {
 public:
  // Runs a call on the user-interface thread after every report the worker sink has queued.
  using PostToUi = std::function<void(std::function<void()>)>;

  // `ui` is called on the user-interface thread; `worker` from the USB workers (it must marshal);
  // `engine` is the window's serial ISP engine, whose onFinished the owner hands to onEngineFinished.
  IspPanel(IspPanelSink& ui, usbjobs::UsbJobSink& worker, PostToUi post, isp::engine::IspEngine& engine);
  // Waits for a USB worker: the programmer is never left to a thread nobody waits for.
  ~IspPanel();
  IspPanel(const IspPanel&) = delete;
  IspPanel& operator=(const IspPanel&) = delete;

  void setPortEntry(std::string entry) { portEntry_ = std::move(entry); }
  const std::string& portEntry() const { return portEntry_; }
  bool usbSelected() const { return isUsbEntry(portEntry_); }
  void setEraseChip(bool on) { eraseChip_ = on; }
  bool eraseChip() const { return eraseChip_; }

  // `reload` loads the selected file again (a serial Program sends what the file holds now) and
  // tells whether it loaded; `file` is read after it.
  void program(const std::function<LoadedFile()>& file, const std::function<bool()>& reload,
               const isp::engine::JobOptions& serial);
  void check(const LoadedFile& file, const isp::engine::JobOptions& serial);
  void cancel();
  void power();

  bool usbRunning() const { return worker_ != nullptr; }
  bool running() const { return usbRunning() || engine_.state() != isp::engine::IspEngine::kIdle; }
  void onEngineFinished(base::Outcome outcome) { ui_.onRunEnded(outcome); }

 private:
  void startWorker(std::function<base::Outcome(const std::atomic<bool>&)> body);
  void workerEnded(base::Outcome outcome);
  void tip(const std::string& text);
  bool serialProgramAllowed(const LoadedFile& file);

  IspPanelSink& ui_;
  usbjobs::UsbJobSink& workerSink_;
  PostToUi post_;
  isp::engine::IspEngine& engine_;
  std::string portEntry_;
  bool eraseChip_ = false;
  std::unique_ptr<usbjobs::JobThread> worker_;
};

}  // namespace isppanel
