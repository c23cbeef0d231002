#pragma once
// The STM32 USART system bootloader as ST's application note AN3155 describes it, for any AN3155
// host: 0x7F measures the host's rate (auto-baud) and is acknowledged; from then on commands come
// as a code and its complement and are answered with ACK 0x79 or NACK 0x1F. Get, Get Version,
// Get ID, Read Memory, Write Memory, Erase (0x43) or Extended Erase (0x44), and Go are served over
// a flash from 0x08000000 that must be erased before it is written. A repeated 0x7F once
// synchronised is answered with NACK, as the real bootloader takes it for an unknown command.
// The bootloader keeps its state while the line is idle; only Go (the application starts) or a
// pulled cable ends it.
#include <cstdint>
#include <optional>
#include <vector>

#include "emulator/serial/device.hpp"
#include "emulator/serial/flash.hpp"

namespace emulator::serial {

struct Stm32Config {
  std::size_t flashSize = 128 * 1024;
  std::size_t pageSize = 1024;
  std::uint8_t eraseCommand = 0x44;  // 0x43 Erase or 0x44 Extended Erase, as Get lists it
  std::uint16_t productId = 0x0410;
  std::uint8_t version = 0x31;
  Micros massEraseTime{30000};
  Micros pageEraseTime{2000};
  Micros writeTimePerByte{8};
};

struct Stm32Faults {
  bool silent = false;
  std::size_t noiseBeforeSync = 0;             // line noise in front of the answer to the first 0x7F
  std::vector<std::uint8_t> nackCommands;      // commands answered with NACK every time
  std::optional<std::size_t> dropByte;         // the host's n-th byte (from 1) is lost on the line
  std::optional<std::size_t> unplugAfterWrites;  // the cable goes during the n-th Write Memory's data
};

class Stm32Bootloader final : public SerialDevice {
 public:
  static constexpr std::uint32_t kFlashBase = 0x08000000;
  static constexpr std::uint8_t kAck = 0x79;
  static constexpr std::uint8_t kNack = 0x1F;

  explicit Stm32Bootloader(Stm32Config config = {}, Stm32Faults faults = {});

  std::uint32_t initialRate() const override { return 115200; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override { return "QUBRIX emulated STM32 system bootloader"; }

  bool synchronised() const { return stage_ != Stage::WaitSync && stage_ != Stage::Running; }
  // True once Go started the application at `startedAt()`.
  bool running() const { return stage_ == Stage::Running; }
  std::uint32_t startedAt() const { return goAddress_; }

  const Stm32Config& config() const { return config_; }
  Stm32Faults& faults() { return faults_; }
  Flash& flash() { return flash_; }
  const Flash& flash() const { return flash_; }

 private:
  enum class Stage { WaitSync, Command, Complement, Address, ReadLength, WriteData, EraseData, Running };

  void onCommand(std::uint8_t code, Wire& wire);
  void onAddress(Wire& wire);
  void onReadLength(Wire& wire);
  void onWriteData(Wire& wire);
  void onEraseData(Wire& wire);
  // Whether the bytes collected so far make a whole erase request.
  bool eraseDataComplete() const;
  void answer(std::initializer_list<std::uint8_t> bytes, Wire& wire);
  void answer(const isp::Frame& bytes, Wire& wire);
  void note(Wire& wire);
  void toCommands();
  bool inFlash(std::uint32_t address, std::size_t length) const;

  Stm32Config config_;
  Stm32Faults faults_;
  Flash flash_;
  Stage stage_ = Stage::WaitSync;
  std::uint8_t command_ = 0;
  std::uint32_t address_ = 0;
  std::uint32_t goAddress_ = 0;
  isp::Frame collected_;
  std::size_t hostBytes_ = 0;
  std::size_t writes_ = 0;
  bool noiseDone_ = false;
};

}  // namespace emulator::serial
