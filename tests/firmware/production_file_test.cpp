// Encrypted program files and production project files: written from a loaded image, read back
// by the loader and by the store manager's reader, and refused when they are not what they claim.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/cipher/tea.hpp"
#include "firmware/loader.hpp"
#include "firmware/production/store_reader.hpp"
#include "firmware/production/writer.hpp"
#include "hex_builder.hpp"
#include "recording_sink.hpp"
#include "tests/support/temp_home.hpp"

namespace {

namespace fs = std::filesystem;
using firmware::LoadMode;
using firmware::ProgramFileKind;
using fwtest::pattern;
using fwtest::RecordingSink;
using production::FileKind;
using Bytes = std::vector<std::uint8_t>;

const char kCabInvalid[] =
    "There is an error in the encryption program file. Please load the correct encryption program file!";
const char kCapInvalid[] = "Invalid production project file, please load the correct production project file!";

const char kCatalogue[] = R"(<mcuList>
  <mcuFamily name="E" id="E8" mcuType="K7A0" flashSize="16">
    <mcu name="M16" model="0101"/>
    <mcu name="M8E" model="0102" flashSize="8" eepromSize="512"/>
  </mcuFamily>
</mcuList>)";

class SaveTo final : public production::WriteSink {
 public:
  explicit SaveTo(std::optional<fs::path> path) : path_(std::move(path)) {}
  std::optional<fs::path> askSavePath(const production::SaveDialog& dialog) override {
    dialogs.push_back(dialog);
    return path_;
  }
  void onLog(const std::string& text, base::LogColour colour) override { logs.emplace_back(text, colour); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    boxes.push_back({text, caption, icon});
  }
  std::vector<production::SaveDialog> dialogs;
  std::vector<std::pair<std::string, base::LogColour>> logs;
  std::vector<RecordingSink::Box> boxes;

 private:
  std::optional<fs::path> path_;
};

production::ProductionSettings fullSettings() {
  production::ProductionSettings s;
  s.write_limit_num_enable = true;
  s.write_num_max = 3000;
  s.writer_ID_limit_enable = true;
  s.write_id_num = 0x1234ABCD;
  s.write_id_digits = 8;
  s.user_code_enable = true;
  s.user_code = 1000;
  s.key_enable = true;
  s.key = {'K', 'e', 'y', '-', 'o', 'f', '-', 's', 'i', 'x', 't', 'e', 'e', 'n', '!', '!'};
  s.key_count = 16;
  return s;
}

Bytes readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ProgramFileKind loaderKind(FileKind kind) {
  return kind == FileKind::EncryptedProgram ? ProgramFileKind::EncryptedProgram : ProgramFileKind::ProductionProject;
}

class ProductionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    dir_ = testsupport::makeTempDir("qx_production_file");
    list_ = firmware::LoadCatalogue(kCatalogue);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    base::setThreadLanguage(base::kLangChinese);
  }

  firmware::McuPtr model(const char* name) const { return firmware::FindByName(list_, name); }
  std::uint16_t code(const char* name) const { return firmware::TypeIndex(*model(name)); }

  fs::path write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return dir_ / name;
  }
  fs::path write(const std::string& name, const Bytes& content) {
    return write(name, std::string(content.begin(), content.end()));
  }

  bool load(const fs::path& path, ProgramFileKind kind, std::uint16_t modelCode, LoadMode mode = LoadMode::Other) {
    sink_ = RecordingSink();
    sink_.port = port_;
    firmware::LoadTarget target{modelCode, mode, &list_};
    target.settings = &settings_;
    return firmware::LoadProgramFile(path, kind, target, image_, sink_);
  }

  // What the Writer panel generates from: the program loaded in Writer mode.
  firmware::ProgramImage programFor(const char* name, const Bytes& program) {
    EXPECT_TRUE(load(write("program.hex", fwtest::hexFile(program)), ProgramFileKind::Hex, code(name)));
    return image_;
  }

  // A file of `program` with a header made by hand; `edit` changes the header afterwards, so the
  // data part stays what the unedited header says.
  fs::path craft(const std::string& name, FileKind kind, const char* modelName, const Bytes& program,
                 void (*edit)(production::ProductionHeader&) = nullptr) {
    auto h = production::makeHeader(kind, fullSettings(), *model(modelName), code(modelName), 0,
                                    static_cast<std::uint32_t>(program.size()), production::Rand15(3));
    firmware::ProgramImage source;
    source.data = program;
    Bytes file = production::ProductionFileBytes(kind, h, source);
    if (edit != nullptr) {
      edit(h);
      const auto header = production::encodeHeader(h);
      std::copy(header.begin(), header.end(), file.begin());
    }
    return write(name, file);
  }

  fs::path dir_;
  firmware::McuList list_;
  firmware::ProgramImage image_;
  production::ProductionSettings settings_;
  RecordingSink sink_;
  firmware::IspPortChoice port_ = firmware::IspPortChoice::Usb;
};

