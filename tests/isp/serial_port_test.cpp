#include "isp/serial_port.hpp"

#include <gtest/gtest.h>
#include <termios.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "base/texts.hpp"
#include "base/trace.hpp"
#include "pty_pair.hpp"
#include "tests/support/temp_home.hpp"

namespace isp {
namespace {

using namespace std::chrono_literals;

class RecordingSink : public SerialPortSink {
 public:
  void onSerialByte(std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    bytes_.push_back(byte);
    if (onByte_) onByte_(byte);
    changed_.notify_all();
  }
  void onSerialMessage(const SerialMessage& message) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
  }
  void onSerialErrorChanged(bool error) override {
    std::lock_guard lock(mutex_);
    errorChanges_.push_back(error);
    changed_.notify_all();
  }

  bool waitForBytes(std::size_t n, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return bytes_.size() >= n; });
  }
  bool waitForErrorChanges(std::size_t n, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return errorChanges_.size() >= n; });
  }
  std::vector<std::uint8_t> bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }
  std::vector<SerialMessage> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<bool> errorChanges() {
    std::lock_guard lock(mutex_);
    return errorChanges_;
  }

  // Set under the lock: the reader thread reads it, and the pty between them is no
  // synchronisation a race detector can see.
  void setOnByte(std::function<void(std::uint8_t)> callback) {
    std::lock_guard lock(mutex_);
    onByte_ = std::move(callback);
  }

 private:
  std::function<void(std::uint8_t)> onByte_;  // runs on the reader thread, under the lock
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::uint8_t> bytes_;
  std::vector<SerialMessage> messages_;
  std::vector<bool> errorChanges_;
};

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 131 + seed + i / 251) & 0xFF);
  return v;
}

class SerialPortTest : public testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    ASSERT_TRUE(pty.ok());
  }
  void openAndStart(std::uint32_t baud = 115200) {
    ASSERT_TRUE(port.OpenAndConfigure(&sink, pty.path(), baud));
    ASSERT_TRUE(port.StartWorker());
  }

  isptest::PtyPair pty;
  RecordingSink sink;
  CSerialPort port;
};

TEST(LineSettings, ParityDataAndStopBits) {
  struct Case {
    char parity;
    int dataBits;
    int stopBits;
    tcflag_t parityFlags;
    tcflag_t size;
  };
  const Case cases[] = {
      {'N', 8, 1, 0, CS8},
      {'E', 8, 1, PARENB, CS8},
      {'o', 7, 2, PARENB | PARODD, CS7},
      {'M', 6, 1, PARENB | PARODD | CMSPAR, CS6},
      {'s', 5, 2, PARENB | CMSPAR, CS5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.parity << c.dataBits << c.stopBits);
    termios t{};
    t.c_cflag = CRTSCTS | PARODD;
    t.c_iflag = IXON | ICRNL;
    t.c_lflag = ICANON | ECHO;
    ASSERT_TRUE(buildLineTermios(t, LineSettings{9600, c.parity, c.dataBits, c.stopBits}));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopBits == 2);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u) << "no flow control";
    EXPECT_EQ(t.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parityFlags != 0);
  }
  termios t{};
  EXPECT_FALSE(buildLineTermios(t, LineSettings{9600, 'X', 8, 1}));
  EXPECT_FALSE(buildLineTermios(t, LineSettings{9600, 'N', 9, 1}));
  EXPECT_FALSE(buildLineTermios(t, LineSettings{9600, 'N', 8, 3}));
  EXPECT_FALSE(buildLineTermios(t, LineSettings{0, 'N', 8, 1}));
}

