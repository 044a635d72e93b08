// A window that opens one photo, applies a comment to it and is killed with
// SIGKILL right after: no close, no destructor.
// edits_window_helper DATABASE PHOTO COMMENT
#include <QApplication>
#include <csignal>
#include <cstdio>

#include "ImgMain.h"
#include "ValueListEditor.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) return 2;
  tessaly::TImageForm form(QApplication::applicationDirPath());
  form.ShowError = [](const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
  };
  form.UseEditStore(QString::fromLocal8Bit(argv[1]));
  form.OpenPicture1Accept({QString::fromLocal8Bit(argv[2])});
  form.ValueListEditor1->SetValue(tessaly::TImageForm::kCommentKey, QString::fromUtf8(argv[3]));
  form.ApplyAction->trigger();
  std::printf("applied\n");
  std::fflush(stdout);
  std::raise(SIGKILL);
  return 0;
}
