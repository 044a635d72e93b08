#!/usr/bin/env bash
# Collects the window's texts (tr() and QT_TRANSLATE_NOOP in the window's
# sources and tables) into translations/tessaly_en.ts: new texts are added
# unfinished, texts no longer in the sources are dropped. Translate the new
# ones (Qt Linguist, or by hand between <translation> tags); the build
# compiles the file with lrelease.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || lupdate=$(command -v lupdate)
"$lupdate" -no-obsolete -locations none -extensions cpp,h,def \
  -source-language ru_RU -target-language en_US \
  src/mainwindow src/panel apps/tessaly \
  -ts translations/tessaly_en.ts
