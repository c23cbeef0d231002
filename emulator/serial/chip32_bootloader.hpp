#pragma once
// The bootloader of a 32-bit chip, speaking long frames at 115200 baud: Sync, Identify with its
// model id and name, EraseApplication (everything above the 4 KiB boot area), 512-byte blocks,
// VerifyRange with a 32-bit sum and Release. Reached directly on the line or through the QUBRIX
// Tool, which then answers Sync for it when the target cannot be reached.
#include <cstdint>
#include <optional>
#include <string>

#include "emulator/serial/device.hpp"
#include "emulator/serial/flash.hpp"
#include "isp/receivers.hpp"

namespace emulator::serial {

struct Chip32Config {
  std::uint16_t modelId = 0x3201;
  std::string name = "QX32F128";  // the 11 characters of the identification, blank padded
  std::size_t flashSize = 131072;
  Micros eraseTime{40000};
  Micros blockWriteTime{1000};
  Micros checksumTimePerKib{20};
};

struct Chip32Faults {
  bool silent = false;
  std::size_t noiseBeforeSync = 0;
  std::optional<std::uint32_t> nakBlock;   // a 512-byte block (address / 512) refused once
  std::optional<std::size_t> unplugAfterRequests;
  std::optional<std::size_t> corruptAfterProgramming;  // a flash byte flipped before VerifyRange
  NakFaults nak;                                       // erase: EraseApplication
};

class Chip32Bootloader final : public SerialDevice {
 public:
  static constexpr std::uint32_t kRate = 115200;
  static constexpr std::size_t kBootArea = 0x1000;
  // What the QUBRIX Tool answers Sync with for a target it cannot reach or power-cycle.
  static constexpr std::uint8_t kSyncNoTarget = 1;
  static constexpr std::uint8_t kSyncPowerCycleFailed = 2;

  explicit Chip32Bootloader(Chip32Config config = {}, Chip32Faults faults = {});

  std::uint32_t initialRate() const override { return kRate; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override { return "QUBRIX emulated bootloader W3X (32-bit)"; }

  // Through the tool: the status Sync gets instead of the chip's own answer (0 = the chip answers).
  void setSyncStatus(std::uint8_t status) { syncStatus_ = status; }
  // True once Release has been acknowledged; cleared by the next Sync or reset.
  bool released() const { return released_; }
  // The requests recognised so far, Sync included.
  std::size_t requests() const { return requests_; }

  const Chip32Config& config() const { return config_; }
  Chip32Faults& faults() { return faults_; }
  Flash& flash() { return flash_; }
  const Flash& flash() const { return flash_; }

 private:
  void onRequest(Wire& wire);
  void reply(const isp::Frame& frame, Wire& wire);

  Chip32Config config_;
  Chip32Faults faults_;
  Flash flash_;
  isp::RequestReceiver rx_{isp::Dialect::Long};
  std::uint8_t syncStatus_ = 0;
  bool synchronised_ = false;
  bool released_ = false;
  bool nakDone_ = false;
  std::size_t requests_ = 0;
};

}  // namespace emulator::serial
