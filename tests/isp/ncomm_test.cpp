#include "isp/ncomm.hpp"

#include <gtest/gtest.h>
#include <termios.h>

#include <thread>

#include "pty_pair.hpp"

namespace isp {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The longest an attempt may take by the time-outs, plus room for a loaded machine.
constexpr long long kSlackMs = 400;

class CnCommTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(comm.Open(pty.path(), 115200));
  }
  isptest::PtyPair pty;
  CnComm comm;
};

TEST(CnCommOpen, RefusesWhatCannotBeAPort) {
  CnComm comm;
  EXPECT_FALSE(comm.Open("", 115200));
  EXPECT_FALSE(comm.Open("/dev/qubrix-no-such-port", 115200));
  isptest::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  EXPECT_FALSE(comm.Open(pty.path(), 0));
  EXPECT_FALSE(comm.IsOpen());
  std::uint8_t b = 0;
  EXPECT_EQ(comm.Read(&b, 1), 0u);
  EXPECT_EQ(comm.Write(&b, 1), 0u);
}

// A pseudo-terminal forces 8 data bits without parity, so the even parity cannot be seen here.
TEST_F(CnCommTest, LineIsRawAtTheRateWithOneStopBit) {
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
  EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(lineBaud(pty.slave()), 115200u);
}

TEST_F(CnCommTest, SilentLineTimesOutAfterTheTotalTimeout) {
  for (std::size_t n : {1u, 4u, 16u}) {
    std::uint8_t buf[16];
    const auto start = Clock::now();
    EXPECT_EQ(comm.Read(buf, n), 0u);
    const long long limit = CnComm::kReadTotalConstantMs + CnComm::kReadTotalPerByteMs * static_cast<long long>(n);
    const long long took = msSince(start);
    EXPECT_GE(took, limit - 1) << n;
    EXPECT_LT(took, limit + kSlackMs) << n;
  }
}

TEST_F(CnCommTest, PartialReadsEndAtTheIntervalAndAccumulate) {
  // 8 bytes wanted, 3 come: the read ends 20 ms after the last byte, before its 60 ms total.
  ASSERT_TRUE(pty.send({0x79, 0x0B, 0x31}));
  std::this_thread::sleep_for(5ms);
  std::uint8_t buf[8] = {};
  const auto start = Clock::now();
  ASSERT_EQ(comm.Read(buf, 8), 3u);
  EXPECT_LT(msSince(start), 60 + kSlackMs);
  EXPECT_EQ(buf[0], 0x79);
  EXPECT_EQ(buf[2], 0x31);

  // The caller's attempts gather the rest, as the update interface does.
  std::thread later([&] {
    std::this_thread::sleep_for(10ms);
    pty.send({1, 2, 3, 4, 5});
  });
  std::size_t got = 3;
  for (int attempt = 0; attempt < 10 && got < 8; ++attempt) got += comm.Read(buf + got, 8 - got);
  later.join();
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(buf[3], 1);
  EXPECT_EQ(buf[7], 5);
}

TEST_F(CnCommTest, BytesSpreadWithinTheIntervalMakeOneRead) {
  std::thread sender([&] {
    pty.send({0x11, 0x22});
    std::this_thread::sleep_for(5ms);
    pty.send({0x33, 0x44});
  });
  std::uint8_t buf[4] = {};
  EXPECT_EQ(comm.Read(buf, 4), 4u);
  sender.join();
  EXPECT_EQ(buf[3], 0x44);
}

TEST_F(CnCommTest, WriteSendsEverythingAndZeroBytesSendsNothing) {
  const std::uint8_t none = 0x7F;
  EXPECT_EQ(comm.Write(&none, 0), 0u);
  EXPECT_TRUE(pty.receive(1, 50).empty());
  const std::vector<std::uint8_t> frame{0x31, 0xCE, 0x08, 0x00, 0x00, 0x80, 0x88};
  EXPECT_EQ(comm.Write(frame.data(), frame.size()), frame.size());
  EXPECT_EQ(pty.receive(frame.size()), frame);
}

TEST_F(CnCommTest, PurgeOfTheInputDropsWhatWaits) {
  ASSERT_TRUE(pty.send({0x1F, 0x1F}));
  std::this_thread::sleep_for(30ms);
  comm.Purge(Queue::Input);
  ASSERT_TRUE(pty.send({0x79}));
  std::uint8_t b = 0;
  ASSERT_EQ(comm.Read(&b, 1), 1u);
  EXPECT_EQ(b, 0x79);
}

TEST_F(CnCommTest, VanishedLineEndsReadsAtOnce) {
  ASSERT_TRUE(pty.send({0x79}));
  std::this_thread::sleep_for(20ms);
  pty.closeMaster();
  std::this_thread::sleep_for(20ms);
  std::uint8_t buf[64];
  const auto start = Clock::now();
  EXPECT_EQ(comm.Read(buf, 64), 1u) << "what came before stays readable";
  EXPECT_EQ(comm.Read(buf, 64), 0u);
  EXPECT_LT(msSince(start), 20 + 5 * 64) << "no waiting on a dead line";
  EXPECT_EQ(comm.Write(buf, 4), 0u);
  comm.Close();
  EXPECT_FALSE(comm.IsOpen());
}

TEST(CnCommBlockBuffer, KeepsOrderAcrossBlocks) {
  CnComm::BlockBuffer buffer(4);
  std::vector<std::uint8_t> in(100);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> out;
  std::size_t written = 0;
  const std::size_t steps[] = {1, 3, 7, 2, 30, 5, 52};
  for (std::size_t step : steps) {
    buffer.Write(in.data() + written, step);
    written += step;
    std::uint8_t piece[16];
    const std::size_t n = buffer.Read(piece, std::min<std::size_t>(step + 1, 16));
    out.insert(out.end(), piece, piece + n);
    EXPECT_EQ(buffer.Size(), written - out.size());
  }
  std::uint8_t rest[128];
  const std::size_t n = buffer.Read(rest, sizeof rest);
  out.insert(out.end(), rest, rest + n);
  EXPECT_EQ(out, in);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.Read(rest, 1), 0u);

  buffer.Write(in.data(), 10);
  buffer.Clear();
  EXPECT_EQ(buffer.Size(), 0u);
  buffer.Write(in.data() + 50, 3);
  ASSERT_EQ(buffer.Read(rest, 8), 3u);
  EXPECT_EQ(rest[0], 50);
}

}  // namespace
}  // namespace isp