// Pseudo-terminals force 8 data bits without parity, so only the rate, the stop bits and the raw
// mode can be seen on the line itself; the builder above covers the rest.
TEST_F(SerialPortTest, OpensAtEachRate) {
  struct Case {
    std::uint32_t baud;
    char parity;
    int stopBits;
  };
  const Case cases[] = {{1200, 'N', 1},   {19200, 'E', 1},  {115200, 'O', 2},
                        {256000, 'N', 1},  // not a termios constant
                        {460800, 'E', 2}, {921600, 'N', 1}, {1000000, 'E', 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << " " << c.parity);
    ASSERT_TRUE(port.OpenAndConfigure(&sink, pty.path(), c.baud, c.parity, 8, c.stopBits));
    EXPECT_FALSE(port.HasError());
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopBits == 2);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "raw line";
    EXPECT_EQ(port.CurrentBaud(), c.baud);
    EXPECT_EQ(lineBaud(pty.slave()), c.baud);
  }
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SerialPortTest, OpenFailsQuietlyForMissingFilesAndBusyPorts) {
  EXPECT_FALSE(port.OpenAndConfigure(&sink, "/dev/qubrix-no-such-port", 9600));
  const auto dir = testsupport::makeTempDir("isp-port");
  const auto file = dir / "not-a-tty";
  std::ofstream(file) << "keep";
  EXPECT_FALSE(port.OpenAndConfigure(&sink, file.string(), 9600));
  EXPECT_EQ(std::filesystem::file_size(file), 4u) << "a plain file is never written";
  std::filesystem::remove_all(dir);

  ASSERT_TRUE(port.OpenAndConfigure(&sink, pty.path(), 9600));
  CSerialPort second;
  EXPECT_FALSE(second.OpenAndConfigure(&sink, pty.path(), 9600)) << "ports are opened exclusively";
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_FALSE(port.HasError());
}

TEST_F(SerialPortTest, FailedSetUpIsReportedAndThePortStaysOpen) {
  std::vector<std::string> traces;
  base::setTraceListener([&](std::string_view line) { traces.emplace_back(line); });
  const bool opened = port.OpenAndConfigure(&sink, pty.path(), 9600, 'X', 8, 1);
  base::setTraceListener(nullptr);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.HasError());
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].caption, "Application Error");
  EXPECT_EQ(sink.messages()[0].text, "串口驱动出现问题，请拔插串口...");
  EXPECT_TRUE(sink.messages()[0].errorIcon);
  EXPECT_EQ(sink.errorChanges(), std::vector<bool>{true});
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0], "WARNING:  BuildLineSettings() Failed with the following error: \nInvalid argument\nPort: " +
                           pty.path() + "\n");

  ASSERT_TRUE(port.OpenAndConfigure(&sink, pty.path(), 9600));
  EXPECT_FALSE(port.HasError()) << "opening again clears the flag";
}

