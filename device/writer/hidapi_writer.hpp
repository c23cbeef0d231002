#pragma once
// The Writer on hidapi (hidraw on Linux): 65-byte reports, the first byte the report id 0.
#include <memory>
#include <string>
#include <vector>

#include "device/writer/link.hpp"

struct hid_device_;

namespace qx::writer {

class HidApiWriter final : public WriterLink {
 public:
  HidApiWriter() = default;
  ~HidApiWriter() override;
  HidApiWriter(const HidApiWriter&) = delete;
  HidApiWriter& operator=(const HidApiWriter&) = delete;

  bool open() override;
  bool isOpen() const override { return device_ != nullptr; }
  void close() override;
  bool write(const Report& report) override;
  ReadResult read(Report& report, int timeoutMs) override;
  std::uint32_t lastErrorCode() const override { return lastError_; }

 private:
  hid_device_* device_ = nullptr;
  std::uint32_t lastError_ = 0;
};

// The Writers present, by device path; hidraw gives 64-byte reports plus the id byte.
std::vector<std::shared_ptr<HidApiWriter>> enumerateHidWriters();

}  // namespace qx::writer
