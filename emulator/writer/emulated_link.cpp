#include "emulator/writer/emulated_link.hpp"

#include <cerrno>

#include "emulator/writer/emulated_writer.hpp"

namespace emulator::writer {

EmulatedLink::EmulatedLink(std::shared_ptr<EmulatedWriter> device) : device_(std::move(device)) {
  path = "emulated-writer";
}

bool EmulatedLink::open() {
  open_ = device_->present();
  if (!open_) lastError_ = ENODEV;
  return open_;
}

bool EmulatedLink::write(const qx::writer::Report& report) {
  if (!open_ || !device_->receive(report)) {
    // What hidraw reports for a device that has gone.
    lastError_ = ENODEV;
    return false;
  }
  return true;
}

qx::writer::ReadResult EmulatedLink::read(qx::writer::Report& report, int timeoutMs) {
  if (!open_) return qx::writer::ReadResult::Failed;
  const qx::writer::ReadResult r = device_->nextReply(report, timeoutMs);
  if (r == qx::writer::ReadResult::Failed) lastError_ = ENODEV;
  return r;
}

}  // namespace emulator::writer
