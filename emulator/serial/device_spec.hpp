#pragma once
// A device chosen by words, for the qubrix-emulator program and for tests:
//   bootloader [family=K7A0..T4N3] [model=0x5812] [flash=16K] [sync=0x5A] [baud=CODE] [fault=...]
//   bootloader32 [model=0x3201] [name=QX32F128] [fault=...]
//   downloader [family=...] [model=...] [flash=...] [version=516] [toolid=0x12345] [fault=...]
//   downloader32 [model=...] [name=...] [version=...] [fault=...]
//   echo                      answers every byte with itself
//   stream [rate=BYTES_PER_S] sends a counting pattern (default: as fast as the line goes)
//   stm32boot [flash=128K] [erase=0x43|0x44] [fault=silent|noise:N|nack:CODE|drop:N|unplug-after:N]
//   touchboard [channels=12] [period=MS] [fault=no-ack|chip-refused|bad-checksum:N|noise:N|oversize:N|
//              unplug-after:N|unplug-after-s:S]
// Faults (repeatable): silent, noise:N, nak-block:N, refuse-baud, line-test:I, model-mismatch,
// unplug-after:N, corrupt:OFFSET, stray-byte:N, answer-every-sync, mute-after:N, no-target, write-error, power-not-off, power-on, limit, tool-id,
// limit-writing, tool-id-writing, verify-mismatch, power-cycle-fails; on the reply to the N-th
// request: noise-at:N, bad-checksum:N, drop-reply:N, duplicate-ack:N, late-ack:N; refused once:
// nak-erase, nak-loader:N, nak-erase-page, nak-run; sync-header (the AA "OK" x answer).
// The reply faults wrap the device in a FaultyReplies.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/serial/chip32_bootloader.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/device.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/reply_faults.hpp"
#include "emulator/serial/stm32_bootloader.hpp"
#include "emulator/serial/terminal_devices.hpp"
#include "emulator/serial/touch_board.hpp"

namespace emulator::serial {

enum class DeviceKind { Bootloader, Bootloader32, Downloader, Downloader32, Stm32Boot, Echo, Stream, TouchBoard };

struct DeviceSpec {
  DeviceKind kind = DeviceKind::Bootloader;
  ChipConfig chip;
  ChipFaults chipFaults;
  Chip32Config chip32;
  Chip32Faults chip32Faults;
  DownloaderConfig downloader;
  DownloaderFaults downloaderFaults;
  std::uint32_t streamRate = 0;  // bytes per second; 0: the line's speed
  Stm32Config stm32;
  Stm32Faults stm32Faults;
  TouchBoardConfig touchBoard;
  TouchBoardFaults touchBoardFaults;
  ReplyFaults replyFaults;
};

// Nothing and a reason for words that name no device or a value that does not fit.
std::optional<DeviceSpec> parseDeviceSpec(const std::vector<std::string>& words, std::string& error);
std::unique_ptr<SerialDevice> makeDevice(const DeviceSpec& spec);
std::string deviceSpecHelp();

}  // namespace emulator::serial