TEST_F(ProductionFileTest, WriteThenReadGivesBackImageSettingsModelAndKeyForBothKinds) {
  const Bytes program = pattern(300, 9);
  for (FileKind kind : {FileKind::EncryptedProgram, FileKind::ProductionProject}) {
    for (LoadMode mode : {LoadMode::Isp, LoadMode::Other}) {
      const bool cab = kind == FileKind::EncryptedProgram;
      SCOPED_TRACE(std::string(cab ? ".cab" : ".cap") + (mode == LoadMode::Isp ? " isp" : " writer"));
      const firmware::ProgramImage source = programFor("M8E", program);
      production::ProductionSettings written = fullSettings();
      written.write_limit_num_enable = false;  // the header keeps the maximum; the panel's becomes 0
      const fs::path path = dir_ / (cab ? "out_JM.cab" : "out.cap");
      SaveTo save(path);
      ASSERT_EQ(production::WriteProductionFile(kind, {source, *model("M8E"), code("M8E"), dir_ / "program.hex"},
                                                written, save),
                production::WriteResult::Written);
      EXPECT_EQ(written.write_num_max, 0u);
      ASSERT_EQ(save.logs.size(), 1u);
      EXPECT_EQ(save.logs[0].first, cab ? "--> The encrypted program file was generated successfully!"
                                        : "--> The production engineering file have been generated successfully!");
      EXPECT_TRUE(save.boxes.empty());

      // The file: header, then exactly dataLength bytes, plain only in a .cap.
      const Bytes file = readBytes(path);
      ASSERT_EQ(file.size(), 256u + 300u);
      EXPECT_EQ(std::equal(program.begin(), program.end(), file.begin() + 256), !cab);
      production::HeaderBytes plain;
      std::copy_n(file.begin(), 256, plain.begin());
      cipher::TeaDecrypt(plain.data(), plain.size(), cipher::kBuiltInTeaKey);
      const std::uint32_t bytes64 = (std::uint32_t{plain[64]} << 24) | (std::uint32_t{plain[65]} << 16) |
                                    (std::uint32_t{plain[66]} << 8) | plain[67];
      EXPECT_EQ(written.encrypt_file_id, bytes64);
      EXPECT_EQ(production::parseHeader(plain).write_num_max, 3000u);

      // Read back while another model is selected: the file's model takes over.
      settings_ = {};
      ASSERT_TRUE(load(path, loaderKind(kind), code("M16"), mode));
      ASSERT_EQ(sink_.models.size(), 1u);
      EXPECT_EQ(sink_.models[0], std::make_pair(code("M8E"), std::string("M8E")));
      EXPECT_EQ(image_.m_MaxFileLength, 8192u);
      EXPECT_EQ(image_.dataLength, 300u);
      EXPECT_EQ(image_.loadedLength, mode == LoadMode::Isp ? 300u : 8192u);
      EXPECT_EQ(image_.programLength, mode == LoadMode::Isp ? 384 : 8192);
      EXPECT_EQ(image_.totalChecksum, source.totalChecksum);
      EXPECT_EQ(image_.fromEncryptedFile, cab);
      EXPECT_EQ(image_.rawFile.size(), 8192u + 256u);
      EXPECT_TRUE(std::equal(file.begin(), file.end(), image_.rawFile.begin()));
      EXPECT_EQ(image_.header, plain);
      // The hex view shows the file itself for a .cab, the program for a .cap.
      EXPECT_EQ(sink_.shown.back(), Bytes((cab ? image_.rawFile : image_.data).begin(),
                                          (cab ? image_.rawFile : image_.data).begin() + 8192));

      Bytes data = image_.data;
      // In ISP mode a .cab's image stays enciphered under the built-in key in memory.
      if (cab && mode == LoadMode::Isp) cipher::TeaDecrypt(data.data(), 8192, cipher::kBuiltInTeaKey);
      EXPECT_TRUE(std::equal(program.begin(), program.end(), data.begin()));
      EXPECT_EQ(image_.enciphered, cab && mode == LoadMode::Isp);
      // Whatever the mode, a job's program bytes are the plain program.
      const Bytes programBytes = firmware::ProgramBytes(image_);
      EXPECT_TRUE(std::equal(program.begin(), program.end(), programBytes.begin()));
      EXPECT_TRUE(std::all_of(data.begin() + 300, data.begin() + 8192, [](std::uint8_t b) { return b == 0xFF; }));

      EXPECT_EQ(settings_.write_limit_num_enable, false);
      EXPECT_EQ(settings_.write_num_max, 3000u);
      EXPECT_TRUE(settings_.writer_ID_limit_enable);
      EXPECT_EQ(settings_.write_id_num, 0x1234ABCDu);
      EXPECT_TRUE(settings_.user_code_enable);
      EXPECT_EQ(settings_.user_code, 1000u);
      EXPECT_EQ(settings_.encrypt_file_id, written.encrypt_file_id);
      EXPECT_EQ(settings_.fromEncryptedFile, cab);
      EXPECT_EQ(settings_.key_enable, cab);
      EXPECT_EQ(settings_.key, cab ? written.key : decltype(settings_.key){});
    }
  }
}

