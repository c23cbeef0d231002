#pragma once
// The serial bootloader of a short-frame chip (family types 0x000 to 0x500): it answers the
// synchronisation bytes with "OK" and a byte at whatever rate they came (it measures them), switches
// its UART on SetBaud, sends the line test, checks the model on ProgramStart, takes its family's
// loader into XDATA (and refuses flash work without the right one), programs a flash model and
// reports the real byte sum.
#include <cstdint>
#include <optional>
#include <vector>

#include "emulator/serial/device.hpp"
#include "emulator/serial/flash.hpp"
#include "isp/receivers.hpp"

namespace emulator::serial {

struct ChipConfig {
  std::uint16_t familyType = 0x100;
  std::uint16_t modelId = 0x5812;
  std::size_t flashSize = 16384;
  std::uint8_t syncByte = 0x5A;       // never 0xFF, which would claim to be the QUBRIX Tool
  bool syncWithHeader = false;        // answer AA "OK" x instead of "OK" x
  std::uint8_t preferredBaudCode = 8; // taken when SetBaud asks for code 0 (115200)
  std::uint8_t maxBaudCode = 12;
  // Processing times of the chip.
  Micros eraseChipTime{20000};
  Micros erasePageTime{2000};
  Micros blockWriteTime{300};
  Micros checksumTimePerKib{50};
};

struct ChipFaults {
  bool silent = false;                         // answers nothing at all
  std::size_t noiseBeforeSync = 0;             // noise bytes in front of the synchronisation answer
  std::optional<std::uint32_t> nakBlock;       // a flash block refused on its first write
  bool refuseBaud = false;
  std::optional<std::size_t> lineTestWrongByte;
  bool modelMismatch = false;                  // ProgramStart is refused whatever the model
  std::optional<std::size_t> unplugAfterRequests;
  std::optional<std::size_t> corruptAfterProgramming;  // a flash byte flipped once End comes
  std::optional<std::size_t> strayByteBeforeReply;     // one noise byte before the reply to the N-th request
  bool answerEverySync = false;                        // also the syncs that come after the first answer
  std::optional<std::size_t> muteAfterRequests;        // answers the first N requests only
  NakFaults nak;
};

class ChipBootloader final : public SerialDevice {
 public:
  explicit ChipBootloader(ChipConfig config = {}, ChipFaults faults = {});

  std::uint32_t initialRate() const override { return 1200; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override;

  const ChipConfig& config() const { return config_; }
  ChipFaults& faults() { return faults_; }
  Flash& flash() { return flash_; }
  const Flash& flash() const { return flash_; }
  bool loaderAccepted() const;

 private:
  void onRequest(Wire& wire);
  void onSync(Wire& wire);
  void onErase(isp::Bytes data, Wire& wire);
  void onWriteBlock(isp::Bytes data, Wire& wire);
  void onRead(isp::Bytes data, Wire& wire);
  void reply(const isp::Frame& frame, Wire& wire);
  void ack(std::uint8_t status, Wire& wire);
  void reportChecksum(std::size_t length, Wire& wire);
  void endSession(Wire& wire);

  ChipConfig config_;
  ChipFaults faults_;
  Flash flash_;
  std::vector<std::uint8_t> xdata_;
  isp::RequestReceiver rx_{isp::Dialect::Short};
  bool synchronised_ = false;
  bool nakDone_ = false;
  std::size_t requests_ = 0;
};

}  // namespace emulator::serial
