// The main window's rules without a window: the settings file, the saved image, the mode plans,
// the file choice and the small texts.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "tests/support/read_file.hpp"
#include "tests/support/temp_home.hpp"
#include "ui/main/image_save.hpp"
#include "ui/main/mode_plan.hpp"
#include "ui/main/tool_settings.hpp"
#include "ui/main/window_rules.hpp"

namespace {

using base::IniFile;
using mainwin::readToolSettings;

struct ReadCase {
  const char* name;
  const char* ini;
  std::size_t ports;
  int portNumber;
  std::size_t listIndex;
  int baud;
  std::optional<std::uint16_t> model;
};

class SettingsReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SettingsReading, FollowsTheRules) {
  const ReadCase& c = GetParam();
  const mainwin::ToolSettings s = readToolSettings(IniFile::parse(c.ini), c.ports);
  EXPECT_EQ(s.portNumber, c.portNumber);
  EXPECT_EQ(s.portListIndex, c.listIndex);
  EXPECT_EQ(s.baudRate, c.baud);
  EXPECT_EQ(s.mcuTypeIndex, c.model);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsReading,
    ::testing::Values(
        ReadCase{"Missing", "", 3, 1, 0, 19200, std::nullopt},
        ReadCase{"Kept", "[COM端口]\n端口=COM5\n[COM_LIST_INDEX]\nINDEX=2\n[串口波特率]\n波特率=115200\n"
                         "[芯片型号]\nMCU_TYPE_INDEX=4099\n",
                 3, 5, 2, 115200, 0x1003},
        ReadCase{"PortOutOfRange", "[COM端口]\n端口=COM200\n[COM_LIST_INDEX]\nINDEX=1\n", 3, 1, 1, 19200, std::nullopt},
        ReadCase{"IndexBeyondTheList", "[COM端口]\n端口=COM5\n[COM_LIST_INDEX]\nINDEX=3\n", 3, 1, 0, 19200, std::nullopt},
        ReadCase{"BaudZero", "[串口波特率]\n波特率=0\n", 1, 1, 0, 19200, std::nullopt},
        ReadCase{"ModelZero", "[芯片型号]\nMCU_TYPE_INDEX=0\n", 1, 1, 0, 19200, std::nullopt},
        ReadCase{"ModelLowByteAbove249", "[芯片型号]\nMCU_TYPE_INDEX=4346\n", 1, 1, 0, 19200, std::nullopt},
        ReadCase{"ModelLowByte249", "[芯片型号]\nMCU_TYPE_INDEX=4345\n", 1, 1, 0, 19200, 0x10F9}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SettingsReading, FlagsTimersAndBytesPerLine) {
  const auto s = readToolSettings(IniFile::parse("[HEX显示]\nHexDis=1\n[分包显示]\nPackageDis=2\n[HEX发送]\nHexSend=1\n"
                                                 "[接收超时]\nOutTimer=0\n[接收每行个数]\nRecDisNum=32\n"
                                                 "[接收自动清除]\nAutoClear=yes\n"),
                                  1);
  EXPECT_TRUE(s.hexDisplay);
  EXPECT_FALSE(s.packageDisplay);  // only 1 means on
  EXPECT_TRUE(s.hexSend);
  EXPECT_FALSE(s.autoClear);
  EXPECT_EQ(s.receiveTimeoutMs, 50);
  EXPECT_EQ(s.sendPeriodMs, 100);
  // Kept although the send period is missing.
  EXPECT_EQ(s.bytesPerLine, 32);
}

TEST(SettingsFile, WrittenWithItsOwnNamesAndReadBack) {
  testsupport::TempHome home;
  const auto path = mainwin::toolSettingsPath();
  EXPECT_EQ(path, home.path() / "XDG_CONFIG_HOME" / "QUBRIX" / "QUBRIX_TOOL_CONFIG.ini");

  mainwin::ToolSettings s;
  s.portNumber = 7;
  s.portListIndex = 1;
  s.baudRate = 57600;
  s.mcuTypeIndex = 0x2105;
  s.hexSend = true;
  s.sendPeriodMs = 250;
  s.bytesPerLine = 16;
  s.portPath = "/dev/ttyUSB1";
  s.eraseChip = true;
  s.upgradeBaudIndex = 8;
  s.calibrateRc = false;
  s.programmingTypeIndex = 2;
  IniFile ini = IniFile::parse("[Other]\nkept=yes\n");
  mainwin::storeToolSettings(s, ini);
  ASSERT_TRUE(ini.write(path));

  const std::string text = testsupport::readFile(path);
  EXPECT_NE(text.find("[COM端口]\n端口=COM7\n"), std::string::npos);
  EXPECT_NE(text.find("[芯片型号]\nMCU_TYPE_INDEX=8453\n"), std::string::npos);
  const IniFile back = IniFile::read(path);
  EXPECT_EQ(back.value("Other", "kept"), "yes");
  const auto r = readToolSettings(back, 2);
  EXPECT_EQ(r.portNumber, 7);
  EXPECT_EQ(r.portListIndex, 1u);
  EXPECT_EQ(r.baudRate, 57600);
  EXPECT_EQ(r.mcuTypeIndex, 0x2105);
  EXPECT_TRUE(r.hexSend);
  EXPECT_EQ(r.sendPeriodMs, 250);
  EXPECT_EQ(r.bytesPerLine, 16);
  EXPECT_EQ(r.portPath, "/dev/ttyUSB1");
  EXPECT_TRUE(r.eraseChip);
  EXPECT_EQ(r.upgradeBaudIndex, 8);
  EXPECT_FALSE(r.calibrateRc);
  EXPECT_EQ(r.programmingTypeIndex, 2);
  // Missing or unusable: the defaults.
  const auto d = readToolSettings(IniFile::parse("[升级波特率]\nUpgradeBaud=12\n[编程类型]\nProgType=-1\n"), 0);
  EXPECT_TRUE(d.portPath.empty());
  EXPECT_FALSE(d.eraseChip);
  EXPECT_EQ(d.upgradeBaudIndex, 0);
  EXPECT_TRUE(d.calibrateRc);
  EXPECT_EQ(d.programmingTypeIndex, 0);
}

TEST(ImageListing, OffsetsBlanksAndNoNewlineAtTheEnd) {
  std::vector<std::uint8_t> bytes(18);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 0x11);
  EXPECT_EQ(mainwin::ImageListing(bytes),
            "000000: 00 11 22 33 44 55 66 77  88 99 AA BB CC DD EE FF  \n"
            "000010: 10 21 ");
  EXPECT_EQ(mainwin::ImageListing(std::span(bytes).first(8)), "000000: 00 11 22 33 44 55 66 77  ");
  EXPECT_EQ(mainwin::ImageListing({}), "");
}