TEST_F(ProductionFileTest, SaveDialogOffersTheDefaultNameExtensionAndFilter) {
  const auto cab = production::SaveDialogFor(FileKind::EncryptedProgram, "/work/fw/blink.v2.hex");
  EXPECT_EQ(cab.defaultName, fs::path("/work/fw/blink.v2_JM.cab"));
  EXPECT_EQ(cab.defaultExtension, "cab");
  EXPECT_EQ(cab.filter, "cab files (*.cab)|*.cab|*.bin|all files (*.*)|*.*||");
  const auto cap = production::SaveDialogFor(FileKind::ProductionProject, "/work/fw/blink.hex");
  EXPECT_EQ(cap.defaultName, fs::path("/work/fw/blink.cap"));
  EXPECT_EQ(cap.defaultExtension, "cap");
  EXPECT_EQ(cap.filter, "cap文件(*.cap)|*.cap||");
}

TEST_F(ProductionFileTest, ThirteenDataBytesInACabEncipherEightAndKeepFivePlain) {
  const Bytes program = pattern(13, 0x40);
  const fs::path path = craft("short.cab", FileKind::EncryptedProgram, "M16", program);
  const Bytes file = readBytes(path);
  ASSERT_EQ(file.size(), 256u + 13u);
  EXPECT_FALSE(std::equal(program.begin(), program.begin() + 8, file.begin() + 256));
  EXPECT_TRUE(std::equal(program.begin() + 8, program.end(), file.begin() + 264));

  ASSERT_TRUE(load(path, ProgramFileKind::EncryptedProgram, code("M16")));
  EXPECT_TRUE(std::equal(program.begin(), program.end(), image_.data.begin()));
  EXPECT_EQ(image_.data[13], 0xFF);
}

