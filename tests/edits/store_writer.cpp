// Keeps one edit, says so, and kills itself with SIGKILL: nothing after the
// change runs, no destructor, no close of the database.
// store_writer DATABASE PICTURE COMMENT
#include <QString>
#include <csignal>
#include <cstdio>

#include "EditStore.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  auto* store = new tessaly::EditStore(QString::fromLocal8Bit(argv[1]));
  tessaly::PictureState state;
  state.dateText = QStringLiteral("12.09.2014");
  state.comment = QString::fromUtf8(argv[3]);
  if (!store->Save(QString::fromLocal8Bit(argv[2]), "print", state)) return 1;
  std::printf("saved\n");
  std::fflush(stdout);
  std::raise(SIGKILL);
  return 0;
}