class SaveImage : public ::testing::Test {
 protected:
  void SetUp() override { dir = testsupport::makeTempDir("qubrix-save-"); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
  }
  std::filesystem::path dir;
  const std::vector<std::uint8_t> bytes{0x02, 0x00, 0x30, 0xFF, 0x0A};
};

TEST_F(SaveImage, BinTakesTheBytesTxtTheListing) {
  EXPECT_EQ(mainwin::SaveImageFile(dir / "a.bin", bytes), mainwin::SaveResult::Saved);
  EXPECT_EQ(testsupport::readFile(dir / "a.bin"), std::string("\x02\x00\x30\xFF\x0A", 5));
  EXPECT_EQ(mainwin::SaveImageFile(dir / "b.TXT", bytes), mainwin::SaveResult::Saved);
  EXPECT_EQ(testsupport::readFile(dir / "b.TXT"), "000000: 02 00 30 FF 0A ");
  EXPECT_EQ(mainwin::SaveImageFile(dir / "c.hex", bytes), mainwin::SaveResult::NoKind);
  EXPECT_EQ(entries(), 2u);
}

TEST_F(SaveImage, AFailureLeavesNoFileBehind) {
  EXPECT_EQ(mainwin::SaveImageFile(dir / "missing" / "a.bin", bytes), mainwin::SaveResult::CannotWrite);
  // The rename fails on a directory of that name: the temporary file must go again.
  std::filesystem::create_directory(dir / "taken.txt");
  EXPECT_EQ(mainwin::SaveImageFile(dir / "taken.txt", bytes), mainwin::SaveResult::CannotWrite);
  EXPECT_EQ(entries(), 1u);
  // An existing file is replaced whole.
  std::ofstream(dir / "old.bin") << "previous contents, longer than the image";
  EXPECT_EQ(mainwin::SaveImageFile(dir / "old.bin", bytes), mainwin::SaveResult::Saved);
  EXPECT_EQ(testsupport::readFile(dir / "old.bin").size(), bytes.size());
}

TEST(SaveRefusal, RefusalsAndTheBytesSaved) {
  firmware::ProgramImage image;
  EXPECT_EQ(mainwin::SaveRefusal(image), 318);
  image.data.assign(0x100, 0xFF);
  image.dataLength = 0x40;
  EXPECT_EQ(mainwin::SaveRefusal(image), std::nullopt);
  EXPECT_EQ(mainwin::SavedBytes(image).size(), 0x40u);
  image.fromEncryptedFile = true;
  EXPECT_EQ(mainwin::SaveRefusal(image), 319);
  image.dataLength = 0x1000;  // never past the buffer
  EXPECT_EQ(mainwin::SavedBytes(image).size(), 0x100u);
}

