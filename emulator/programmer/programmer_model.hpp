#pragma once
// What the emulated QUBRIX Tool does with one deciphered request: the device side of every
// command set, with no transport, clock or file behind it.
//
// Running modes: the application answers the target, store and touch commands; the bootloader
// answers the memory commands on the programmer's own flash. Both answer the mode query and the
// identification. After a restart into the application the version is the one in the application
// header of the programmer flash (see programmer_flash.hpp); an image without a valid header does
// not start, and the programmer stays in its bootloader.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/interface.hpp"
#include "emulator/programmer/config.hpp"
#include "emulator/programmer/nor_flash.hpp"
#include "emulator/programmer/touch_sensor.hpp"

namespace emulator::programmer {

using qx::Bytes;

// The programmer's RAM cache: room for a whole image of the largest chips.
inline constexpr std::size_t kCacheSize = 128 * 1024;
inline constexpr std::size_t kStoreCapacity = 50;
inline constexpr std::size_t kStoreBytes = 2 * 1024 * 1024;

struct StoredFirmware {
  std::string name;
  std::uint32_t fileId = 0;
  std::uint32_t modelWord = 0;
  std::uint32_t verifyCode = 0;
  std::uint32_t time = 0;
  std::uint32_t userCode = 0;
  std::string mcuName;
  std::string internalName;
  std::array<std::uint8_t, 16> key{};
  bool hasKey = false;
  Bytes data;
};

struct LimitCounter {
  std::uint32_t fileId = 0;
  std::uint32_t maxCount = 0;
  std::uint32_t count = 0;
};

// What survives a power cycle of the programmer: flash contents and its settings.
struct Persistent {
  NorFlash targetFlash;
  std::uint32_t adoptedModel = 0;  // 0: no chip taken yet
  bool targetPowered = false;
  std::vector<StoredFirmware> store;
  std::string activeFirmware;
  LimitCounter limit;
  NorFlash programmerFlash;
  bool bootMode = false;
  // Thresholds written into the touch target, which its firmware keeps; empty: its defaults.
  std::vector<std::uint16_t> touchThresholds;
};

// The programmer's screen and the events it was sent, in order, for tests and for a look.
struct ScreenRecord {
  std::uint32_t checksum = 0;
  int state = 0;
  int progress = 0;
  int mode = 0;
  // (sub-code, value) of every ID_ScreenStatus, and the ID_WriteEvent values.
  std::vector<std::pair<int, std::uint32_t>> history;
  std::vector<int> writeEvents;
};

struct Answer {
  std::optional<Bytes> reply;  // none for the restart command
  std::chrono::milliseconds cost{0};
  bool restart = false;  // the programmer drops off the bus and comes back in the new mode
};

class ProgrammerModel {
 public:
  explicit ProgrammerModel(Config config);

  Answer answer(const Bytes& request);

  const Config& config() const { return config_; }
  Persistent& persistent() { return persistent_; }
  const Persistent& persistent() const { return persistent_; }
  // A restart or power cycle: RAM is gone, flash and settings stay.
  void powerCycle();

  const ScreenRecord& screen() const { return screen_; }
  const TouchSensor& touchSensor() const { return sensor_; }
  // The serial number the programmer enumerates with in its current mode.
  std::string serialNumber() const;
  // The application version that runs (or would run) from the programmer flash; empty if none.
  std::string applicationVersion() const;

 private:
  Bytes reply(std::uint8_t id, std::uint8_t status = 0) const;
  void info(const Bytes& req, Bytes& out) const;
  void targetPower(const Bytes& req, Bytes& out);
  void screenStatus(const Bytes& req, Bytes& out);
  bool applicationCommand(const Bytes& req, Answer& a, Bytes& out);

  // Target programming (target_commands.cpp).
  void connect(const Bytes& req, Bytes& out);
  void eraseTarget(const Bytes& req, Bytes& out, Answer& a);
  void writeCache(const Bytes& req, Bytes& out);
  void burn(const Bytes& req, Bytes& out, Answer& a);
  void verify(const Bytes& req, Bytes& out);
  std::uint32_t unitFor(int mode) const;

  // The firmware store (store_commands.cpp).
  void store(const Bytes& req, Bytes& out, Answer& a);
  void storeList(const Bytes& req, Bytes& out) const;
  void storeInfo(const Bytes& req, Bytes& out);
  void storeCreate(const Bytes& req, Bytes& out);
  void storeSync(const Bytes& req, Bytes& out, Answer& a);
  void storeMeta(const Bytes& req, Bytes& out);
  void storeLimit(const Bytes& req, Bytes& out);
  StoredFirmware* findFirmware(const Bytes& req, std::size_t lengthAt, std::size_t* after = nullptr);

  // Touch debugging (touch_commands.cpp).
  void touch(const Bytes& req, Bytes& out);
  void touchValues(const Bytes& req, Bytes& out) const;

  // The bootloader's memory commands (boot_commands.cpp).
  void boot(const Bytes& req, Bytes& out, Answer& a);

  Config config_;
  Persistent persistent_;
  ScreenRecord screen_;
  bool connected_ = false;
  std::array<std::uint8_t, kCacheSize> cache_{};
  bool touchConnected_ = false;
  int statePolls_ = 0;
  TouchSensor sensor_;
};

// Little-endian stores into a reply frame; never past its end.
void put16(Bytes& f, std::size_t pos, std::uint16_t v);
void put32(Bytes& f, std::size_t pos, std::uint32_t v);

}  // namespace emulator::programmer
