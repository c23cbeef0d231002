// Shows the hex editor as a buffer page sets it up, for looking at it by hand.
//   qx_hexedit_demo [--english] [--grab FILE.png] [--menu FILE.png]
// --grab saves a picture of the window and exits; --menu does the same with the context menu open.
#include <QApplication>
#include <QContextMenuEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "base/texts.hpp"
#include "widgets/hexeditbase.hpp"

namespace {

// Grabs the whole screen, so that an open popup menu is in the picture too.
void grabScreenLater(const QString& path) {
  QTimer::singleShot(400, [path] {
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    QApplication::exit(0);
  });
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  base::setThreadLanguage(args.contains(QStringLiteral("--english")) ? base::kLangEnglish
                                                                     : base::kLangChinese);
  const auto valueOf = [&args](const char* option) {
    const qsizetype at = args.indexOf(QString::fromLatin1(option));
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
  };

  QWidget window;
  window.setWindowTitle(QStringLiteral("CHexEditBase"));
  auto* layout = new QVBoxLayout(&window);
  auto* editor = new CHexEditBase(&window);
  layout->addWidget(editor);

  std::vector<std::uint8_t> bytes(0x20000, 0xFF);
  for (std::size_t i = 0; i < 0x100; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  const char greeting[] = "QUBRIX Tool hex view";
  std::copy(std::begin(greeting), std::end(greeting) - 1, bytes.begin() + 0x120);
  editor->SetAddressDigits(5);
  editor->SetShowAddress(true);
  editor->SetBytesPerRow(16);
  editor->SetShowAscii(true);
  editor->SetData(bytes.data(), bytes.size());

  window.resize(editor->sizeHint() + QSize(24, 24));
  window.show();
  window.activateWindow();
  editor->setFocus();
  editor->SetSelection(0x2E, 0x41);
  editor->SetCaret(0x41, false);

  const QString grab = valueOf("--grab");
  const QString menu = valueOf("--menu");
  if (!grab.isEmpty()) {
    QTimer::singleShot(300, [&window, grab] {
      window.grab().save(grab);
      QApplication::exit(0);
    });
  } else if (!menu.isEmpty()) {
    QTimer::singleShot(200, [editor] {
      QApplication::postEvent(editor,
                              new QContextMenuEvent(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                                    editor->mapToGlobal(QPoint(5, 5))));
    });
    grabScreenLater(menu);
  }
  return QApplication::exec();
}