TEST(ModePlan, NotesShownControlsAndBaudIndex) {
  using V = std::vector<int>;
  EXPECT_EQ(mainwin::PlanMode(0, 0).notes, V{155});
  EXPECT_EQ(mainwin::PlanMode(1, 0).notes, V{156});
  EXPECT_EQ(mainwin::PlanMode(2, 0).notes, (V{149, 150, 151, 152, 153, 154}));
  EXPECT_EQ(mainwin::PlanMode(3, 0).notes, (V{158, 159, 160, 161, 162, 163}));

  EXPECT_EQ(mainwin::PlanMode(0, 3).baudIndex, 0);
  EXPECT_EQ(mainwin::PlanMode(1, 3).baudIndex, std::nullopt);
  EXPECT_EQ(mainwin::PlanMode(2, 3).baudIndex, 8);
  EXPECT_EQ(mainwin::PlanMode(3, 3).baudIndex, 3);
  EXPECT_EQ(mainwin::PlanMode(3, 0).baudIndex, 5);
  EXPECT_EQ(mainwin::PlanMode(3, 12).baudIndex, 5);
  EXPECT_EQ(mainwin::PlanMode(3, 11).baudIndex, 11);

  for (int m : {0, 1}) {
    const auto v = mainwin::PlanMode(m, 0).show;
    EXPECT_TRUE(v.fileRow && v.bufferTab && v.fileInfo && v.writePage) << m;
    EXPECT_FALSE(v.touchGraph || v.serialViews) << m;
  }
  const auto touch = mainwin::PlanMode(2, 0).show;
  EXPECT_TRUE(touch.touchGraph && touch.touchTable && touch.bufferTab);
  EXPECT_FALSE(touch.fileRow || touch.fileInfo || touch.writePage);
  const auto serial = mainwin::PlanMode(3, 0).show;
  EXPECT_TRUE(serial.serialViews && serial.log);
  EXPECT_FALSE(serial.fileRow || serial.bufferTab || serial.fileInfo);
  EXPECT_TRUE(mainwin::PlanMode(3, 0).resizable);
  EXPECT_FALSE(mainwin::PlanMode(0, 0).resizable);
}

TEST(FileChoice, AnyOfTheFourEndingsAnywhereInThePath) {
  struct Case {
    const char* path;
    bool accepted;
    bool hex;
    std::optional<int> note;
  };
  for (const Case& c : {Case{"/tmp/blink.hex.txt", true, true, std::nullopt}, Case{"/tmp/FW.HEX", true, true, std::nullopt},
                        Case{"/tmp/app.bin", true, false, std::nullopt}, Case{"/tmp/p.cab", true, false, 270},
                        Case{"/tmp/p.CAP", true, false, 271}, Case{"/tmp/.bin/readme", true, false, std::nullopt},
                        Case{"/tmp/notes.txt", false, false, std::nullopt}, Case{"/tmp/hex", false, false, std::nullopt}}) {
    const auto choice = mainwin::ChooseProgramFile(c.path);
    ASSERT_EQ(choice.has_value(), c.accepted) << c.path;
    if (!choice) continue;
    EXPECT_EQ(choice->isHexFile, c.hex) << c.path;
    EXPECT_EQ(choice->note, c.note) << c.path;
  }
}

TEST(WindowRules, TitleChecksumFilterAndLogRoom) {
  EXPECT_EQ(mainwin::WindowTitle("1.0.2.6"), "QUBRIX Tool v1.0.2");
  EXPECT_EQ(mainwin::WindowTitle("2.1"), "QUBRIX Tool v2.1.0");
  EXPECT_EQ(mainwin::WindowTitle(""), "QUBRIX Tool v0.0.0");
  EXPECT_EQ(mainwin::ChecksumClipboardText(0x1fd2c2), "001FD2C2");
  EXPECT_EQ(mainwin::DialogFilter(
                "Program files (*.bin;*.hex;*.cab;*.cap)|*.bin;*.hex;*.cab;*.cap|All files (*.*)|*.*||"),
            "Program files (*.bin *.hex *.cab *.cap);;All files (*)");

  using R = mainwin::LogRoom;
  EXPECT_EQ(mainwin::LogRoomForScale(1.0), (R{140, 10}));
  EXPECT_EQ(mainwin::LogRoomForScale(1.2495), (R{170, 5}));
  EXPECT_EQ(mainwin::LogRoomForScale(1.5), (R{200, 5}));
  EXPECT_EQ(mainwin::LogRoomForScale(1.75), (R{230, 5}));
  EXPECT_EQ(mainwin::LogRoomForScale(1.52), (R{250, 0}));
  EXPECT_EQ(mainwin::LogRoomForScale(2.0), (R{250, 0}));
}

}  // namespace
