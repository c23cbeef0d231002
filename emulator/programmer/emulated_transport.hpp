#pragma once
// The host's transport onto an emulated programmer: the shared report framing over the device's
// raw reports, as the hidapi transport has it over the hidraw node.
#include <memory>
#include <string>

#include "device/report.hpp"

namespace emulator::programmer {

class EmulatedProgrammer;

class EmulatedTransport final : public qx::ReportTransport {
 public:
  EmulatedTransport(std::shared_ptr<EmulatedProgrammer> device, unsigned generation);
  ~EmulatedTransport() override;
  EmulatedTransport(const EmulatedTransport&) = delete;
  EmulatedTransport& operator=(const EmulatedTransport&) = delete;

  // Fails once the device has gone from the bus (unplugged or restarted) since enumeration.
  bool open() override;
  bool isOpen() const override { return open_; }
  void close() override;

 protected:
  int sendReport(const std::uint8_t* report, std::size_t length) override;
  int receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) override;
  std::string lastError() const override;

 private:
  std::shared_ptr<EmulatedProgrammer> device_;
  unsigned generation_;
  bool open_ = false;
};

}  // namespace emulator::programmer
