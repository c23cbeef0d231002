#pragma once
// The host's link onto an emulated Writer, as the hidapi link is onto a real one.
#include <memory>

#include "device/writer/link.hpp"

namespace emulator::writer {

class EmulatedWriter;

class EmulatedLink final : public qx::writer::WriterLink {
 public:
  explicit EmulatedLink(std::shared_ptr<EmulatedWriter> device);

  bool open() override;
  bool isOpen() const override { return open_; }
  void close() override { open_ = false; }
  bool write(const qx::writer::Report& report) override;
  qx::writer::ReadResult read(qx::writer::Report& report, int timeoutMs) override;
  std::uint32_t lastErrorCode() const override { return lastError_; }

 private:
  std::shared_ptr<EmulatedWriter> device_;
  bool open_ = false;
  std::uint32_t lastError_ = 0;
};

}  // namespace emulator::writer
