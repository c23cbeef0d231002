#pragma once
// The replies of the bootloaders and the QUBRIX Tool: builders (for the emulated devices) and
// readers of a complete reply (for the engine). A reply handed to a reader has passed ReplyReceiver,
// so its length, header and type are known to be right.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "isp/frames.hpp"

namespace isp {

inline constexpr std::uint8_t kReplyAck = 0x80;         // status byte, 0 = success
inline constexpr std::uint8_t kReplyBaud = 0x81;        // baud answer; downloader: target power still on
inline constexpr std::uint8_t kReplyData = 0x82;        // identification, read data, checksum, version, SN
inline constexpr std::uint8_t kReplyLongChecksum = 0x83;
inline constexpr std::uint8_t kReplyReadData = 0x84;
inline constexpr std::uint8_t kReplyProgress = 0x8C;
inline constexpr std::uint8_t kReplyVerify = 0x43;      // 'C', the downloader's verification report

// Acknowledgement statuses the engine tells apart.
inline constexpr std::uint8_t kStatusLimitReached = 0x11;
inline constexpr std::uint8_t kStatusWrongToolId = 0x22;

inline constexpr std::size_t kLineTestLength = 255;

// --- builders ---
// "OK" and one byte, with a leading 0xAA when `withHeader`; 0xFF as that byte marks the QUBRIX Tool.
Frame syncAnswerReply(std::uint8_t byte, bool withHeader = false);
inline constexpr std::uint8_t kSyncByteDownloader = 0xFF;
Frame baudAnswerReply(std::uint8_t status, std::uint8_t code);
Frame lineTestPattern();  // 00 01 02 ... FE
Frame ackReply(std::uint8_t status, std::uint8_t extra = 0);
Frame checksumReportReply(std::uint16_t sum, std::uint8_t extra = 0);
Frame readDataReply(std::uint8_t area, Bytes data128);
Frame downloaderReportReply(std::uint8_t type, std::uint8_t flag, std::uint8_t code, std::uint8_t unused = 0);
Frame versionReply(std::uint16_t versionTimesTen);
Frame serialNumberReply(std::uint32_t serial);
Frame longAckReply(std::uint8_t status);
// AA 01 80 81 when the downloader answered, AA 01 81 80 when the target's power is still on.
Frame presenceReply(bool downloaderAnswered);
Frame longIdentificationReply(std::uint16_t modelId, std::string_view name11);
Frame longChecksumReply(const std::array<std::uint8_t, 6>& range, std::uint32_t sum);
Frame longReadDataReply(std::uint32_t address, Bytes data512);

// --- readers ---
struct SyncAnswer {
  std::uint8_t byte = 0;  // the byte after "OK"
  bool downloader() const { return byte == kSyncByteDownloader; }
};
SyncAnswer parseSyncAnswer(Bytes reply);

// A SetBaud answer: accepted only with status 0 and a code that names a rate (codes above 12 do not).
struct BaudAnswer {
  std::uint8_t status = 0;
  std::uint8_t code = 0;
  std::optional<std::uint32_t> rate;
  bool accepted() const { return status == 0 && rate.has_value(); }
};
BaudAnswer parseBaudAnswer(Bytes reply);

bool isLineTestPattern(Bytes reply);
std::uint8_t ackStatus(Bytes reply);      // short acknowledgement AA 03 80 S x CHK
std::uint8_t longAckStatus(Bytes reply);  // long acknowledgement AA 00 02 80 S CHK
std::uint16_t checksumReportValue(Bytes reply);

struct ReadData {
  std::uint8_t area = 0;
  Bytes data;  // 128 bytes, a view into the reply
};
ReadData parseReadData(Bytes reply);

struct DownloaderReport {
  std::uint8_t type = 0;  // kReplyAck (status), kReplyProgress or kReplyVerify
  std::uint8_t flag = 0;  // 0 = success
  std::uint8_t code = 0;  // the step, or the percentage of a progress report
};
DownloaderReport parseDownloaderReport(Bytes reply);

// The answer to QueryVersion: a version (× 10) or a serial number.
struct ProgrammerInfo {
  std::optional<std::uint16_t> version;
  std::optional<std::uint32_t> serial;
};
ProgrammerInfo parseProgrammerInfo(Bytes reply);
std::string versionText(std::uint16_t versionTimesTen);  // "v51.60" for 516
std::string serialText(std::uint32_t serial);             // "SN: 0012abcd"

bool presenceIsDownloader(Bytes reply);  // false: the target board's power is not switched off

struct LongIdentification {
  std::uint16_t modelId = 0;
  std::string name;  // the 11 characters as sent
};
LongIdentification parseLongIdentification(Bytes reply);

struct LongChecksum {
  std::array<std::uint8_t, 6> range{};
  std::uint32_t sum = 0;  // bytes 10..13
};
LongChecksum parseLongChecksum(Bytes reply);

struct LongReadData {
  std::uint32_t address = 0;
  Bytes data;  // 512 bytes, a view into the reply
};
LongReadData parseLongReadData(Bytes reply);

// A short-frame checksum report C matches an image checksum (byte sum + 2 × length + 1) when
// C = (checksum − 2 × length − 1) mod 65536.
bool checksumReportMatches(std::uint16_t reported, std::uint32_t imageChecksum, std::uint32_t length);

}  // namespace isp
