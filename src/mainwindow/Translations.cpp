#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
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

QStringList TranslationFolders(const QString& exeDir) {
  const QDir dir(exeDir);
  return {QDir::cleanPath(dir.filePath(QStringLiteral("../share/tessaly/translations"))),
          QDir::cleanPath(dir.filePath(QStringLiteral("../translations")))};
}

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
  auto* own = new QTranslator(&app);
  for (const QString& folder : TranslationFolders(QCoreApplication::applicationDirPath())) {
    if (own->load(QStringLiteral("tessaly_en"), folder)) {
      Install(own);
      return true;
    }
  }
  delete own;
  return false;
}

}  // namespace tessaly
