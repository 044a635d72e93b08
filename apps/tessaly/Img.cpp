// tessaly: the window. Pictures named on the command line are opened as if
// chosen in the open dialog.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <exception>

#include "ImgMain.h"
#include "PathBytes.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessaly"));

  // Qt's own dialogs in the user's language, when its translation is there.
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTranslator);

  tessaly::TImageForm form(QApplication::applicationDirPath());
  // Without a window manager the maximized state is not applied: take the
  // screen's work area first.
  form.setGeometry(form.screen()->availableGeometry());
  form.showMaximized();

  // The names as their bytes (QApplication has taken its own options out of
  // argv): QApplication::arguments() replaces bytes that are not UTF-8, and
  // such a file could not be opened.
  QStringList files;
  for (int i = 1; i < argc; ++i) files << tessaly::PathFromBytes(QByteArray(argv[i]));
  if (!files.isEmpty()) {
    try {
      form.OpenPicture1Accept(files);
    } catch (const std::exception& e) {
      form.ShowError(QString::fromUtf8(e.what()));
    }
  }
  return QApplication::exec();
}
