#pragma once
// The QUBRIX Tool's serial downloader. At 1200 baud it answers the synchronisation bytes with "OK"
// and 0xFF, QueryVersion with its firmware version and PowerCycleTarget for its target board. In a
// short-frame session it takes the image (and the loader, which it passes on), then programs or
// checks its own target chip and reports as it goes: status reports (0x80), progress (0x8C) and
// verification reports (0x43). Its target board is powered only while it works on the chip. It honours Abort and the limits of encrypted files. A 32-bit target
// is reached through it in long frames at 115200 baud once it has power-cycled the board.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "emulator/serial/chip32_bootloader.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/device.hpp"
#include "emulator/serial/flash.hpp"
#include "isp/receivers.hpp"

namespace emulator::serial {

struct DownloaderConfig {
  std::uint16_t version = 516;      // firmware version × 10 (v51.60)
  std::uint32_t toolId = 0x00012345;  // the write_id_num this tool matches
  bool target32 = false;            // the target board carries a 32-bit chip
  ChipConfig chip;                  // the short-frame target (family, model, flash size)
  Chip32Config chip32;
  std::chrono::milliseconds reportStep{20};  // between two reports while the tool works alone
  Micros programTimePerBlock{200};  // the tool writing one 128-byte block into its target
  bool syncWithHeader = false;      // answer AA "OK" FF instead of "OK" FF
};

struct DownloaderFaults {
  bool silent = false;
  std::size_t noiseBeforeSync = 0;
  bool refuseBaud = false;
  std::optional<std::size_t> lineTestWrongByte;
  std::optional<std::uint32_t> nakBlock;  // an image block refused on its first transfer
  bool limitReached = false;        // ProgramStart refused with 0x11
  bool wrongToolId = false;         // ProgramStart refused with 0x22
  bool targetAbsent = false;        // no chip answers on the target board
  bool targetModelMismatch = false;
  bool writeError = false;
  bool powerNotOff = false;         // the board's power is not switched off
  bool askPowerOn = false;          // asks for power first, then goes on
  bool limitWhileWriting = false;   // status report 19
  bool toolIdWhileWriting = false;  // status report 20
  bool verifyMismatch = false;
  bool powerCycleFails = false;     // 32-bit: Sync answered with 2
  std::optional<std::size_t> unplugAfterRequests;  // counts the bridged chip's requests too
  NakFaults nak;
};

class SerialDownloader final : public SerialDevice {
 public:
  static constexpr std::uint32_t kIdleRate = 1200;

  explicit SerialDownloader(DownloaderConfig config = {}, DownloaderFaults faults = {});

  std::uint32_t initialRate() const override { return kIdleRate; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override;

  const DownloaderConfig& config() const { return config_; }
  DownloaderFaults& faults() { return faults_; }
  // The target chip's flash, as the tool left it.
  Flash& targetFlash() { return targetFlash_; }
  Chip32Bootloader& chip32() { return chip32_; }
  // Runs counted for an encrypted file id (the limits of 0x11).
  std::uint32_t runsOf(std::uint32_t fileId) const;

 private:
  enum class Mode { Idle, Session, Bridge };
  struct Job {
    std::uint16_t modelId = 0;
    std::uint32_t dataLength = 0;
    bool limited = false;
    std::uint32_t writeNumMax = 0;
    std::uint32_t fileId = 0;
    bool eraseChip = false;
    std::size_t blocks = 0;   // announced by the Erase
    std::size_t written = 0;  // image blocks taken since
  };

  void onIdleRequest(Wire& wire);
  void onSessionRequest(Wire& wire);
  void onProgramStart(isp::Bytes data, Wire& wire);
  void onWriteBlock(isp::Bytes data, Wire& wire);
  void programTarget(Wire& wire);
  void verifyTarget(isp::Bytes data, Wire& wire);
  void report(std::uint8_t type, std::uint8_t flag, std::uint8_t code, Wire& wire);
  // The last report of a job: the tool listens at 1200 baud again.
  void stop(std::uint8_t type, std::uint8_t flag, std::uint8_t code, Wire& wire);
  void backToIdle(Wire& wire);
  void reply(const isp::Frame& frame, Wire& wire);
  void ack(std::uint8_t status, Wire& wire);
  void countRequest(Wire& wire);
  void powerTarget(bool on, Wire& wire);
  bool wide() const;

  DownloaderConfig config_;
  DownloaderFaults faults_;
  Mode mode_ = Mode::Idle;
  isp::RequestReceiver rx_{isp::Dialect::Short};
  std::vector<std::uint8_t> image_;
  Job job_;
  Flash targetFlash_;
  Chip32Bootloader chip32_;
  std::map<std::uint32_t, std::uint32_t> runs_;
  bool nakDone_ = false;
  bool targetPowered_ = false;
  std::size_t requests_ = 0;
};

}  // namespace emulator::serial
