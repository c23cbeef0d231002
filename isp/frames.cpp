#include "isp/frames.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace isp {
namespace {

constexpr std::uint32_t kBaudRates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400,
                                        57600, 115200, 256000, 460800, 921600, 1000000};

void requireFits(std::uint64_t value, int bytes, const char* what) {
  if (bytes < 4 && value >> (8 * bytes) != 0) {
    throw std::invalid_argument(std::string(what) + " does not fit in " + std::to_string(bytes) + " bytes");
  }
  if (value > 0xFFFFFFFFu) throw std::invalid_argument(std::string(what) + " does not fit in 4 bytes");
}

void requireSize(Bytes data, std::size_t size, const char* what) {
  if (data.size() != size) {
    throw std::invalid_argument(std::string(what) + " needs " + std::to_string(size) + " bytes, got " +
                                std::to_string(data.size()));
  }
}

void putName(Frame& out, std::string_view name) {
  const std::size_t n = std::min(name.size(), kInternalNameSize);
  out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), kInternalNameSize - n, 0);
}

void putAddress(Frame& out, std::uint64_t address, int bytes) {
  requireFits(address, bytes, "address");
  putBigEndian(out, static_cast<std::uint32_t>(address), bytes);
}

}  // namespace

std::optional<std::uint32_t> baudForCode(unsigned code) {
  if (code >= std::size(kBaudRates)) return std::nullopt;
  return kBaudRates[code];
}

std::optional<std::uint8_t> codeForBaud(std::uint32_t baud) {
  for (std::size_t i = 0; i < std::size(kBaudRates); ++i) {
    if (kBaudRates[i] == baud) return static_cast<std::uint8_t>(i);
  }
  return std::nullopt;
}

std::uint8_t frameChecksum(Bytes frame) {
  std::uint8_t x = 0;
  for (std::size_t i = 1; i + 1 < frame.size(); ++i) x ^= frame[i];
  return x;
}

bool checksumMatches(Bytes frame) { return frame.size() >= 3 && frameChecksum(frame) == frame.back(); }

