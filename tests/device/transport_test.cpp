// The report framing and the read rule, on a scripted backend that shows the raw reports.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "base/trace.hpp"
#include "device/exceptions.hpp"
#include "device/report.hpp"

namespace {

// The published TEA over little-endian words with the transport key, written out independently.
void referenceEncipher(std::uint8_t* block) {
  const std::uint8_t keyBytes[16] = {0x5E, 0x21, 0xA7, 0x0C, 0x93, 0x4B, 0xD8, 0x66,
                                     0x1F, 0xC2, 0x7A, 0x35, 0xE9, 0x80, 0x4D, 0xB4};
  auto word = [](const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  };
  const std::uint32_t k0 = word(keyBytes), k1 = word(keyBytes + 4), k2 = word(keyBytes + 8), k3 = word(keyBytes + 12);
  std::uint32_t y = word(block), z = word(block + 4), sum = 0;
  for (int i = 0; i < 32; ++i) {
    sum += 0x9E3779B9;
    y += ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
    z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
  }
  for (int i = 0; i < 4; ++i) {
    block[i] = static_cast<std::uint8_t>(y >> (8 * i));
    block[4 + i] = static_cast<std::uint8_t>(z >> (8 * i));
  }
}

std::vector<std::uint8_t> referenceReport(std::vector<std::uint8_t> payload) {
  payload.resize(64, 0);
  for (std::size_t b = 0; b < 64; b += 8) referenceEncipher(payload.data() + b);
  payload.insert(payload.begin(), 0x00);
  return payload;
}

class ScriptedTransport final : public qx::ReportTransport {
 public:
  struct Read {
    int result;                       // -1, 0 or a count
    std::vector<std::uint8_t> bytes;  // delivered (already enciphered)
  };
  bool open() override { return open_ = true; }
  bool isOpen() const override { return open_; }
  void close() override { open_ = false; }

  std::vector<std::vector<std::uint8_t>> sent;
  std::deque<Read> reads;
  std::vector<int> timeouts;
  int writeResult = 65;

 protected:
  int sendReport(const std::uint8_t* report, std::size_t length) override {
    sent.emplace_back(report, report + length);
    return writeResult;
  }
  int receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) override {
    timeouts.push_back(timeoutMs);
    if (reads.empty()) return 0;
    Read r = reads.front();
    reads.pop_front();
    // Like hidraw, only the bytes received land in the buffer.
    const std::size_t received = r.result > 0 ? static_cast<std::size_t>(r.result) : 0;
    std::copy_n(r.bytes.begin(), std::min({length, r.bytes.size(), received}), buffer);
    return r.result;
  }
  std::string lastError() const override { return "device gone"; }

 private:
  bool open_ = false;
};

TEST(Framing, PayloadsArePaddedToOneReportAndEncipheredWhole) {
  ScriptedTransport t;
  t.open();
  std::vector<std::uint8_t> full(64);
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i * 3 + 1);
  ASSERT_TRUE(t.write({0x42}));
  ASSERT_TRUE(t.write(full));
  ASSERT_EQ(t.sent.size(), 2u);
  EXPECT_EQ(t.sent[0], referenceReport({0x42}));
  EXPECT_EQ(t.sent[1], referenceReport(full));
  EXPECT_THROW(t.write(std::vector<std::uint8_t>(65, 1)), qx::DeviceException);
}

TEST(Framing, ReadDeciphersAllBytesEvenOfAShortReport) {
  ScriptedTransport t;
  t.open();
  std::vector<std::uint8_t> reply = referenceReport({0x08, 0x00, 0x11, 0x22});
  reply.erase(reply.begin());
  t.reads.push_back({64, reply});
  EXPECT_EQ(t.read(100), (qx::Bytes{0x08, 0x00, 0x11, 0x22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Only 8 bytes arrive: the first block deciphers right, the zeros after it decipher to noise.
  t.reads.push_back({8, reply});
  const qx::Bytes shortOne = t.read(100);
  ASSERT_EQ(shortOne.size(), 64u);
  EXPECT_EQ(shortOne[0], 0x08);
  EXPECT_EQ(shortOne[2], 0x11);
  qx::Bytes zeros(64, 0);
  qx::decipherPayload(zeros.data(), qx::transportKey());
  EXPECT_TRUE(std::equal(shortOne.begin() + 8, shortOne.end(), zeros.begin() + 8));
}

TEST(Framing, SilenceRaisesAfterThreeTimeOutsTracingTheRetries) {
  ScriptedTransport t;
  t.open();
  std::vector<std::string> traces;
  base::setTraceListener([&](std::string_view line) { traces.emplace_back(line); });
  try {
    t.read(100);
    ADD_FAILURE() << "no exception";
  } catch (const qx::ReadTimeoutException& e) {
    EXPECT_EQ(e.code(), 165);
  }
  base::setTraceListener(nullptr);
  EXPECT_EQ(t.timeouts, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(traces, (std::vector<std::string>{"read timeout, retry=2.\n", "read timeout, retry=1.\n",
                                              "read timeout, retry=0.\n"}));
}

TEST(Framing, TransportErrorsRaiseAtOnceWithTheBackendsText) {
  ScriptedTransport t;
  t.open();
  t.reads.push_back({-1, {}});
  try {
    t.read(100);
    ADD_FAILURE() << "no exception";
  } catch (const qx::ReadTimeoutException&) {
    ADD_FAILURE() << "a read error is no time-out";
  } catch (const qx::DeviceException& e) {
    EXPECT_STREQ(e.what(), "device gone");
  }
  EXPECT_EQ(t.timeouts.size(), 1u);
  t.writeResult = -1;
  EXPECT_THROW(t.write({1}), qx::DeviceException);
}

TEST(Framing, ClosedTransportSendsNothing) {
  ScriptedTransport t;
  EXPECT_FALSE(t.write({1}));
  EXPECT_TRUE(t.read(100).empty());
  EXPECT_TRUE(t.sent.empty());
  EXPECT_TRUE(t.timeouts.empty());
}

}  // namespace
