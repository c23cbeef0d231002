// The USB check and update against the emulated programmer and a loopback FTP server.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>

#include "base/manual_timers.hpp"
#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "device/programmer_lock.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "tests/support/foreign_lock.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "tests/update/recording_sink.hpp"
#include "update/firmware_check.hpp"
#include "update/firmware_files.hpp"
#include "update/firmware_update.hpp"

namespace {

namespace ep = emulator::programmer;
using updatetest::FtpServer;
using updatetest::RecordingSink;

constexpr std::uint8_t kRestart = 0xE4;
constexpr std::uint8_t kWriteMem = 0xE2;

class UsbUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    qx::setHardwareEnumeration(false);
    provider_ = qx::addDeviceProvider([this] {
      std::vector<std::shared_ptr<qx::Interface>> found;
      if (attached) {
        if (auto link = device->attach()) found.push_back(std::move(link));
      }
      return found;
    });
    request.workDir = work;
  }
  void TearDown() override {
    qx::removeDeviceProvider(provider_);
    std::filesystem::remove_all(work);
  }

  std::string runningVersion() {
    std::string v;
    device->inspect([&](ep::ProgrammerModel& m) { v = m.applicationVersion(); });
    return v;
  }
  bool inBootloader() {
    bool boot = false;
    device->inspect([&](ep::ProgrammerModel& m) { boot = m.persistent().bootMode; });
    return boot;
  }
  std::size_t requestsOf(std::uint8_t id) const {
    std::size_t n = 0;
    for (const auto& e : device->log()) n += e.request[0] == id;
    return n;
  }
  void publishUsb(const std::string& version, const std::vector<std::uint8_t>& image, std::string hash = {}) {
    if (hash.empty()) hash = updatetest::md5Hex(image);
    server.publish("QUBRIXToolTFT/v2/fw_" + version + ".bin", image);
    server.publish("QUBRIXToolTFT/v2/fw.xml",
                   updatetest::manifestText(version, "/QUBRIXToolTFT/v2/fw_" + version + ".bin", hash));
  }
  bool leftovers() const {
    return std::filesystem::exists(work / "fw_xml") || std::filesystem::exists(work / "fw_data");
  }

  testsupport::TempHome home;
  std::filesystem::path work = testsupport::makeTempDir("qx_usb_update");
  std::shared_ptr<ep::EmulatedProgrammer> device = ep::EmulatedProgrammer::create();
  bool attached = true;
  FtpServer server{home.path() / "served"};
  RecordingSink sink;
  base::ManualTimers timers;
  update::UpdateRequest request;

 private:
  int provider_ = 0;
};

TEST_F(UsbUpdateTest, ACheckOffersTheNewerFirmwareAndTheUpdateInstallsIt) {
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  publishUsb("1.0.3.0", ep::firmwareImage("1.0.3.0", 5000));
  const auto found = update::checkUsb(sink, work);
  ASSERT_TRUE(found) << (sink.messages.empty() ? "" : sink.messages.back());
  EXPECT_TRUE(found->updateOffered);
  EXPECT_EQ(sink.serial, "SN: 1A2B3C4D");
  EXPECT_EQ(sink.current, "v1.0.2.8");
  EXPECT_EQ(sink.latest, "v1.0.3.0");
  EXPECT_TRUE(sink.updateEnabled);
  EXPECT_FALSE(leftovers());

  request.record = found->record;
  EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Success);
  EXPECT_EQ(sink.statuses.back(), "Update successful.");
  EXPECT_TRUE(sink.messages.empty()) << sink.messages.front();
  EXPECT_EQ(sink.events, (std::vector<std::string>{"started", "finished"}));
  EXPECT_EQ(sink.progress.front(), 0);
  EXPECT_EQ(sink.progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end()));
  // One restart into the bootloader, found again after the first 3-second wait.
  EXPECT_EQ(timers.waits(), (std::vector<base::Millis>{base::Millis(3000)}));
  EXPECT_EQ(runningVersion(), "1.0.3.0");
  EXPECT_FALSE(inBootloader());
  EXPECT_FALSE(leftovers());
}

TEST_F(UsbUpdateTest, ChecksThatFindNothingToInstallOrAProgrammerInUse) {
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  const std::string image = "/QUBRIXToolTFT/v2/fw.bin";
  const struct {
    const char* name;
    std::string manifest;  // empty: none published
    const char* message;   // empty: no box
    const char* status;
  } kCases[] = {
      {"up to date", updatetest::manifestText("1.0.2.8", image, "x"), "", "The QUBRIX Tool firmware is up to date."},
      {"older", updatetest::manifestText("1.0.2", image, "x"), "", "The QUBRIX Tool firmware is up to date."},
      {"no manifest", "", "Tip: Check for update failure.", ""},
      {"no item", "<fw><latest ver=\"1.0.9\"/><firmwares><item ver=\"1.0.8\" path=\"/a\" hash=\"b\"/></firmwares></fw>",
       "Tip: Check for update failure.", ""},
      {"bad version", updatetest::manifestText("1.0", image, "x"), "Tip: Error: Invalid firmware version string.", ""},
  };
  for (const auto& c : kCases) {
    std::filesystem::remove_all(home.path() / "served");
    if (!c.manifest.empty()) server.publish("QUBRIXToolTFT/v2/fw.xml", c.manifest);
    RecordingSink s;
    update::checkUsb(s, work);
    EXPECT_FALSE(s.updateEnabled) << c.name;
    EXPECT_EQ(s.messages.empty() ? "" : s.messages.back(), c.message) << c.name;
    EXPECT_EQ(s.statuses.back(), c.status) << c.name;
    EXPECT_FALSE(leftovers()) << c.name;
  }
  {
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    device->clearLog();
    RecordingSink inUse;
    EXPECT_FALSE(update::checkUsb(inUse, work));
    ASSERT_EQ(inUse.messages.size(), 1u);
    EXPECT_EQ(inUse.messages[0].rfind("Tip: The QUBRIX Tool 439041101 is in use by process 1 (", 0), 0u)
        << inUse.messages[0];
    EXPECT_TRUE(device->log().empty());
  }
  attached = false;
  RecordingSink none;
  EXPECT_FALSE(update::checkUsb(none, work));
  EXPECT_EQ(none.messages, (std::vector<std::string>{
                               "Tip: The QUBRIX Tool was not found. Please connect to the QUBRIX Tool."}));
}