void putBigEndian(Frame& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t getBigEndian(Bytes bytes) {
  std::uint32_t v = 0;
  for (std::uint8_t b : bytes) v = (v << 8) | b;
  return v;
}

Frame shortFrame(std::uint8_t header, std::uint8_t cmd, Bytes data) {
  requireFits(data.size() + 1, 1, "short frame length");
  Frame f;
  f.reserve(data.size() + 4);
  f.push_back(header);
  f.push_back(static_cast<std::uint8_t>(data.size() + 1));
  f.push_back(cmd);
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(0);
  f.back() = frameChecksum(f);
  return f;
}

Frame longFrame(std::uint8_t header, std::uint8_t cmd, Bytes data) {
  requireFits(data.size() + 1, 2, "long frame length");
  Frame f;
  f.reserve(data.size() + 5);
  f.push_back(header);
  putBigEndian(f, static_cast<std::uint32_t>(data.size() + 1), 2);
  f.push_back(cmd);
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(0);
  f.back() = frameChecksum(f);
  return f;
}

Frame syncBytes(Dialect dialect) {
  if (dialect == Dialect::Long) return longSyncFrame();
  return {0xC1, 0x83, 0x07};
}

Frame setBaudFrame(std::uint8_t code) {
  const std::uint8_t d[] = {code};
  return shortRequest(kCmdSetBaud, d);
}

Frame confirmBaudFrame() { return shortRequest(kCmdConfirmBaud); }

Frame runFrame(bool afterXdataWrite) {
  const std::uint8_t d[] = {0x00, 0x80, static_cast<std::uint8_t>(afterXdataWrite ? 0x0B : 0x08)};
  return shortRequest(kCmdRun, d);
}

Frame programStartFrame(const ProgramStart& p) {
  const int lengthBytes = wideFields(p.familyType) ? 4 : 2;
  requireFits(p.dataLength, lengthBytes, "data length");
  Frame d;
  putBigEndian(d, p.modelId, 2);
  d.push_back(p.calibrateRc ? 1 : 0);
  putBigEndian(d, p.dataLength, lengthBytes);
  if (p.limits) {
    const ProgramLimits& l = *p.limits;
    if (l.writeLimitEnable) {
      d.push_back(0x55);
      putBigEndian(d, l.writeNumMax, 4);
    } else {
      d.insert(d.end(), 5, 0);
    }
    putBigEndian(d, l.writerIdLimitEnable ? l.writeIdNum : 0, 4);
    putBigEndian(d, l.encryptFileId, 4);
    d.insert(d.end(), l.text.begin(), l.text.end());
  }
  putName(d, p.internalName);
  return shortRequest(kCmdProgramStart, d);
}

Frame eraseFlashFrame(bool wholeChip, std::uint16_t blockCount) {
  const std::uint8_t d[] = {kAreaFlash, 0x45, static_cast<std::uint8_t>(wholeChip ? 1 : 0),
                            static_cast<std::uint8_t>(blockCount >> 8), static_cast<std::uint8_t>(blockCount)};
  return shortRequest(kCmdErase, d);
}

Frame eraseIfbFrame() {
  const std::uint8_t d[] = {kAreaIfb};
  return shortRequest(kCmdErase, d);
}

Frame eraseXdataFrame() {
  const std::uint8_t d[] = {kAreaXdata};
  return shortRequest(kCmdErase, d);
}

Frame writeBlockFrame(std::uint16_t familyType, std::uint8_t area, std::uint32_t block, Bytes data) {
  requireSize(data, kShortBlockSize, "WriteBlock");
  Frame d;
  d.push_back(area);
  putAddress(d, std::uint64_t{block} * kShortBlockSize, wideFields(familyType) ? 4 : 3);
  d.push_back(0x80);
  d.insert(d.end(), data.begin(), data.end());
  return shortRequest(kCmdWriteBlock, d);
}

Frame endFrame() { return shortRequest(kCmdEnd); }

Frame readBlockFrame(std::uint8_t area, std::uint32_t block) {
  Frame d;
  d.push_back(area);
  putAddress(d, std::uint64_t{block} * kShortBlockSize, 3);
  d.push_back(0x80);
  return shortRequest(kCmdRead, d);
}

Frame checksumRequestFrame(std::uint8_t kib) {
  const std::uint8_t d[] = {0x43, 0x00, 0x00, 0x00, kib};
  return shortRequest(kCmdRead, d);
}

Frame enableReadFrame() {
  const std::uint8_t d[] = {0xA5};
  return shortRequest(kCmdEnableRead, d);
}

Frame erasePageFrame(std::uint8_t area, std::uint32_t page) {
  Frame d;
  d.push_back(area);
  putAddress(d, std::uint64_t{page} * 1024, 3);
  return shortRequest(kCmdErasePage, d);
}

Frame toolVerifyFrame(const ToolVerify& v) {
  const int lengthBytes = wideFields(v.familyType) ? 4 : 2;
  requireFits(v.dataLength, lengthBytes, "data length");
  Frame d;
  putBigEndian(d, v.modelId, 2);
  putBigEndian(d, v.totalChecksum, 4);
  putBigEndian(d, v.dataLength, lengthBytes);
  putBigEndian(d, v.dataChecksum, 4);
  d.push_back(0x56);
  putName(d, v.internalName);
  return shortRequest(kCmdToolVerify, d);
}

Frame abortFrame() { return shortRequest(kCmdAbort); }
Frame powerCycleTargetFrame() { return shortRequest(kCmdPowerCycleTarget); }
Frame queryVersionFrame() { return shortRequest(kCmdQueryVersion); }

Frame longSyncFrame() { return longRequest(kCmdLongSync); }
Frame longReleaseFrame() { return longRequest(kCmdLongRelease); }
Frame longIdentifyFrame() { return longRequest(kCmdLongIdentify); }
Frame longEraseApplicationFrame() { return longRequest(kCmdLongEraseApplication); }

Frame longWriteBlockFrame(std::uint32_t address, Bytes data) {
  requireSize(data, kLongBlockSize, "long WriteBlock");
  Frame d;
  putAddress(d, address, 3);
  putBigEndian(d, kLongBlockSize, 2);
  d.insert(d.end(), data.begin(), data.end());
  return longRequest(kCmdLongWriteBlock, d);
}

Frame longVerifyRangeFrame(std::uint32_t start, std::uint32_t length) {
  Frame d;
  putAddress(d, start, 3);
  putAddress(d, length, 3);
  return longRequest(kCmdLongVerifyRange, d);
}

Frame longReadBlockFrame(std::uint32_t address) {
  Frame d;
  putAddress(d, address, 3);
  putBigEndian(d, kLongBlockSize, 2);
  return longRequest(kCmdLongReadBlock, d);
}

Frame longWriteModelInfoFrame(Bytes info16) {
  requireSize(info16, 16, "WriteModelInfo");
  return longRequest(kCmdLongWriteModelInfo, info16);
}

}  // namespace isp
