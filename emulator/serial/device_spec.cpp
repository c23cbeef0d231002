#include "emulator/serial/device_spec.hpp"

#include <cstdlib>

namespace emulator::serial {
namespace {

std::optional<unsigned long> number(const std::string& text, unsigned long max) {
  if (text.empty()) return std::nullopt;
  std::string digits = text;
  unsigned long scale = 1;
  if (digits.back() == 'K' || digits.back() == 'k') {
    scale = 1024;
    digits.pop_back();
  }
  char* end = nullptr;
  const unsigned long v = std::strtoul(digits.c_str(), &end, 0);
  if (end == digits.c_str() || *end != '\0' || v > max / scale) return std::nullopt;
  return v * scale;
}

std::optional<std::uint16_t> familyCode(const std::string& text) {
  static const struct {
    const char* name;
    std::uint16_t value;
  } kFamilies[] = {{"K7A0", 0x000}, {"K7A1", 0x100}, {"T4N0", 0x200}, {"T4N1", 0x300}, {"T4N2", 0x400}, {"T4N3", 0x500}};
  for (const auto& f : kFamilies) {
    if (text == f.name) return f.value;
  }
  const auto v = number(text, 0x500);
  if (v && *v % 0x100 == 0) return static_cast<std::uint16_t>(*v);
  return std::nullopt;
}

bool applyStm32Fault(const std::string& name, std::optional<unsigned long> arg, Stm32Faults& f) {
  if (name == "silent" && !arg) {
    f.silent = true;
  } else if (name == "noise" && arg) {
    f.noiseBeforeSync = *arg;
  } else if (name == "nack" && arg && *arg <= 0xFF) {
    f.nackCommands.push_back(static_cast<std::uint8_t>(*arg));
  } else if (name == "drop" && arg && *arg >= 1) {
    f.dropByte = *arg;
  } else if (name == "unplug-after" && arg && *arg >= 1) {
    f.unplugAfterWrites = *arg;
  } else {
    return false;
  }
  return true;
}

bool applyTouchBoardFault(const std::string& name, std::optional<unsigned long> arg, TouchBoardFaults& f) {
  const bool count = arg && *arg >= 1;
  if (name == "no-ack" && !arg) {
    f.noAck = true;
  } else if (name == "chip-refused" && !arg) {
    f.chipRefused = true;
  } else if (name == "bad-checksum" && count) {
    f.badChecksumEvery = *arg;
  } else if (name == "noise" && count) {
    f.noiseEvery = *arg;
  } else if (name == "oversize" && count) {
    f.oversizeEvery = *arg;
  } else if (name == "unplug-after" && count) {
    f.unplugAfterFrames = *arg;
  } else if (name == "unplug-after-s" && count) {
    f.unplugAfterSeconds = *arg;
  } else {
    return false;
  }
  return true;
}

// One fault word into whichever device takes it; false when no device of this kind knows it.
bool applyFault(const std::string& fault, DeviceSpec& s) {
  const std::size_t colon = fault.find(':');
  const std::string name = fault.substr(0, colon);
  const std::optional<unsigned long> parsed =
      colon == std::string::npos ? std::nullopt : number(fault.substr(colon + 1), 0xFFFFFFFF);
  if (s.kind == DeviceKind::Stm32Boot) return applyStm32Fault(name, parsed, s.stm32Faults);
  if (s.kind == DeviceKind::TouchBoard) return applyTouchBoardFault(name, parsed, s.touchBoardFaults);
  const bool hasArg = parsed.has_value();
  const unsigned long arg = parsed.value_or(0);
  const auto on = [](bool& flag) {
    flag = true;
    return true;
  };
  const bool chip = s.kind == DeviceKind::Bootloader;
  const bool chip32 = s.kind == DeviceKind::Bootloader32 || s.kind == DeviceKind::Downloader32;
  const bool tool = s.kind == DeviceKind::Downloader || s.kind == DeviceKind::Downloader32;
  auto& c = s.chipFaults;
  auto& l = s.chip32Faults;
  auto& d = s.downloaderFaults;
  auto& r = s.replyFaults;
  const bool shortFrames = chip || s.kind == DeviceKind::Downloader;
  if (hasArg && arg >= 1) {
    for (auto [word, field] : {std::pair{"noise-at", &r.noiseAt}, std::pair{"bad-checksum", &r.badChecksumAt},
                               std::pair{"drop-reply", &r.droppedAt}, std::pair{"duplicate-ack", &r.duplicatedAt},
                               std::pair{"late-ack", &r.lateAt}}) {
      if (name == word) {
        *field = arg;
        return true;
      }
    }
  }
  NakFaults& nak = chip ? c.nak : s.kind == DeviceKind::Downloader ? d.nak : l.nak;
  if (name == "nak-erase") return on(nak.erase);
  if (name == "nak-loader" && hasArg && shortFrames) {
    nak.loaderBlock = static_cast<std::uint32_t>(arg);
    return true;
  }
  if (name == "nak-erase-page" && shortFrames) return on(nak.erasePage);
  if (name == "nak-run" && shortFrames) return on(nak.run);
  if (name == "sync-header" && shortFrames) return on(chip ? s.chip.syncWithHeader : s.downloader.syncWithHeader);
  if (name == "silent") {
    // Through a silent tool nothing of its 32-bit target is heard either.
    if (s.kind == DeviceKind::Downloader32) l.silent = true;
    return on(chip ? c.silent : tool ? d.silent : l.silent);
  }
  if (name == "noise" && hasArg) {
    (chip ? c.noiseBeforeSync : s.kind == DeviceKind::Downloader ? d.noiseBeforeSync : l.noiseBeforeSync) = arg;
    return true;
  }
  if (name == "nak-block" && hasArg) {
    (chip ? c.nakBlock : s.kind == DeviceKind::Downloader ? d.nakBlock : l.nakBlock) = static_cast<std::uint32_t>(arg);
    return true;
  }
  if (name == "unplug-after" && hasArg) {
    (chip ? c.unplugAfterRequests : tool ? d.unplugAfterRequests : l.unplugAfterRequests) = arg;
    return true;
  }
  if (name == "corrupt" && hasArg && (chip || chip32)) {
    (chip ? c.corruptAfterProgramming : l.corruptAfterProgramming) = arg;
    return true;
  }
  if (name == "refuse-baud" && !chip32) return on(chip ? c.refuseBaud : d.refuseBaud);
  if (name == "line-test" && hasArg && !chip32) {
    (chip ? c.lineTestWrongByte : d.lineTestWrongByte) = arg;
    return true;
  }
  if (name == "model-mismatch" && chip) return on(c.modelMismatch);
  if (name == "stray-byte" && hasArg && chip) {
    c.strayByteBeforeReply = arg;
    return true;
  }
  if (name == "answer-every-sync" && chip) return on(c.answerEverySync);
  if (name == "mute-after" && hasArg && chip) {
    c.muteAfterRequests = arg;
    return true;
  }
  if (!tool) return false;
  if (name == "model-mismatch") return on(d.targetModelMismatch);
  if (name == "no-target") return on(d.targetAbsent);
  if (name == "write-error") return on(d.writeError);
  if (name == "power-not-off") return on(d.powerNotOff);
  if (name == "power-on") return on(d.askPowerOn);
  if (name == "limit") return on(d.limitReached);
  if (name == "tool-id") return on(d.wrongToolId);
  if (name == "limit-writing") return on(d.limitWhileWriting);
  if (name == "tool-id-writing") return on(d.toolIdWhileWriting);
  if (name == "verify-mismatch") return on(d.verifyMismatch);
  if (name == "power-cycle-fails") return on(d.powerCycleFails);
  return false;
}

std::unique_ptr<SerialDevice> plainDevice(const DeviceSpec& s) {
  switch (s.kind) {
    case DeviceKind::Bootloader: return std::make_unique<ChipBootloader>(s.chip, s.chipFaults);
    case DeviceKind::Bootloader32: return std::make_unique<Chip32Bootloader>(s.chip32, s.chip32Faults);
    case DeviceKind::Downloader:
    case DeviceKind::Downloader32: {
      auto d = std::make_unique<SerialDownloader>(s.downloader, s.downloaderFaults);
      d->chip32().faults() = s.chip32Faults;
      return d;
    }
    case DeviceKind::Echo: return std::make_unique<EchoDevice>();
    case DeviceKind::Stream: return std::make_unique<StreamDevice>(s.streamRate);
    case DeviceKind::Stm32Boot: return std::make_unique<Stm32Bootloader>(s.stm32, s.stm32Faults);
    case DeviceKind::TouchBoard: return std::make_unique<TouchBoard>(s.touchBoard, s.touchBoardFaults);
  }
  return nullptr;
}

}  // namespace

std::optional<DeviceSpec> parseDeviceSpec(const std::vector<std::string>& words, std::string& error) {
  if (words.empty()) {
    error = "no device named";
    return std::nullopt;
  }
  DeviceSpec s;
  const std::string& kind = words[0];
  if (kind == "bootloader") {
    s.kind = DeviceKind::Bootloader;
  } else if (kind == "bootloader32") {
    s.kind = DeviceKind::Bootloader32;
  } else if (kind == "downloader") {
    s.kind = DeviceKind::Downloader;
  } else if (kind == "echo") {
    s.kind = DeviceKind::Echo;
  } else if (kind == "stream") {
    s.kind = DeviceKind::Stream;
  } else if (kind == "downloader32") {
    s.kind = DeviceKind::Downloader32;
    s.downloader.target32 = true;
  } else if (kind == "stm32boot") {
    s.kind = DeviceKind::Stm32Boot;
  } else if (kind == "touchboard") {
    s.kind = DeviceKind::TouchBoard;
  } else {
    error = "unknown device '" + kind + "'";
    return std::nullopt;
  }
  const bool long32 = s.kind == DeviceKind::Bootloader32 || s.kind == DeviceKind::Downloader32;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    const std::size_t eq = w.find('=');
    const std::string key = w.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : w.substr(eq + 1);
    bool ok = true;
    if (s.kind == DeviceKind::Stm32Boot && key == "flash") {
      const auto v = number(value, 1 << 20);
      ok = v && *v >= 4096 && *v % s.stm32.pageSize == 0;
      if (ok) s.stm32.flashSize = *v;
    } else if (s.kind == DeviceKind::Stm32Boot && key == "erase") {
      ok = value == "0x43" || value == "0x44";
      if (ok) s.stm32.eraseCommand = value == "0x43" ? 0x43 : 0x44;
    } else if (s.kind == DeviceKind::TouchBoard && key == "channels") {
      // Up to 82 channels fit one value frame (LEN at most 250).
      const auto v = number(value, 82);
      ok = v && *v >= 1;
      if (ok) s.touchBoard.channels = static_cast<int>(*v);
    } else if (s.kind == DeviceKind::TouchBoard && key == "period") {
      const auto v = number(value, 10000);
      ok = v.has_value();
      if (ok) s.touchBoard.period = Micros{static_cast<long long>(*v) * 1000};
    } else if ((s.kind == DeviceKind::Stm32Boot || s.kind == DeviceKind::TouchBoard) && key != "fault") {
      ok = false;
    } else if (key == "family" && !long32) {
      const auto f = familyCode(value);
      ok = f.has_value();
      if (ok) s.chip.familyType = *f;
    } else if (key == "model") {
      const auto v = number(value, 0xFFFF);
      ok = v.has_value();
      if (ok) (long32 ? s.chip32.modelId : s.chip.modelId) = static_cast<std::uint16_t>(*v);
    } else if (key == "flash") {
      const auto v = number(value, 1 << 20);
      ok = v && *v >= 1024 && *v % 1024 == 0;
      if (ok) (long32 ? s.chip32.flashSize : s.chip.flashSize) = *v;
    } else if (key == "name" && long32) {
      ok = !value.empty() && value.size() <= 11;
      s.chip32.name = value;
    } else if (key == "sync" && s.kind == DeviceKind::Bootloader) {
      const auto v = number(value, 0xFE);
      ok = v.has_value();
      if (ok) s.chip.syncByte = static_cast<std::uint8_t>(*v);
    } else if (key == "baud" && s.kind == DeviceKind::Bootloader) {
      const auto v = number(value, 12);
      ok = v && *v >= 1;
      if (ok) s.chip.preferredBaudCode = static_cast<std::uint8_t>(*v);
    } else if (key == "version" && (s.kind == DeviceKind::Downloader || s.kind == DeviceKind::Downloader32)) {
      const auto v = number(value, 0xFFFF);
      ok = v.has_value();
      if (ok) s.downloader.version = static_cast<std::uint16_t>(*v);
    } else if (key == "toolid" && (s.kind == DeviceKind::Downloader || s.kind == DeviceKind::Downloader32)) {
      const auto v = number(value, 0xFFFFFFFF);
      ok = v.has_value();
      if (ok) s.downloader.toolId = static_cast<std::uint32_t>(*v);
    } else if (key == "rate" && s.kind == DeviceKind::Stream) {
      const auto v = number(value, 10'000'000);
      ok = v && *v >= 1;
      if (ok) s.streamRate = static_cast<std::uint32_t>(*v);
    } else if (key == "fault" && s.kind != DeviceKind::Echo && s.kind != DeviceKind::Stream) {
      ok = applyFault(value, s);
    } else {
      ok = false;
    }
    if (!ok) {
      error = "'" + w + "' does not fit a " + kind;
      return std::nullopt;
    }
  }
  s.downloader.chip = s.chip;
  s.downloader.chip32 = s.chip32;
  return s;
}

