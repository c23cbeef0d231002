// qubrix-tool: the window program. Exactly one top-level window runs; when it closes the process ends.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/common/app_settings.hpp"
#include "app/tool/command_line.hpp"
#include "app/tool/modes.hpp"
#include "base/texts.hpp"

int main(int argc, char** argv) {
  // Parsing comes before any window library is set up.
  tool::CommandLineRequest request;
  tool::ParseCommandLine(request, argc, argv);

  base::setThreadLanguage(appsettings::storedLanguage());
  if (request.mode == tool::kModeVerify || request.mode == tool::kModeErase) {
    return tool::runHeadless(request);
  }

  QApplication app(argc, argv);
  // Ties the windows to the installed desktop entry, so the desktop shows its name and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("com.qubrix.QubrixTool"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.qubrix.QubrixTool")));
  // Qt's own words (Yes/No, OK, Cancel of the message boxes and file dialogs) in the user's language.
  QTranslator qtWords;
  if (base::threadLanguage() != base::kLangEnglish &&
      qtWords.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtWords);
  }
  return request.mode == tool::kModeLoad ? tool::runLoadDialog(request) : tool::runMainWindow(request);
}
