// qubrix-tool: the window program. Exactly one top-level window runs; when it closes the process ends.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

#include "app/common/app_settings.hpp"
#include "app/tool/command_line.hpp"
#include "app/tool/startup.hpp"
#include "base/texts.hpp"

namespace {

int runPlaceholder(const QString& title, const QString& note) {
  QWidget window;
  window.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&window);
  auto* label = new QLabel(note, &window);
  label->setMargin(24);
  layout->addWidget(label);
  window.show();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  // Parsing comes before any window library is set up.
  tool::CommandLineRequest request;
  tool::ParseCommandLine(request, argc, argv);

  if (request.mode == tool::kModeVerify || request.mode == tool::kModeErase) {
    std::fprintf(stderr, "qubrix-tool: '%s' is not available yet in this build.\n",
                 request.mode == tool::kModeVerify ? "verify" : "erase");
    return 2;
  }

  QApplication app(argc, argv);
  appsettings::initialise();
  base::setThreadLanguage(appsettings::storedLanguage());

  if (request.mode == tool::kModeLoad) {
    return runPlaceholder("QUBRIX Tool", "The command-line programming dialog is not built yet (issue 4).");
  }
  tool::deleteLeftoverExecutable(QCoreApplication::applicationDirPath().toStdString());
  return runPlaceholder("QUBRIX Tool", "The main window is not built yet (issue 7).");
}
