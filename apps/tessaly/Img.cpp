// tessaly: the window. Pictures and folders named on the command line are
// opened as if chosen in the open dialog, a folder as the pictures directly
// inside it.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <cstring>
#include <exception>
#include <memory>

#include "EditStore.h"
#include "FontDialogFile.h"
#include "ImgMain.h"
#include "PathBytes.h"
#include "PictureList.h"
#include "TessalyVersion.h"
#include "Translations.h"

namespace {

// --help and --version print and end without a window, so they need no
// display: a plain application object does for them.
bool PrintsOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) return false;
    for (const char* option : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
      if (std::strcmp(arg, option) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("tessaly"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
  std::unique_ptr<QCoreApplication> app;
  if (PrintsOnly(argc, argv))
    app = std::make_unique<QCoreApplication>(argc, argv);
  else
    app = std::make_unique<QApplication>(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Tessaly Orvanel: stamps the shooting date and a comment into photos.\n"
      "Opens the pictures given; a folder stands for the pictures directly inside it."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"),
                               QStringLiteral("Pictures, or folders of pictures, to open."),
                               QStringLiteral("[FILE|FOLDER...]"));
  // The names as their bytes (the application object has taken its own
  // options out of argv).
  parser.process(tessaly::ArgumentsFromBytes(argc, argv));  // --help, --version, unknown options: message and exit

  tessaly::InstallTranslations(*app, QLocale());
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tessaly.orvanel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.tessaly.orvanel")));

  // A first start gets a stamp that reads on any photo.
  tessaly::TImageForm form(QApplication::applicationDirPath(), nullptr, tessaly::FirstStartFont());
  // The window as it was left, else maximized. Without a window manager the
  // maximized state is not applied: take the screen's work area first.
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tessaly"), QStringLiteral("tessaly"));
  if (form.RestoreSettings(settings)) {
    form.show();
  } else {
    form.setGeometry(form.screen()->availableGeometry());
    form.showMaximized();
  }
  form.UseEditStore(tessaly::EditStore::DefaultPath());

  const QStringList files = tessaly::ExpandPictureArguments(parser.positionalArguments());
  if (!files.isEmpty()) {
    try {
      form.OpenPicture1Accept(files);
    } catch (const std::exception& e) {
      form.ShowError(QString::fromUtf8(e.what()));
    }
  }
  const int code = QApplication::exec();
  form.SaveSettings(settings);
  return code;
}
