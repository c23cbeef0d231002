// The serial check and update against the emulated STM32 system bootloader on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fstream>

#include "base/texts.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/stm32_bootloader.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "tests/update/recording_sink.hpp"
#include "update/firmware_check.hpp"
#include "update/firmware_update.hpp"

namespace {

namespace es = emulator::serial;
using updatetest::FtpServer;
using updatetest::RecordingSink;

class SerialUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    request.workDir = work;
  }
  void TearDown() override { std::filesystem::remove_all(work); }

  // Without wire pacing: the bytes are exact, the run takes no wire time.
  std::unique_ptr<es::PtyHost> serve(es::Stm32Faults faults = {}) {
    es::HostOptions options;
    options.pacing = false;
    auto host = std::make_unique<es::PtyHost>(std::make_unique<es::Stm32Bootloader>(es::Stm32Config{}, faults), options);
    EXPECT_TRUE(host->start());
    return host;
  }
  static isp::Frame flashOf(es::PtyHost& host, std::size_t n) {
    isp::Frame out;
    host.withDevice([&](es::SerialDevice& d) {
      const auto bytes = static_cast<es::Stm32Bootloader&>(d).flash().bytes();
      out.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    });
    return out;
  }
  std::filesystem::path local(const std::vector<std::uint8_t>& bytes) {
    const auto file = work / "local.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

  testsupport::TempHome home;
  std::filesystem::path work = testsupport::makeTempDir("qx_serial_update");
  RecordingSink sink;
  update::UpdateRequest request;
};

TEST_F(SerialUpdateTest, ALocalImageIsWrittenWholeFrom0x08000000AndReadBack) {
  auto host = serve();
  const auto image = emulator::programmer::firmwareImage("1.0.3.0", 0x801);
  request.localFile = local(image);
  EXPECT_EQ(update::updateOverSerial(request, host->path(), sink), base::Outcome::Success);
  EXPECT_EQ(flashOf(*host, image.size()), image);
  EXPECT_TRUE(sink.saidStatus("Updating..."));
  EXPECT_TRUE(sink.saidStatus("Verifying..."));
  EXPECT_EQ(sink.statuses.back(), "Update successful.");
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Tip: Upgrade successful! Please plug and unplug the downloader..."}));
  EXPECT_EQ(sink.events, (std::vector<std::string>{"started", "finished"}));
  // The last block is 1 byte long: 0x6001 bytes in 193 writes; every block read back whole.
  const auto frames = host->requests();
  const auto count = [&](isp::Frame f) { return std::count(frames.begin(), frames.end(), f); };
  EXPECT_EQ(count({0x31, 0xCE}), 193);
  EXPECT_EQ(count({0x11, 0xEE}), 193);
  EXPECT_EQ(count({0x7F, 0x80}), 193);
  EXPECT_EQ(count({0x00, image.back(), image.back()}), 1);
}

TEST_F(SerialUpdateTest, LocalFilesThatAreNoProgrammerImageAreNeverWritten) {
  auto host = serve();
  const struct {
    std::vector<std::uint8_t> bytes;
    bool missing;
    const char* message;
  } kCases[] = {
      {{}, false, "Tip: Failed to load the firmware."},
      {{}, true, "Tip: Failed to load the firmware."},
      {emulator::programmer::firmwareImage("1.0.3.0", 0x800), false, "Tip: Invalid firmware."},
      {std::vector<std::uint8_t>(0x10000, 0x00), false, "Tip: Invalid firmware."},
  };
  for (const auto& c : kCases) {
    RecordingSink s;
    request.localFile = c.missing ? work / "missing.bin" : local(c.bytes);
    EXPECT_EQ(update::updateOverSerial(request, host->path(), s), base::Outcome::Failed);
    EXPECT_EQ(s.messages, (std::vector<std::string>{c.message}));
  }
  EXPECT_TRUE(host->requests().empty());
}

TEST_F(SerialUpdateTest, ABootloaderThatDoesNotAnswerDisablesCheck) {
  es::Stm32Faults faults;
  faults.silent = true;
  auto host = serve(faults);
  request.localFile = local(emulator::programmer::firmwareImage("1.0.3.0"));
  EXPECT_EQ(update::updateOverSerial(request, host->path(), sink), base::Outcome::Failed);
  EXPECT_EQ(sink.messages, (std::vector<std::string>{
                               "Tip: The upgrade mode cannot be entered. Please hold down the BOOT key and insert "
                               "the QUBRIX Tool into your computer."}));
  EXPECT_FALSE(sink.checkEnabled);
}

TEST_F(SerialUpdateTest, FailuresDuringEraseWriteOrVerifyEndInTheUpdateFailedStatus) {
  const auto image = emulator::programmer::firmwareImage("1.0.3.0");
  request.localFile = local(image);
  es::Stm32Faults nackErase;
  nackErase.nackCommands = {0x44};
  es::Stm32Faults nackRead;
  nackRead.nackCommands = {0x11};
  es::Stm32Faults unplug;
  unplug.unplugAfterWrites = 5;
  es::Stm32Faults dropped;
  dropped.dropByte = 700;
  for (const auto& faults : {nackErase, nackRead, unplug, dropped}) {
    auto host = serve(faults);
    RecordingSink s;
    EXPECT_EQ(update::updateOverSerial(request, host->path(), s), base::Outcome::Failed);
    EXPECT_EQ(s.statuses.back(), "The update failed.");
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(s.events.back(), "finished");
  }
}

TEST_F(SerialUpdateTest, AnOnlineUpdateChecksTheServerAndInstallsThePublishedImage) {
  FtpServer server(home.path() / "served");
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  const auto image = emulator::programmer::firmwareImage("1.0.3.0", 0x1000);
  server.publish("QubrixTool/fw_1.0.3.0.bin", image);
  server.publish("QubrixTool/fw.xml",
                 updatetest::manifestText("1.0.3.0", "/QubrixTool/fw_1.0.3.0.bin", updatetest::md5Hex(image)));
  auto host = serve();
  std::vector<std::string> woken;
  const auto found = update::checkCom(host->path(), sink, work, [&](const std::string& p) { woken.push_back(p); });
  ASSERT_TRUE(found);
  EXPECT_TRUE(woken.empty()) << "the bootloader answered the probe";
  EXPECT_EQ(sink.latest, "v1.0.3.0");
  EXPECT_TRUE(sink.updateEnabled);
  request.record = found->record;
  EXPECT_EQ(update::updateOverSerial(request, host->path(), sink), base::Outcome::Success);
  EXPECT_EQ(flashOf(*host, image.size()), image);
  EXPECT_FALSE(std::filesystem::exists(work / "fw_data"));
  EXPECT_FALSE(std::filesystem::exists(work / "fw_xml"));
}

TEST_F(SerialUpdateTest, ASilentPortIsSentTheDownloadersQueryBeforeTheManifestIsFetched) {
  es::Stm32Faults faults;
  faults.silent = true;
  auto host = serve(faults);
  std::vector<std::string> woken;
  EXPECT_FALSE(update::checkCom(host->path(), sink, work, [&](const std::string& p) { woken.push_back(p); }));
  EXPECT_EQ(woken, (std::vector<std::string>{host->path()}));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Tip: Check for update failure."}));
}

}  // namespace
