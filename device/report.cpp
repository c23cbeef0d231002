#include "device/report.hpp"

#include <algorithm>

#include "base/trace.hpp"
#include "device/exceptions.hpp"

namespace qx {
namespace {

// The key built into every QUBRIX Tool, in storage order.
constexpr std::uint8_t kTransportKeyBytes[16] = {0x5E, 0x21, 0xA7, 0x0C, 0x93, 0x4B, 0xD8, 0x66,
                                                 0x1F, 0xC2, 0x7A, 0x35, 0xE9, 0x80, 0x4D, 0xB4};
constexpr int kReadRetries = 2;

}  // namespace

const cipher::TeaKey& transportKey() {
  static const cipher::TeaKey key = cipher::teaKeyFromBytes(kTransportKeyBytes, cipher::WordOrder::LittleEndian);
  return key;
}

void encipherPayload(std::uint8_t* payload64, const cipher::TeaKey& key) {
  cipher::teaEncipher(payload64, kReportSize, key, cipher::WordOrder::LittleEndian);
}

void decipherPayload(std::uint8_t* payload64, const cipher::TeaKey& key) {
  cipher::teaDecipher(payload64, kReportSize, key, cipher::WordOrder::LittleEndian);
}

OutputReport encodeReport(const Bytes& payload, const cipher::TeaKey& key) {
  // A longer payload would be cut silently into a different command; no command sends one.
  if (payload.size() > kReportSize) throw DeviceException("payload exceeds one report");
  OutputReport report{};
  std::copy(payload.begin(), payload.end(), report.begin() + 1);
  encipherPayload(report.data() + 1, key);
  return report;
}

ReportTransport::ReportTransport() : key_(transportKey()) {}

bool ReportTransport::write(Bytes payload) {
  if (!isOpen()) return false;
  const OutputReport report = encodeReport(payload, key_);
  if (sendReport(report.data(), report.size()) == -1) throw DeviceException(lastError());
  return true;
}

Bytes ReportTransport::read(int timeoutMs) {
  if (!isOpen()) return {};
  Bytes buffer(kReportSize, 0);
  for (int retry = kReadRetries;; --retry) {
    const int n = receiveReport(buffer.data(), buffer.size(), timeoutMs);
    if (n == -1) throw DeviceException(lastError());
    if (n > 0) break;
    base::trace("read timeout, retry=%d.\n", retry);
    if (retry == 0) throw ReadTimeoutException();
  }
  // A short report is deciphered over the whole buffer all the same; its check then rejects it.
  decipherPayload(buffer.data(), key_);
  return buffer;
}

}  // namespace qx