TEST_F(ProductionFileTest, EepromDataBesideTheFlashLoadAndOneByteMoreIsRefused) {
  const Bytes program = pattern(8704, 5);
  // In ISP mode the loaded length is the file's, which reaches into the EEPROM.
  ASSERT_TRUE(load(craft("eeprom.cap", FileKind::ProductionProject, "M8E", program),
                   ProgramFileKind::ProductionProject, code("M8E"), LoadMode::Isp));
  EXPECT_EQ(image_.m_MaxFileLength, 8704u);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), image_.data.begin()));
  EXPECT_EQ(image_.dataChecksum, firmware::ImageChecksum(program.data(), 8192));

  Bytes longer = pattern(8705, 5);
  EXPECT_FALSE(load(craft("over.cap", FileKind::ProductionProject, "M8E", longer),
                    ProgramFileKind::ProductionProject, code("M8E")));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, kCapInvalid);
}

TEST_F(ProductionFileTest, BadFilesAreRefusedWithTheirKindsMessageAndTouchNothing) {
  const Bytes program = pattern(200, 3);
  std::mt19937 random(11);
  Bytes garbage(512);
  for (auto& b : garbage) b = static_cast<std::uint8_t>(random());
  const Bytes cabFile = readBytes(craft("good.cab", FileKind::EncryptedProgram, "M16", program));
  const Bytes capFile = readBytes(craft("good.cap", FileKind::ProductionProject, "M16", program));

  struct Case {
    const char* what;
    fs::path file;
    ProgramFileKind kind;
    const char* box;
    const char* log;
  } cases[] = {
      {"garbage .cab", write("g.cab", garbage), ProgramFileKind::EncryptedProgram, kCabInvalid, nullptr},
      {"garbage .cap", write("g.cap", garbage), ProgramFileKind::ProductionProject, kCapInvalid, nullptr},
      {"empty", write("e.cap", Bytes{}), ProgramFileKind::ProductionProject, kCapInvalid, nullptr},
      {"header cut short", write("h.cab", Bytes(cabFile.begin(), cabFile.begin() + 200)),
       ProgramFileKind::EncryptedProgram, kCabInvalid, nullptr},
      {"data cut short", write("d.cab", Bytes(cabFile.begin(), cabFile.end() - 1)), ProgramFileKind::EncryptedProgram,
       kCabInvalid, nullptr},
      {".cap data cut short", write("d.cap", Bytes(capFile.begin(), capFile.begin() + 300)),
       ProgramFileKind::ProductionProject, kCapInvalid, nullptr},
      {"a .cap opened as .cab", write("cap_as.cab", capFile), ProgramFileKind::EncryptedProgram, kCabInvalid, nullptr},
      {"a .cab opened as .cap", write("cab_as.cap", cabFile), ProgramFileKind::ProductionProject, kCapInvalid, nullptr},
      {"data longer than the flash", craft("big.cab", FileKind::EncryptedProgram, "M16", pattern(16385)),
       ProgramFileKind::EncryptedProgram, kCabInvalid, nullptr},
      {"dataLength of 4 GiB", craft("huge.cap", FileKind::ProductionProject, "M16", program,
                                    [](production::ProductionHeader& h) { h.dataLength = 0xFFFFFFFF; }),
       ProgramFileKind::ProductionProject, kCapInvalid, nullptr},
      {"model id not the code's", craft("m.cab", FileKind::EncryptedProgram, "M16", program,
                                        [](production::ProductionHeader& h) { h.model = 0x0102; }),
       ProgramFileKind::EncryptedProgram,
       "The encryption program file has an error and the matching chip cannot be identified!", nullptr},
      {"model code unknown", craft("m.cap", FileKind::ProductionProject, "M16", program,
                                   [](production::ProductionHeader& h) { h.modelCode = 0x7FFF; h.model = 0xFFFF; }),
       ProgramFileKind::ProductionProject, "加载生产工程文件出错，识别不到匹配芯片",
       "--> 加载生产工程文件出错，识别不到匹配芯片! "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(load(write("before.hex", fwtest::hexFile(pattern(64))), ProgramFileKind::Hex, code("M16")));
    const firmware::ProgramImage before = image_;
    settings_ = fullSettings();
    settings_.fromEncryptedFile = true;
    settings_.encrypt_file_id = 0xCAFE0001;

    EXPECT_FALSE(load(c.file, c.kind, code("M16")));
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].text, c.box);
    EXPECT_EQ(sink_.boxes[0].caption, "Tip");
    ASSERT_EQ(sink_.logs.size(), 1u);
    EXPECT_EQ(sink_.logs[0].first, c.log != nullptr ? std::string(c.log) : std::string("--> ") + c.box);
    EXPECT_EQ(sink_.logs[0].second, base::LogColour::Error);
    EXPECT_EQ(sink_.fileNames, std::vector<std::string>{"No File Selected!"});
    EXPECT_EQ(sink_.shown.back(), Bytes(16384, 0xFF));
    EXPECT_TRUE(sink_.models.empty() && sink_.checksums.empty());

    EXPECT_EQ(image_.data, before.data);
    EXPECT_EQ(image_.dataLength, before.dataLength);
    EXPECT_EQ(image_.totalChecksum, before.totalChecksum);
    // The settings of a refused file are cleared; the last good file's id stays.
    EXPECT_FALSE(settings_.write_limit_num_enable || settings_.writer_ID_limit_enable || settings_.user_code_enable ||
                 settings_.key_enable || settings_.fromEncryptedFile);
    EXPECT_EQ(settings_.key_count, 0u);
    EXPECT_EQ(settings_.encrypt_file_id, 0xCAFE0001u);
  }
}

