#pragma once
// The frames of the serial bootloaders and of the QUBRIX Tool's serial downloader, without I/O.
// Requests are 0x55, LEN (1 byte in the short dialect, 2 in the long one), CMD, DATA, CHK; replies
// the same with 0xAA and TYPE. LEN counts CMD/TYPE and DATA; CHK is the XOR of everything between
// the header and itself. Numbers are big-endian. Builders that would have to cut a value down to fit
// its field throw std::invalid_argument instead of sending a wrong address or length.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "firmware/mcu.hpp"

namespace isp {

using Frame = std::vector<std::uint8_t>;
using Bytes = std::span<const std::uint8_t>;

enum class Dialect { Short, Long };

inline constexpr std::uint8_t kRequestHeader = 0x55;
inline constexpr std::uint8_t kReplyHeader = 0xAA;

// The 32-bit family speaks long frames.
inline constexpr Dialect dialectFor(std::uint16_t mcuTypeIndex) {
  return firmware::FamilyTypeOf(mcuTypeIndex) == firmware::kFamily32Bit ? Dialect::Long : Dialect::Short;
}
// Family T4N3 carries 4-byte addresses and data lengths where the others carry 2 or 3.
inline constexpr bool wideFields(std::uint16_t familyType) { return familyType == firmware::kFamilyT4N3; }

// Memory areas (the serial programming type).
inline constexpr std::uint8_t kAreaFlash = 0x28;
inline constexpr std::uint8_t kAreaIfb = 0x2B;
inline constexpr std::uint8_t kAreaXdata = 0x04;

inline constexpr std::size_t kShortBlockSize = 128;
inline constexpr std::size_t kLongBlockSize = 512;
inline constexpr std::size_t kInternalNameSize = 12;

// Baud codes of SetBaud and its answer: 0 = 600, 1 = 1200 ... 12 = 1000000. Others have no rate.
std::optional<std::uint32_t> baudForCode(unsigned code);
std::optional<std::uint8_t> codeForBaud(std::uint32_t baud);
inline constexpr std::uint8_t kBaudCodeTool = 10;  // what SetBaud asks of the QUBRIX Tool (460800)

// XOR of frame[1 .. size-2]; the value the last byte must hold.
std::uint8_t frameChecksum(Bytes frame);
bool checksumMatches(Bytes frame);

// Generic frames. Short frames hold at most 255 bytes of CMD + DATA, long ones 65535.
Frame shortFrame(std::uint8_t header, std::uint8_t cmd, Bytes data = {});
Frame longFrame(std::uint8_t header, std::uint8_t cmd, Bytes data = {});
inline Frame shortRequest(std::uint8_t cmd, Bytes data = {}) { return shortFrame(kRequestHeader, cmd, data); }
inline Frame longRequest(std::uint8_t cmd, Bytes data = {}) { return longFrame(kRequestHeader, cmd, data); }

// What is sent raw every 16 ms until the first answer: C1 83 07, or the long Sync frame.
Frame syncBytes(Dialect dialect);

// --- short-frame requests ---
inline constexpr std::uint8_t kCmdSetBaud = 0x01;
inline constexpr std::uint8_t kCmdConfirmBaud = 0x02;
inline constexpr std::uint8_t kCmdRun = 0x03;
inline constexpr std::uint8_t kCmdProgramStart = 0x04;
inline constexpr std::uint8_t kCmdErase = 0x05;
inline constexpr std::uint8_t kCmdWriteBlock = 0x06;
inline constexpr std::uint8_t kCmdEnd = 0x07;
inline constexpr std::uint8_t kCmdRead = 0x08;  // ReadBlock and ChecksumRequest
inline constexpr std::uint8_t kCmdEnableRead = 0x09;
inline constexpr std::uint8_t kCmdErasePage = 0x0A;
inline constexpr std::uint8_t kCmdToolVerify = 0x0F;
inline constexpr std::uint8_t kCmdAbort = 0x10;
inline constexpr std::uint8_t kCmdPowerCycleTarget = 0x22;
inline constexpr std::uint8_t kCmdQueryVersion = 0x44;
// long frames (family type 0x800)
inline constexpr std::uint8_t kCmdLongSync = 0x01;
inline constexpr std::uint8_t kCmdLongRelease = 0x02;
inline constexpr std::uint8_t kCmdLongIdentify = 0x03;
inline constexpr std::uint8_t kCmdLongEraseApplication = 0x05;
inline constexpr std::uint8_t kCmdLongWriteBlock = 0x06;
inline constexpr std::uint8_t kCmdLongVerifyRange = 0x07;
inline constexpr std::uint8_t kCmdLongReadBlock = 0x08;
inline constexpr std::uint8_t kCmdLongWriteModelInfo = 0x0A;

Frame setBaudFrame(std::uint8_t code);
Frame confirmBaudFrame();
// Jumps to the loaded code: 00 80 08, or 00 80 0B after an XDATA write.
Frame runFrame(bool afterXdataWrite = false);

// The limit fields of an encrypted program or production file.
struct ProgramLimits {
  bool writeLimitEnable = false;  // write_limit_num_enable
  std::uint32_t writeNumMax = 0;  // write_num_max
  bool writerIdLimitEnable = false;  // writer_ID_limit_enable
  std::uint32_t writeIdNum = 0;   // write_id_num
  std::uint32_t encryptFileId = 0;  // encrypt_file_id
  std::array<std::uint8_t, 16> text{};  // the production header's 16-byte text field
};

struct ProgramStart {
  std::uint16_t familyType = 0;  // 0x000..0x500
  std::uint16_t modelId = 0;
  bool calibrateRc = true;
  std::uint32_t dataLength = 0;  // 2 bytes on the wire, 4 for family 0x500
  std::optional<ProgramLimits> limits;
  std::string_view internalName;  // 12 bytes on the wire, zero-padded
};
// LEN 0x12 / 0x2F (with limits), 0x14 / 0x31 for family 0x500.
Frame programStartFrame(const ProgramStart& p);

// Erase: FLASH with the whole-chip flag and the number of 128-byte blocks to be written; IFB; XDATA.
Frame eraseFlashFrame(bool wholeChip, std::uint16_t blockCount);
Frame eraseIfbFrame();
Frame eraseXdataFrame();

// 128 data bytes at block × 128: 137 bytes, or 138 with the 4-byte address of family 0x500.
Frame writeBlockFrame(std::uint16_t familyType, std::uint8_t area, std::uint32_t block, Bytes data);
Frame endFrame();
Frame readBlockFrame(std::uint8_t area, std::uint32_t block);
// K = size of the checked area in KiB.
Frame checksumRequestFrame(std::uint8_t kib);
Frame enableReadFrame();
// A page is 8 blocks; its byte address (page × 1024) goes out as three bytes, which for the pages of
// a 64 KiB chip is 00 P 00 with P the low byte of page × 4.
Frame erasePageFrame(std::uint8_t area, std::uint32_t page);

struct ToolVerify {
  std::uint16_t familyType = 0;
  std::uint16_t modelId = 0;
  std::uint32_t totalChecksum = 0;
  std::uint32_t dataLength = 0;  // 2 bytes, 4 for family 0x500
  std::uint32_t dataChecksum = 0;
  std::string_view internalName;
};
// LEN 0x1A, 0x1C for family 0x500.
Frame toolVerifyFrame(const ToolVerify& v);
Frame abortFrame();
Frame powerCycleTargetFrame();
Frame queryVersionFrame();

// --- long-frame requests (family type 0x800) ---
Frame longSyncFrame();
Frame longReleaseFrame();
Frame longIdentifyFrame();
Frame longEraseApplicationFrame();
// 512 data bytes at a 24-bit address: 522 bytes.
Frame longWriteBlockFrame(std::uint32_t address, Bytes data);
Frame longVerifyRangeFrame(std::uint32_t start, std::uint32_t length);
Frame longReadBlockFrame(std::uint32_t address);
Frame longWriteModelInfoFrame(Bytes info16);

// Big-endian helpers shared with the reply side.
void putBigEndian(Frame& out, std::uint32_t value, int bytes);
std::uint32_t getBigEndian(Bytes bytes);

}  // namespace isp
