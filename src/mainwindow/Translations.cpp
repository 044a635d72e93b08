#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tessaly {
namespace {

const QString kTranslatorName = QStringLiteral("tessaly-translator");

void Install(QTranslator* translator) {
  translator->setObjectName(kTranslatorName);
  QCoreApplication::installTranslator(translator);
}

}  // namespace

bool InstallTranslations(QCoreApplication& app, const QLocale& locale) {
  for (QTranslator* old : app.findChildren<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
    QCoreApplication::removeTranslator(old);
    delete old;
  }

  auto* qt = new QTranslator(&app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    Install(qt);
  else
    delete qt;

  if (locale.language() == QLocale::Russian) return true;
  // Compiled into the program as a resource by the build.
  auto* own = new QTranslator(&app);
  if (own->load(QStringLiteral("tessaly_en"), QStringLiteral(":/i18n"))) {
    Install(own);
    return true;
  }
  delete own;
  return false;
}

}  // namespace tessaly
