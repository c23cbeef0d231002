// The pty host: wire time at the device's rate, bytes lost at a wrong rate, the pulled cable and
// the emulated-ports file.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/port_registry.hpp"
#include "emulator/serial/pty_host.hpp"
#include "isp/line.hpp"
#include "isp/replies.hpp"
#include "tests/support/temp_home.hpp"

namespace emuserialtest {
namespace {

using Clock = std::chrono::steady_clock;
using emulator::serial::ChipBootloader;
using emulator::serial::PtyHost;
using namespace std::chrono_literals;

// The host's end of the line, opened and set up as the port classes do it.
class HostEnd {
 public:
  HostEnd(const std::string& path, std::uint32_t baud) : fd_(isp::openLine(path)) {
    if (fd_ >= 0) isp::configureLine(fd_, {baud, 'N', 8, 1});
  }
  ~HostEnd() { isp::closeLine(fd_); }
  bool ok() const { return fd_ >= 0; }
  void setRate(std::uint32_t baud) { isp::configureLine(fd_, {baud, 'N', 8, 1}); }
  void write(const isp::Frame& f) { ASSERT_EQ(::write(fd_, f.data(), f.size()), static_cast<ssize_t>(f.size())); }
  // Reads until `count` bytes came or nothing came for `quiet`.
  isp::Frame read(std::size_t count, std::chrono::milliseconds quiet = 1000ms) {
    isp::Frame out;
    std::uint8_t buf[512];
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) {
        lost_ = true;
        break;
      }
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  bool lost() const { return lost_; }

 private:
  int fd_;
  bool lost_ = false;
};

TEST(PtyHost, AnswersTakeTheirWireTimeAtTheDevicesRate) {
  PtyHost host(std::make_unique<ChipBootloader>());
  ASSERT_TRUE(host.start());
  HostEnd line(host.path(), 9600);
  ASSERT_TRUE(line.ok());
  const auto start = Clock::now();
  line.write(isp::syncBytes(isp::Dialect::Short));
  EXPECT_EQ(line.read(3), isp::syncAnswerReply(0x5A));
  line.write(isp::setBaudFrame(4));  // stay at 9600
  EXPECT_EQ(line.read(6), isp::baudAnswerReply(0, 4));
  line.write(isp::confirmBaudFrame());
  EXPECT_EQ(line.read(255), isp::lineTestPattern());
  // 3 + 4 + 4 bytes in, 3 + 6 + 255 out, 10 bits each at 9600 baud.
  const auto wire = std::chrono::microseconds((3 + 4 + 4 + 3 + 6 + 255) * 10LL * 1'000'000 / 9600);
  EXPECT_GE(Clock::now() - start, wire * 95 / 100);
}

TEST(PtyHost, BytesAtAnotherRateAreLostUntilTheHostFollowsTheSwitch) {
  PtyHost host(std::make_unique<ChipBootloader>());
  ASSERT_TRUE(host.start());
  HostEnd line(host.path(), 1200);
  line.write(isp::syncBytes(isp::Dialect::Short));
  ASSERT_EQ(line.read(3), isp::syncAnswerReply(0x5A));
  line.write(isp::setBaudFrame(11));
  ASSERT_EQ(line.read(6), isp::baudAnswerReply(0, 11));
  EXPECT_EQ(host.deviceRate(), 921600u);
  // Still at 1200: the device hears noise and does not answer.
  line.write(isp::confirmBaudFrame());
  EXPECT_TRUE(line.read(1, 300ms).empty());
  EXPECT_EQ(host.garbledBytes(), 4u);
  line.setRate(921600);
  line.write(isp::confirmBaudFrame());
  EXPECT_EQ(line.read(255), isp::lineTestPattern());
}

TEST(PtyHost, RecordsWhatTheDeviceRecognised) {
  PtyHost host(std::make_unique<ChipBootloader>());
  ASSERT_TRUE(host.start());
  HostEnd line(host.path(), 1200);
  line.write(isp::syncBytes(isp::Dialect::Short));
  line.read(3);
  line.write({0x55, 0x01, 0x07, 0x07});  // a wrong checksum is no request
  line.write(isp::endFrame());
  line.read(1, 200ms);
  EXPECT_EQ(host.requests(), (std::vector<isp::Frame>{isp::syncBytes(isp::Dialect::Short), isp::endFrame()}));
}

TEST(PtyHost, APulledCableTakesTheLineAway) {
  emulator::serial::ChipFaults faults;
  faults.unplugAfterRequests = 1;
  PtyHost host(std::make_unique<ChipBootloader>(emulator::serial::ChipConfig{}, faults));
  ASSERT_TRUE(host.start());
  const std::string path = host.path();
  HostEnd line(path, 1200);
  line.write(isp::syncBytes(isp::Dialect::Short));
  line.read(3);
  line.write(isp::setBaudFrame(0));
  line.read(6, 500ms);
  EXPECT_TRUE(host.unplugged());
  EXPECT_TRUE(line.lost());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PortRegistry, AnnouncesBesideOtherEmulatorsAndWithdraws) {
  testsupport::TempHome home;
  const auto file = home.path() / "emulated-ports";
  PtyHost a(std::make_unique<ChipBootloader>());
  PtyHost b(std::make_unique<ChipBootloader>());
  ASSERT_TRUE(a.start());
  ASSERT_TRUE(b.start());
  ASSERT_TRUE(emulator::serial::announcePorts({{a.path(), "", "first", 0, 0, true}}, file));
  ASSERT_TRUE(emulator::serial::announcePorts({{b.path(), "", "second", 0, 0, true}}, file));
  auto listed = isp::readEmulatedPorts(file);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].product, "first");
  ASSERT_TRUE(emulator::serial::withdrawPorts({a.path()}, file));
  listed = isp::readEmulatedPorts(file);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].path, b.path());
  ASSERT_TRUE(emulator::serial::withdrawPorts({b.path()}, file));
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace emuserialtest
