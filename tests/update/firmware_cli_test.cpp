// qubrix firmware, run as a user would: a local image through the emulated STM32 bootloader, and a
// USB update of the emulated programmer from a loopback FTP server named in the configuration file.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/stm32_bootloader.hpp"
#include "tests/support/run_command.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"

namespace {

namespace es = emulator::serial;
using testsupport::runCommand;

std::string qubrix(const std::string& args) { return std::string(QUBRIX_BINARY) + " " + args + " --lang en"; }

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(FirmwareCliTest, ALocalImageGoesThroughTheSystemBootloader) {
  testsupport::TempHome home;
  es::HostOptions options;
  options.pacing = false;
  es::PtyHost host(std::make_unique<es::Stm32Bootloader>(), options);
  ASSERT_TRUE(host.start());
  const auto image = emulator::programmer::firmwareImage("1.0.3.0", 0x1000);
  writeFile(home.path() / "fw.bin", image);
  const auto run = runCommand("cd '" + home.path().string() + "' && " +
                              qubrix("firmware update --port " + host.path() + " --local fw.bin"));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Update successful."), std::string::npos) << run.out;
  host.withDevice([&](es::SerialDevice& d) {
    const auto flash = static_cast<es::Stm32Bootloader&>(d).flash().bytes();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  });

  const auto bad = runCommand(qubrix("firmware update --port " + host.path() + " --local /nonexistent.bin"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("Failed to load the firmware."), std::string::npos) << bad.out;
}

// A kill or a closed terminal while the programmer's flash is rewritten would leave it without
// firmware: the update goes on to its end.
TEST(FirmwareCliTest, ASignalDuringTheWriteDoesNotStopTheUpdate) {
  testsupport::TempHome home;
  es::PtyHost host(std::make_unique<es::Stm32Bootloader>());
  ASSERT_TRUE(host.start());
  const auto image = emulator::programmer::firmwareImage("1.0.3.0", 0x6000);
  writeFile(home.path() / "fw.bin", image);
  const auto run = testsupport::runSignalled(
      qubrix("firmware update --port " + host.path() + " --local " + (home.path() / "fw.bin").string()),
      "Updating...", SIGTERM);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Update successful."), std::string::npos) << run.out;
  host.withDevice([&](es::SerialDevice& d) {
    const auto flash = static_cast<es::Stm32Bootloader&>(d).flash().bytes();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  });
}

TEST(FirmwareCliTest, AUsbUpdateFromTheConfiguredServerShowsInTheList) {
  testsupport::TempHome home;
  updatetest::FtpServer server(home.path() / "served");
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  const auto image = emulator::programmer::firmwareImage("1.0.3.0");
  server.publish("QUBRIXToolTFT/v2/fw.bin", image);
  server.publish("QUBRIXToolTFT/v2/fw.xml",
                 updatetest::manifestText("1.0.3.0", "/QUBRIXToolTFT/v2/fw.bin", updatetest::md5Hex(image)));
  const std::string inHome = "cd '" + home.path().string() + "' && QUBRIX_EMULATE=1 ";

  const auto check = runCommand(inHome + qubrix("firmware check"));
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("latest   v1.0.3.0"), std::string::npos) << check.out;

  const auto run = runCommand(inHome + qubrix("firmware update --usb"));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Update successful."), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(home.path() / "fw_data"));
  EXPECT_FALSE(std::filesystem::exists(home.path() / "fw_xml"));

  const auto list = runCommand(inHome + qubrix("list"));
  EXPECT_NE(list.out.find("v1.0.3.0"), std::string::npos) << list.out;

  const auto again = runCommand(inHome + qubrix("firmware update --usb"));
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("The QUBRIX Tool firmware is up to date."), std::string::npos) << again.out;
}

}  // namespace