TEST_F(ProductionFileTest, MissingFileIsAReadError) {
  EXPECT_FALSE(load(dir_ / "absent.cab", ProgramFileKind::EncryptedProgram, code("M16")));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Error in reading the file!");
  EXPECT_TRUE(sink_.logs.empty());
}

TEST_F(ProductionFileTest, EncryptedFilesAskForTheSerialProgrammersVersion) {
  const Bytes program = pattern(100);
  const fs::path cab = craft("v.cab", FileKind::EncryptedProgram, "M16", program);
  const fs::path cap = craft("v.cap", FileKind::ProductionProject, "M16", program);

  port_ = firmware::IspPortChoice::Usb;
  ASSERT_TRUE(load(cab, ProgramFileKind::EncryptedProgram, code("M16")));
  EXPECT_EQ(sink_.versionQueries, 0);

  port_ = firmware::IspPortChoice::SerialPort;
  ASSERT_TRUE(load(cab, ProgramFileKind::EncryptedProgram, code("M16")));
  EXPECT_EQ(sink_.versionQueries, 1);
  ASSERT_TRUE(load(cap, ProgramFileKind::ProductionProject, code("M16")));
  EXPECT_EQ(sink_.versionQueries, 0);

  port_ = firmware::IspPortChoice::NoSelection;
  EXPECT_TRUE(load(cap, ProgramFileKind::ProductionProject, code("M16")));
  EXPECT_FALSE(load(cab, ProgramFileKind::EncryptedProgram, code("M16")));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Get the QUBRIX Tool version, please select the correct serial port.");
  EXPECT_TRUE(sink_.logs.empty()) << "no success line";
}

