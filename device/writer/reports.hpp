#pragma once
// The Writer's report protocol, byte by byte. Host reports carry the command in byte 1, the
// sub-command in byte 2, numbers big-endian, and the 8-bit sum of bytes 1..63 in byte 64. Images
// from an encrypted program file have bytes 1..64 of every report after the start report
// enciphered with the built-in TEA key, both ways.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/writer/job.hpp"
#include "device/writer/link.hpp"

namespace qx::writer {

inline constexpr std::size_t kPacketPayload = 60;
inline constexpr std::size_t kSumByte = 64;

// Commands and sub-commands (host to Writer).
inline constexpr std::uint8_t kCmdControl = 0x81;  // sub 1/0 start, 3 flash id, 4 check code
inline constexpr std::uint8_t kCmdChipInfo = 0xBB;
inline constexpr std::uint8_t kCmdLength32 = 0x91;  // family types 0x800 and 0x500
inline constexpr std::uint8_t kCmdLength16 = 0x8D;  // the other family types
inline constexpr std::uint8_t kCmdFileName = 0x9F;
inline constexpr std::uint8_t kSubStart = 1;
inline constexpr std::uint8_t kSubStartEncrypted = 0;
inline constexpr std::uint8_t kSubChipInfo = 9;
inline constexpr std::uint8_t kSubFlashId = 3;
inline constexpr std::uint8_t kSubCheckCode = 4;
inline constexpr std::uint8_t kSubLength = 5;
inline constexpr std::uint8_t kSubFileName = 8;

// Reply codes (Writer to host, byte 1).
inline constexpr std::uint8_t kReplyStatus = 0x00;  // offline status in byte 2
inline constexpr std::uint8_t kReplyAck = 0x80;
inline constexpr std::uint8_t kReplyStarted = 0x81;
inline constexpr std::uint8_t kReplyModelA = 0x89;
inline constexpr std::uint8_t kReplyModelB = 0x8A;
inline constexpr std::uint8_t kReplyFlashId = 0x83;
inline constexpr std::uint8_t kReplyCheckCode = 0x84;
inline constexpr std::uint8_t kReplyLength = 0x85;
inline constexpr std::uint8_t kReplyDone = 0x88;

std::uint8_t ReportSum(const Report& report);
// Writes the sum into byte 64.
void Seal(Report& report);
void PutBig16(Report& r, std::size_t at, std::uint32_t v);
void PutBig32(Report& r, std::size_t at, std::uint32_t v);
std::uint32_t Big16(std::span<const std::uint8_t> r, std::size_t at);
std::uint32_t Big32(std::span<const std::uint8_t> r, std::size_t at);

// Bytes 1..64 under the built-in key.
void EncipherReport(Report& report);
void DecipherReport(Report& report);

// Each host report, sealed but not enciphered.
Report StartReport(bool fromEncryptedFile);
Report ChipInfoReport(const DownloadJob& job);
Report ControlReport(std::uint8_t sub);
Report LengthReport(const DownloadJob& job);
// Packet `index`: 60 bytes from index × 60, or the rest when fewer remain.
Report DataPacket(const DownloadJob& job, std::uint32_t index);
Report FileNameReport(const DownloadJob& job);

// Received bytes of any length as a report: missing bytes are 0, extra ones dropped.
Report ReportFromBytes(std::span<const std::uint8_t> bytes);

}  // namespace qx::writer