std::unique_ptr<SerialDevice> makeDevice(const DeviceSpec& s) {
  auto device = plainDevice(s);
  if (!s.replyFaults.any()) return device;
  return std::make_unique<FaultyReplies>(std::move(device), s.replyFaults);
}

std::string deviceSpecHelp() {
  return "devices:\n"
         "  bootloader   [family=K7A0|K7A1|T4N0|T4N1|T4N2|T4N3] [model=0x5812] [flash=16K] [sync=0x5A] [baud=CODE]\n"
         "  bootloader32 [model=0x3201] [name=QX32F128] [flash=128K]\n"
         "  downloader   [family=...] [model=...] [flash=...] [version=516] [toolid=0x12345]\n"
         "  downloader32 [model=0x3201] [name=QX32F128] [version=516]\n"
         "  echo         answers every byte it receives with itself\n"
         "  stream       [rate=BYTES_PER_S] sends a counting pattern 00 01 .. FF 00 .. (default: line speed)\n"
         "  stm32boot    [flash=128K] [erase=0x43|0x44]   (faults: silent, noise:N, nack:CODE, drop:N,\n"
         "               unplug-after:N = the cable goes during the N-th Write Memory)\n"
         "  touchboard   [channels=12] [period=MS, 50; 0 = line speed] the touch debugging board at 1200/115200\n"
         "               (faults: no-ack, chip-refused, bad-checksum:N, noise:N, oversize:N = every N-th\n"
         "               data frame; unplug-after:N frames, unplug-after-s:S seconds of streaming)\n"
         "faults (fault=NAME, repeatable): silent, noise:N, nak-block:N, refuse-baud, line-test:I,\n"
         "  model-mismatch, unplug-after:N, corrupt:OFFSET, stray-byte:N, answer-every-sync, mute-after:N,\n"
         "  no-target, write-error, power-not-off, power-on, limit, tool-id, limit-writing, tool-id-writing,\n"
         "  verify-mismatch, power-cycle-fails,\n"
         "  on the reply to the N-th request after the synchronisation (any ISP device): noise-at:N,\n"
         "  bad-checksum:N, drop-reply:N (acted, reply lost), duplicate-ack:N, late-ack:N (1.5 s late),\n"
         "  refused once: nak-erase (any ISP device; EraseApplication on the 32-bit), nak-loader:N,\n"
         "  nak-erase-page, nak-run (short frames), sync-header: answer the sync as AA \"OK\" x\n";
}

}  // namespace emulator::serial
