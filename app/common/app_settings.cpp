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

int storedInt(const char* key, int fallback) {
  return profile().value(QStringLiteral("General/") + QLatin1String(key), fallback).toInt();
}

void storeInt(const char* key, int value) {
  QSettings s = profile();
  s.setValue(QStringLiteral("General/") + QLatin1String(key), value);
  s.sync();
}

}  // namespace appsettings