TEST_F(UsbUpdateTest, AnImageWhoseDigestDiffersIsNeverWritten) {
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  const auto image = ep::firmwareImage("1.0.3.0");
  std::string upper = updatetest::md5Hex(image);
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  publishUsb("1.0.3.0", image, upper);
  const auto found = update::checkUsb(sink, work);
  ASSERT_TRUE(found);
  request.record = found->record;
  EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Failed);
  EXPECT_EQ(sink.messages.back(),
            "Tip: The firmware download failed. The Hash value of the firmware is incorrect.");
  EXPECT_EQ(requestsOf(kRestart), 0u);
  EXPECT_EQ(runningVersion(), "1.0.2.8");
  EXPECT_FALSE(leftovers());
}

TEST_F(UsbUpdateTest, LocalFilesMustBeLongerThan0x6000BytesWithTheApplicationHeader) {
  std::vector<std::uint8_t> tooShort = ep::firmwareImage("1.0.4.0", 0x800);
  ASSERT_EQ(tooShort.size(), 0x6000u);
  std::vector<std::uint8_t> headerless = ep::firmwareImage("1.0.4.0", 0x801);
  headerless[0x5800] = 0;
  for (const auto& bad : {tooShort, headerless}) {
    std::ofstream(work / "bad.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    request.localFile = work / "bad.bin";
    RecordingSink s;
    EXPECT_EQ(update::updateOverUsb(request, s, timers), base::Outcome::Failed);
    EXPECT_EQ(s.messages, (std::vector<std::string>{"Tip: Invalid firmware."}));
  }
  EXPECT_TRUE(device->log().empty());

  const auto good = ep::firmwareImage("1.0.4.0", 0x801);
  ASSERT_EQ(good.size(), 0x6001u);
  std::ofstream(work / "good.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(good.data()), static_cast<std::streamsize>(good.size()));
  request.localFile = work / "good.bin";
  EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Success);
  // 2049 application bytes: a 2048-byte part (36 pieces of 56 and one of 32) and a 1-byte part.
  EXPECT_EQ(requestsOf(kWriteMem), 38u);
  EXPECT_EQ(runningVersion(), "1.0.4.0");
}

TEST_F(UsbUpdateTest, AProgrammerInUseByAnotherProcessIsLeftAlone) {
  const auto image = ep::firmwareImage("1.0.5.0", 8192);
  std::ofstream(work / "fw.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  request.localFile = work / "fw.bin";
  {
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Failed);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("Tip: The QUBRIX Tool 439041101 is in use by process 1 (", 0), 0u)
        << sink.messages[0];
    EXPECT_TRUE(device->log().empty());
    EXPECT_FALSE(inBootloader());
  }
  RecordingSink again;
  EXPECT_EQ(update::updateOverUsb(request, again, timers), base::Outcome::Success);
  EXPECT_EQ(runningVersion(), "1.0.5.0");
}

TEST_F(UsbUpdateTest, AProgrammerUnpluggedMidWriteIsUpdatedFromItsBootloaderNextTime) {
  const auto image = ep::firmwareImage("1.0.5.0", 8192);
  std::ofstream(work / "fw.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  request.localFile = work / "fw.bin";
  device->unplugAfter(20);
  EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Failed);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].rfind("Tip: The update failed, error: ", 0), 0u) << sink.messages[0];
  EXPECT_EQ(sink.events.back(), "finished");

  device->plugIn();
  ASSERT_TRUE(inBootloader());
  timers.clearWaits();
  device->clearLog();
  RecordingSink again;
  EXPECT_EQ(update::updateOverUsb(request, again, timers), base::Outcome::Success);
  EXPECT_TRUE(timers.waits().empty()) << "the programmer was already in its bootloader";
  EXPECT_EQ(requestsOf(kRestart), 1u);  // only the start of the application
  EXPECT_EQ(runningVersion(), "1.0.5.0");
}

TEST_F(UsbUpdateTest, Version1025IsInstalledOnlyAfterAYes) {
  request.record = {"1.0.2.5", "/fw.bin", "x"};
  sink.answerYes = false;
  EXPECT_EQ(update::updateOverUsb(request, sink, timers), base::Outcome::Cancelled);
  ASSERT_EQ(sink.questions.size(), 1u);
  EXPECT_EQ(sink.questions[0].rfind("Confirm: Upgrading this version will render", 0), 0u);
  EXPECT_TRUE(device->log().empty());
}

}  // namespace
