#include "isp/replies.hpp"

#include <stdexcept>

#include "base/strformat.hpp"

namespace isp {
namespace {

void requireSize(Bytes data, std::size_t size, const char* what) {
  if (data.size() != size) throw std::invalid_argument(std::string(what) + ": wrong data size");
}

Frame shortReply(std::uint8_t type, Bytes data) { return shortFrame(kReplyHeader, type, data); }
Frame longReply(std::uint8_t type, Bytes data) { return longFrame(kReplyHeader, type, data); }

// Readers take replies checked by ReplyReceiver; anything shorter is a caller's mistake.
void requireAtLeast(Bytes reply, std::size_t size) {
  if (reply.size() < size) throw std::invalid_argument("reply too short");
}

}  // namespace

Frame syncAnswerReply(std::uint8_t byte, bool withHeader) {
  Frame f;
  if (withHeader) f.push_back(kReplyHeader);
  f.push_back('O');
  f.push_back('K');
  f.push_back(byte);
  return f;
}

Frame baudAnswerReply(std::uint8_t status, std::uint8_t code) {
  const std::uint8_t d[] = {status, code};
  return shortReply(kReplyBaud, d);
}

Frame lineTestPattern() {
  Frame f(kLineTestLength);
  for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(i);
  return f;
}

Frame ackReply(std::uint8_t status, std::uint8_t extra) {
  const std::uint8_t d[] = {status, extra};
  return shortReply(kReplyAck, d);
}

Frame checksumReportReply(std::uint16_t sum, std::uint8_t extra) {
  const std::uint8_t d[] = {0x00, 0x43, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum), extra};
  return shortReply(kReplyData, d);
}

Frame readDataReply(std::uint8_t area, Bytes data128) {
  requireSize(data128, kShortBlockSize, "read data");
  Frame d{0x00, area, 0x80};
  d.insert(d.end(), data128.begin(), data128.end());
  return shortReply(kReplyData, d);
}

Frame downloaderReportReply(std::uint8_t type, std::uint8_t flag, std::uint8_t code, std::uint8_t unused) {
  const std::uint8_t d[] = {flag, unused, code};
  return shortReply(type, d);
}

Frame versionReply(std::uint16_t versionTimesTen) {
  Frame d;
  putBigEndian(d, versionTimesTen, 2);
  return shortReply(kReplyData, d);
}

Frame serialNumberReply(std::uint32_t serial) {
  Frame d;
  putBigEndian(d, serial, 4);
  return shortReply(kReplyData, d);
}

Frame longAckReply(std::uint8_t status) {
  const std::uint8_t d[] = {status};
  return longReply(kReplyAck, d);
}

Frame presenceReply(bool downloaderAnswered) { return shortReply(downloaderAnswered ? kReplyAck : kReplyBaud, {}); }

Frame longIdentificationReply(std::uint16_t modelId, std::string_view name11) {
  Frame d;
  putBigEndian(d, modelId, 2);
  for (std::size_t i = 0; i < 11; ++i) d.push_back(i < name11.size() ? static_cast<std::uint8_t>(name11[i]) : 0);
  return longReply(kReplyData, d);
}

Frame longChecksumReply(const std::array<std::uint8_t, 6>& range, std::uint32_t sum) {
  Frame d(range.begin(), range.end());
  putBigEndian(d, sum, 4);
  return longReply(kReplyLongChecksum, d);
}

Frame longReadDataReply(std::uint32_t address, Bytes data512) {
  requireSize(data512, kLongBlockSize, "long read data");
  if (address > 0xFFFFFF) throw std::invalid_argument("address does not fit in 3 bytes");
  Frame d;
  putBigEndian(d, address, 3);
  putBigEndian(d, kLongBlockSize, 2);
  d.insert(d.end(), data512.begin(), data512.end());
  return longReply(kReplyReadData, d);
}

SyncAnswer parseSyncAnswer(Bytes reply) {
  requireAtLeast(reply, 3);
  return {reply.back()};
}

BaudAnswer parseBaudAnswer(Bytes reply) {
  requireAtLeast(reply, 5);
  BaudAnswer a;
  a.status = reply[3];
  a.code = reply[4];
  a.rate = baudForCode(a.code);
  return a;
}

bool isLineTestPattern(Bytes reply) {
  if (reply.size() != kLineTestLength) return false;
  for (std::size_t i = 0; i < reply.size(); ++i) {
    if (reply[i] != i) return false;
  }
  return true;
}

std::uint8_t ackStatus(Bytes reply) {
  requireAtLeast(reply, 4);
  return reply[3];
}

std::uint8_t longAckStatus(Bytes reply) {
  requireAtLeast(reply, 5);
  return reply[4];
}

std::uint16_t checksumReportValue(Bytes reply) {
  requireAtLeast(reply, 7);
  return static_cast<std::uint16_t>(getBigEndian(reply.subspan(5, 2)));
}

ReadData parseReadData(Bytes reply) {
  requireAtLeast(reply, 6 + kShortBlockSize);
  return {reply[4], reply.subspan(6, kShortBlockSize)};
}

DownloaderReport parseDownloaderReport(Bytes reply) {
  requireAtLeast(reply, 6);
  return {reply[2], reply[3], reply[5]};
}

ProgrammerInfo parseProgrammerInfo(Bytes reply) {
  requireAtLeast(reply, 2);
  ProgrammerInfo info;
  if (reply[1] == 3 && reply.size() >= 5) info.version = static_cast<std::uint16_t>(getBigEndian(reply.subspan(3, 2)));
  if (reply[1] == 5 && reply.size() >= 7) info.serial = getBigEndian(reply.subspan(3, 4));
  return info;
}

std::string versionText(std::uint16_t versionTimesTen) { return base::format("v%.2f", versionTimesTen / 10.0); }

std::string serialText(std::uint32_t serial) { return base::format("SN: %.8x", serial); }

bool presenceIsDownloader(Bytes reply) {
  requireAtLeast(reply, 3);
  return reply[2] == kReplyAck;
}

LongIdentification parseLongIdentification(Bytes reply) {
  requireAtLeast(reply, 17);
  LongIdentification id;
  id.modelId = static_cast<std::uint16_t>(getBigEndian(reply.subspan(4, 2)));
  id.name.assign(reply.begin() + 6, reply.begin() + 17);
  return id;
}

LongChecksum parseLongChecksum(Bytes reply) {
  requireAtLeast(reply, 14);
  LongChecksum c;
  for (std::size_t i = 0; i < c.range.size(); ++i) c.range[i] = reply[4 + i];
  c.sum = getBigEndian(reply.subspan(10, 4));
  return c;
}

LongReadData parseLongReadData(Bytes reply) {
  requireAtLeast(reply, 9 + kLongBlockSize);
  return {getBigEndian(reply.subspan(4, 3)), reply.subspan(9, kLongBlockSize)};
}

bool checksumReportMatches(std::uint16_t reported, std::uint32_t imageChecksum, std::uint32_t length) {
  const std::uint32_t sum = imageChecksum - 2 * length - 1;
  return reported == static_cast<std::uint16_t>(sum);
}

}  // namespace isp