TEST_F(SerialPortTest, RoundTripInBothDirections) {
  openAndStart();
  const std::vector<std::uint8_t> in{0xAA, 0x03, 0x80, 0x00, 0x00, 0x83, 0x00, 0x0A, 0x0D};
  ASSERT_TRUE(pty.send(in));
  ASSERT_TRUE(sink.waitForBytes(in.size()));
  EXPECT_EQ(sink.bytes(), in);

  const std::vector<std::uint8_t> out{0x55, 0x02, 0x01, 0x0A, 0x09, 0x00, 0x11, 0x0D};
  ASSERT_TRUE(port.SendRaw(out));
  EXPECT_EQ(pty.receive(out.size()), out);
  ASSERT_TRUE(port.SendText("串口 ok\r\n"));
  const std::string text = "串口 ok\r\n";
  EXPECT_EQ(pty.receive(text.size()), std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST_F(SerialPortTest, OneMebibyteBurstArrivesByteByByteInOrder) {
  openAndStart(921600);
  const std::vector<std::uint8_t> burst = pattern(1 << 20, 7);
  std::thread writer([&] { pty.send(burst); });
  const bool all = sink.waitForBytes(burst.size(), 30s);
  writer.join();
  ASSERT_TRUE(all);
  EXPECT_TRUE(sink.bytes() == burst);
}

TEST_F(SerialPortTest, LongTransmissionsGoOutWholeAndQueuedOnesInOrder) {
  openAndStart();
  std::vector<std::uint8_t> expected;
  const std::vector<std::uint8_t> big = pattern(5000, 1);  // beyond the 1024-byte buffer
  ASSERT_TRUE(port.SendRaw(big));
  expected.insert(expected.end(), big.begin(), big.end());
  for (unsigned i = 0; i < 40; ++i) {
    const std::vector<std::uint8_t> frame = pattern(137, i + 2);
    ASSERT_TRUE(port.SendRaw(frame));  // no waiting for the previous one to be taken
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  EXPECT_TRUE(pty.receive(expected.size()) == expected);
}

TEST_F(SerialPortTest, TransmissionsFromTwoThreadsAreNeverMixed) {
  openAndStart();
  constexpr std::size_t kFrame = 1500;
  constexpr int kFrames = 20;
  auto sender = [&](std::uint8_t fill) {
    for (int i = 0; i < kFrames; ++i) port.SendRaw(std::vector<std::uint8_t>(kFrame, fill));
  };
  std::thread a(sender, 0x11);
  std::thread b(sender, 0x22);
  const std::vector<std::uint8_t> got = pty.receive(2 * kFrame * kFrames);
  a.join();
  b.join();
  ASSERT_EQ(got.size(), 2 * kFrame * kFrames);
  for (std::size_t start = 0; start < got.size(); start += kFrame) {
    const std::vector<std::uint8_t> piece(got.begin() + static_cast<std::ptrdiff_t>(start),
                                          got.begin() + static_cast<std::ptrdiff_t>(start + kFrame));
    EXPECT_EQ(piece, std::vector<std::uint8_t>(kFrame, piece[0])) << "frame at " << start;
  }
}

TEST_F(SerialPortTest, StopSendsWhatWasQueuedFirst) {
  openAndStart();
  const std::vector<std::uint8_t> last{0x55, 0x01, 0x10, 0x11, 0x55, 0x01, 0x07, 0x06};
  ASSERT_TRUE(port.SendRaw(last));
  port.Stop();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.IsWorkerRunning());
  EXPECT_EQ(pty.receive(last.size()), last);
}

TEST_F(SerialPortTest, VanishedLineEndsTheReaderAndFlagsTheError) {
  openAndStart();
  pty.closeMaster();
  ASSERT_TRUE(sink.waitForErrorChanges(1));
  for (int i = 0; i < 200 && port.IsWorkerRunning(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(port.IsWorkerRunning());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(port.HasError());
  EXPECT_TRUE(sink.messages().empty()) << "an unplugged adapter shows nothing by itself";

  // The next write clears the flag, then finds no port: "串口通信出错" and the flag again.
  EXPECT_FALSE(port.SendRaw(std::vector<std::uint8_t>{0x55}));
  EXPECT_TRUE(port.HasError());
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].text, "串口通信出错");
  EXPECT_FALSE(sink.messages()[0].errorIcon);
  EXPECT_EQ(sink.errorChanges(), (std::vector<bool>{true, false, true}));
}

TEST_F(SerialPortTest, WriteWithoutAnOpenPortIsRefused) {
  CSerialPort closed;
  ASSERT_TRUE(closed.OpenAndConfigure(&sink, pty.path(), 9600));
  closed.Stop();
  EXPECT_FALSE(closed.SendRaw(std::vector<std::uint8_t>{}));
  EXPECT_TRUE(closed.HasError());
  EXPECT_EQ(sink.messages().size(), 1u);
}

TEST_F(SerialPortTest, StopFromTheByteCallbackDoesNotHang) {
  openAndStart();
  sink.setOnByte([&](std::uint8_t) { port.Stop(); });
  ASSERT_TRUE(pty.send({1, 2, 3, 4}));
  ASSERT_TRUE(sink.waitForBytes(1));
  for (int i = 0; i < 200 && port.IsWorkerRunning(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(port.IsWorkerRunning());
  EXPECT_EQ(sink.bytes().size(), 1u) << "no bytes are handed on after Stop";
  sink.setOnByte(nullptr);
  // The port can be opened again afterwards.
  ASSERT_TRUE(port.OpenAndConfigure(&sink, pty.path(), 9600));
  ASSERT_TRUE(port.StartWorker());
  ASSERT_TRUE(pty.send({9}));
  ASSERT_TRUE(sink.waitForBytes(2));
}

}  // namespace
}  // namespace isp
