// Saves a picture of the store manager holding three programs, added through the dialog from a
// HEX, a BIN and an encrypted program file on the emulated programmer:
// qx_store_shots OUTDIR PREFIX LANGID SOURCEDIR. scripts/store_screenshots.sh runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "firmware/production/writer.hpp"
#include "ui/store/file_manager_dialog.hpp"

namespace {

void settle(int rounds = 10) {
  for (int i = 0; i < rounds; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}

std::filesystem::path write(const std::filesystem::path& dir, const char* name, const std::vector<std::uint8_t>& bytes) {
  const std::filesystem::path path = dir / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::uint8_t> encryptedProgram(std::size_t length) {
  const firmware::McuPtr model = firmware::FindByName("QB51F32");
  firmware::ProgramImage image;
  image.data.resize(length);
  for (std::size_t i = 0; i < length; ++i) image.data[i] = static_cast<std::uint8_t>(i * 13);
  production::ProductionSettings settings;
  for (std::size_t i = 0; i < settings.key.size(); ++i) settings.key[i] = static_cast<std::uint8_t>('k' + i % 8);
  const auto header = production::makeHeader(production::FileKind::EncryptedProgram, settings, *model,
                                             firmware::TypeIndex(*model), 0, static_cast<std::uint32_t>(length),
                                             production::timeSeededRandom());
  return production::ProductionFileBytes(production::FileKind::EncryptedProgram, header, image);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s OUTDIR PREFIX LANGID SOURCEDIR\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  QApplication app(argc, argv);

  auto device = emulator::programmer::EmulatedProgrammer::create();
  qx::setHardwareEnumeration(false);
  qx::addDeviceProvider([device] {
    std::vector<std::shared_ptr<qx::Interface>> found;
    if (auto link = device->attach()) found.push_back(std::move(link));
    return found;
  });

  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "qubrix-store-shots";
  std::filesystem::create_directories(scratch);
  std::vector<std::uint8_t> bin(6000);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
  const std::vector<std::string> files = {
      (std::filesystem::path(argv[4]) / "examples" / "blink.hex").string(),
      write(scratch, "motor_ctrl_v2.bin", bin).string(),
      write(scratch, "line3_JM.cab", encryptedProgram(12000)).string(),
  };

  CFileManagerDialog dialog(firmware::Catalogue(), {});
  dialog.show();
  settle();
  dialog.addFiles(files);
  for (int i = 0; i < 500 && dialog.adding(); ++i) settle(1);
  settle();
  dialog.list()->topLevelItem(1)->setSelected(true);
  settle();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString name = QStringLiteral("%1-store.png").arg(QString::fromLocal8Bit(argv[2]));
  if (!dialog.grab().save(out.filePath(name))) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
    return 1;
  }
  std::filesystem::remove_all(scratch);
  return dialog.list()->topLevelItemCount() == 3 ? 0 : 1;
}
