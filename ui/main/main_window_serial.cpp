// The window's one serial port and its timers: bytes to the current mode's consumer, timer firings
// to the hook of their id, and the release a panel asks for.
#include "base/texts.hpp"
#include "isp/serial_port.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/responsive_timers.hpp"
#include "ui/main/serial_bridge.hpp"
#include "widgets/qt_timer_service.hpp"

namespace {

// What the release waits in all, in two steps, before a panel opens the port again.
constexpr base::Millis kReleaseStep{100};

}  // namespace

void CQX58KT_UPGRADEDlg::buildSerialPort() {
  timers_ = new widgets::QtTimerService(this);
  responsiveTimers_ = std::make_unique<mainwin::ResponsiveTimers>(*timers_);
  timers_->setHandler([this](int id) {
    responsiveTimers_->deliverTimer(id, [this](int fired) {
      const auto hook = timerHooks_.find(fired);
      if (hook != timerHooks_.end() && hook->second) hook->second(fired);
    });
  });
  serialPort_ = std::make_unique<isp::CSerialPort>();
  mainwin::SerialBridge::Handlers handlers;
  handlers.byte = [this](std::uint8_t byte) {
    responsiveTimers_->deliver([this, byte] {
      if (mainwin::SerialByteConsumer* c = serialConsumers_[static_cast<std::size_t>(currentMode_)]) c->onSerialByte(byte);
    });
  };
  handlers.message = [this](const isp::SerialMessage& m) {
    showMessage(m.text, m.caption.empty() ? windowTitle().toStdString() : m.caption,
                m.errorIcon ? base::MessageIcon::Error : base::MessageIcon::Warning);
  };
  handlers.error = [this] {
    responsiveTimers_->deliver([this] {
      if (mainwin::SerialByteConsumer* c = serialConsumers_[static_cast<std::size_t>(currentMode_)]) c->onSerialPortError();
    });
  };
  serialBridge_ = new mainwin::SerialBridge(std::move(handlers), this);
}

base::TimerService& CQX58KT_UPGRADEDlg::timers() { return *responsiveTimers_; }

void CQX58KT_UPGRADEDlg::HookTimer(int id, std::function<void(int)> onFire) { timerHooks_[id] = std::move(onFire); }

isp::SerialPortSink& CQX58KT_UPGRADEDlg::SerialPortOwner() { return *serialBridge_; }

void CQX58KT_UPGRADEDlg::SetSerialConsumer(int mode, mainwin::SerialByteConsumer* consumer) {
  if (mode >= 0 && static_cast<std::size_t>(mode) < serialConsumers_.size()) {
    serialConsumers_[static_cast<std::size_t>(mode)] = consumer;
  }
}

void CQX58KT_UPGRADEDlg::ReleaseSerialPort() {
  if (!serialPort_->IsOpen()) return;
  if (ispPanel_ != nullptr) ispPanel_->releasePort();
  for (int id : {5, 6, 7, 10}) timers_->stop(id);
  serialPort_->Stop();
  responsiveTimers_->wait(kReleaseStep);
  responsiveTimers_->wait(kReleaseStep);
}
