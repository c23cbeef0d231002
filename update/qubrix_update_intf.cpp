#include "update/qubrix_update_intf.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace update {
namespace {

constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint8_t kGet = 0x00;
constexpr std::uint8_t kGetId = 0x02;
constexpr std::uint8_t kReadMemory = 0x11;
constexpr std::uint8_t kGo = 0x21;
constexpr std::uint8_t kWriteMemory = 0x31;
constexpr int kSyncAttempts = 10;
constexpr int kAckAttempts = 20;
constexpr int kReadAttempts = 3;
constexpr int kAnswerAttempts = 20;
constexpr std::size_t kMaxBlock = 256;
constexpr std::size_t kVerifyLength = 16;

}  // namespace

QubrixUpdateIntf::QubrixUpdateIntf() : QubrixUpdateIntf(serialBootloaderLine()) {}

QubrixUpdateIntf::QubrixUpdateIntf(std::unique_ptr<BootloaderLine> line) : line_(std::move(line)) {}

bool QubrixUpdateIntf::send(const std::uint8_t* bytes, std::size_t n) { return line_->Write(bytes, n) == n; }

bool QubrixUpdateIntf::sendCommand(std::uint8_t code) {
  const std::uint8_t frame[2] = {code, static_cast<std::uint8_t>(~code)};
  return send(frame, 2);
}

bool QubrixUpdateIntf::sendAddress(std::uint32_t address) {
  std::uint8_t frame[5] = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0};
  frame[4] = frame[0] ^ frame[1] ^ frame[2] ^ frame[3];
  return send(frame, 5);
}

bool QubrixUpdateIntf::receive(std::uint8_t* out, std::size_t n, int attempts) {
  std::size_t got = 0;
  for (int i = 0; i < attempts && got < n; ++i) got += line_->Read(out + got, n - got);
  return got == n;
}

bool QubrixUpdateIntf::expectAck() {
  std::uint8_t answer = 0;
  return receive(&answer, 1, kAckAttempts) && answer == kAck;
}

int QubrixUpdateIntf::openBootloader(const std::string& portPath, std::uint32_t baud) {
  if (!opened_) {
    opened_ = true;
    if (!line_->Open(portPath, baud)) return kIntfPortNotOpened;
  }
  if (!line_->IsOpen()) return kIntfPortNotOpened;
  std::uint8_t answer = 0;
  bool answered = false;
  for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
    line_->Purge(isp::Queue::Input);
    if (!send(&kSync, 1)) continue;
    answered = receive(&answer, 1, kSyncAttempts);
  }
  // A bootloader synchronised by an earlier run takes a further 0x7F as an unknown command.
  if (!answered || (answer != kAck && answer != kNack)) return kIntfNoSync;

  std::uint8_t count = 0;
  std::uint8_t version = 0;
  std::array<std::uint8_t, 256> codes{};
  if (!sendCommand(kGet) || !expectAck() || !receive(&count, 1, kAnswerAttempts) ||
      !receive(&version, 1, kAnswerAttempts) || !receive(codes.data(), count, kAnswerAttempts) || !expectAck()) {
    return kIntfGetFailed;
  }
  const auto erase = std::find_if(codes.begin(), codes.begin() + count,
                                  [](std::uint8_t c) { return c == kEraseCommand || c == kExtendedEraseCommand; });
  if (erase != codes.begin() + count) eraseCommand_ = *erase;

  std::array<std::uint8_t, 257> id{};
  if (!sendCommand(kGetId) || !expectAck() || !receive(&count, 1, kAnswerAttempts) ||
      !receive(id.data(), count + 1u, kAnswerAttempts) || !expectAck()) {
    return kIntfGetIdFailed;
  }
  return kIntfOk;
}

int QubrixUpdateIntf::closePort() {
  if (opened_) line_->Close();
  return kIntfOk;
}

int QubrixUpdateIntf::writeBlock(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
  if (!opened_ || length == 0 || length > kMaxBlock) return kIntfWriteFailed;
  std::vector<std::uint8_t> frame;
  frame.reserve(length + 2);
  frame.push_back(static_cast<std::uint8_t>(length - 1));
  std::uint8_t checksum = frame.front();
  for (std::size_t i = 0; i < length; ++i) {
    frame.push_back(data[i]);
    checksum ^= data[i];
  }
  frame.push_back(checksum);
  const bool ok = sendCommand(kWriteMemory) && expectAck() && sendAddress(address) && expectAck() &&
                  send(frame.data(), frame.size()) && expectAck();
  return ok ? kIntfOk : kIntfWriteFailed;
}

int QubrixUpdateIntf::readBlock(std::uint32_t address, std::uint8_t* out, std::size_t length) {
  if (!opened_ || length == 0 || length > kMaxBlock) return kIntfReadFailed;
  const std::uint8_t n = static_cast<std::uint8_t>(length - 1);
  const std::uint8_t lengthFrame[2] = {n, static_cast<std::uint8_t>(~n)};
  const bool ok = sendCommand(kReadMemory) && expectAck() && sendAddress(address) && expectAck() &&
                  send(lengthFrame, 2) && expectAck() && receive(out, length, kReadAttempts);
  return ok ? kIntfOk : kIntfReadFailed;
}

bool QubrixUpdateIntf::eraseFrame(const std::uint8_t* data, std::size_t n) {
  if (!opened_ || eraseCommand_ == 0 || n == 0 || n > 255) return false;
  std::vector<std::uint8_t> frame(data, data + n);
  std::uint8_t checksum = n == 1 ? 0xFF : 0x00;
  for (std::uint8_t b : frame) checksum ^= b;
  frame.push_back(checksum);
  return sendCommand(eraseCommand_) && expectAck() && send(frame.data(), frame.size()) && expectAck();
}

int QubrixUpdateIntf::erasePages(std::uint8_t lead, const std::uint8_t* entries, std::size_t count, int failure) {
  if (count == 0 || count > 126) return failure;
  std::vector<std::uint8_t> block{lead, static_cast<std::uint8_t>(count - 1)};
  block.insert(block.end(), entries, entries + 2 * count);
  return eraseFrame(block.data(), block.size()) ? kIntfOk : failure;
}

int QubrixUpdateIntf::erasePagesA(const std::uint8_t* entries, std::size_t count) {
  return erasePages(0x10, entries, count, kIntfErasePagesAFailed);
}

int QubrixUpdateIntf::erasePagesB(const std::uint8_t* entries, std::size_t count) {
  return erasePages(0x20, entries, count, kIntfErasePagesBFailed);
}

int QubrixUpdateIntf::eraseAll() {
  const std::uint8_t global[2] = {0xFF, 0xFF};
  const std::size_t n = eraseCommand_ == kExtendedEraseCommand ? 2 : 1;
  return eraseFrame(global, n) ? kIntfOk : kIntfEraseAllFailed;
}

int QubrixUpdateIntf::goAddress(std::uint32_t address) {
  if (!opened_) return kIntfGoFailed;
  return sendCommand(kGo) && expectAck() && sendAddress(address) && expectAck() ? kIntfOk : kIntfGoFailed;
}

int QubrixUpdateIntf::writeVerify(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
  if (length != kVerifyLength) return kIntfWriteFailed;
  if (const int code = writeBlock(address, data, length); code != kIntfOk) return code;
  if (const int code = openBootloader({}, 0); code != kIntfOk) return code;
  std::array<std::uint8_t, kVerifyLength> back{};
  if (const int code = readBlock(address, back.data(), back.size()); code != kIntfOk) return code;
  return std::equal(back.begin(), back.end(), data) ? kIntfOk : kIntfVerifyDiffers;
}

}  // namespace update