TEST_F(ProductionFileTest, UnwritablePathGivesSaveFailedAndLeavesNoFile) {
  const firmware::ProgramImage source = programFor("M16", pattern(100));
  const fs::path folder = dir_ / "taken";
  fs::create_directory(folder);
  for (const fs::path& target : {dir_ / "no_such_folder" / "x.cab", folder}) {
    SCOPED_TRACE(target.string());
    production::ProductionSettings s = fullSettings();
    SaveTo save(target);
    EXPECT_EQ(production::WriteProductionFile(FileKind::EncryptedProgram,
                                              {source, *model("M16"), code("M16"), dir_ / "program.hex"}, s, save),
              production::WriteResult::Failed);
    ASSERT_EQ(save.boxes.size(), 1u);
    EXPECT_EQ(save.boxes[0].text, "Save failed. Cannot write to the file.");
    EXPECT_EQ(save.boxes[0].caption, "Tip");
    EXPECT_TRUE(save.logs.empty());
    EXPECT_EQ(s.encrypt_file_id, 0u);
  }
  EXPECT_TRUE(fs::is_empty(folder));
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(dir_)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<fs::path>{"program.hex", "taken"})) << "no temporary file stays behind";
}

TEST_F(ProductionFileTest, OverwritingReplacesTheFileAndCancellingWritesNothing) {
  const firmware::ProgramImage source = programFor("M16", pattern(100));
  const fs::path target = write("old.cap", Bytes(5000, 0x11));
  production::ProductionSettings s = fullSettings();
  SaveTo save(target);
  ASSERT_EQ(production::WriteProductionFile(FileKind::ProductionProject,
                                            {source, *model("M16"), code("M16"), dir_ / "program.hex"}, s, save),
            production::WriteResult::Written);
  EXPECT_EQ(fs::file_size(target), 356u);

  SaveTo cancel(std::nullopt);
  EXPECT_EQ(production::WriteProductionFile(FileKind::ProductionProject,
                                            {source, *model("M16"), code("M16"), dir_ / "program.hex"}, s, cancel),
            production::WriteResult::Cancelled);
  ASSERT_EQ(cancel.dialogs.size(), 1u);
  EXPECT_EQ(cancel.dialogs[0].defaultName, dir_ / "program.cap");
  EXPECT_TRUE(cancel.logs.empty() && cancel.boxes.empty());
}

TEST_F(ProductionFileTest, StoreReaderTakesEitherMagicAndReturnsPlainData) {
  const Bytes program = pattern(77, 0x21);
  for (FileKind kind : {FileKind::EncryptedProgram, FileKind::ProductionProject}) {
    SCOPED_TRACE(kind == FileKind::EncryptedProgram ? ".cab" : ".cap");
    // The name does not matter to this reader.
    const fs::path path = craft("stored.bin", kind, "M8E", program);
    const auto read = production::ReadStoreProductionFile(path, list_);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->kind, kind);
    EXPECT_EQ(read->data, program);
    EXPECT_EQ(read->header.model, 0x0102);
    EXPECT_EQ(read->settings.write_id_num, 0x1234ABCDu);
    EXPECT_EQ(read->settings.user_code, 1000u);
    EXPECT_EQ(read->settings.key, fullSettings().key);
    EXPECT_EQ(read->settings.encrypt_file_id, read->header.fileId());
  }

  const Bytes good = readBytes(craft("s.cab", FileKind::EncryptedProgram, "M16", program));
  const auto refused = [this](const Bytes& bytes) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    return !production::ReadStoreProductionFile(in, list_);
  };
  EXPECT_TRUE(refused(Bytes(512, 0x00))) << "garbage";
  EXPECT_TRUE(refused(Bytes(good.begin(), good.begin() + 255))) << "header cut short";
  EXPECT_TRUE(refused(Bytes(good.begin(), good.end() - 1))) << "data cut short";
  EXPECT_TRUE(refused(readBytes(craft("w.cab", FileKind::EncryptedProgram, "M16", program,
                                      [](production::ProductionHeader& h) { h.model = 0x0102; }))))
      << "model id not the code's";
  EXPECT_TRUE(refused(readBytes(craft("l.cab", FileKind::EncryptedProgram, "M16", program,
                                      [](production::ProductionHeader& h) { h.dataLength = 0xFFFFFFF0; }))))
      << "length beyond the file";
  EXPECT_FALSE(production::ReadStoreProductionFile(dir_ / "absent.cab", list_));
}

}  // namespace
