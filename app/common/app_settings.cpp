#include "app/common/app_settings.hpp"

#include <QCoreApplication>
#include <QSettings>

#include "base/texts.hpp"

namespace appsettings {
namespace {

QSettings profile() { return QSettings(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication); }

}  // namespace

void initialise() {
  QCoreApplication::setOrganizationName(kOrganisation);
  QCoreApplication::setApplicationName(kApplication);
}

int storedLanguage() { return profile().value("General/LangID", base::kLangChinese).toInt(); }

std::optional<int> chosenLanguage() {
  const QSettings s = profile();
  if (!s.contains("General/LangID")) return std::nullopt;
  return s.value("General/LangID").toInt();
}

void storeLanguage(int langId) {
  QSettings s = profile();
  s.setValue("General/LangID", langId);
  s.sync();
}

}  // namespace appsettings
