#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root, or
# through sudo). Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev   # compilers, sanitizers, libFuzzer
  libgtest-dev                                     # unit tests
  qt6-base-dev qt6-translations-l10n libgl-dev     # the window (Widgets, Gui, Test)
  qt6-image-formats-plugins                        # TIFF, WebP and other pictures through Qt's readers
  libjpeg62-turbo-dev libjpeg-turbo-progs          # JPEG decode/encode; djpeg/cjpeg for the benchmark
  libheif-dev libheif-examples                     # HEIF/HEIC decode (libde265, x265 plugins); heif-convert for the benchmark
  xvfb xauth fonts-dejavu-core                     # a display and fonts for headless runs
  qt6-tools-dev qt6-l10n-tools                     # Qt's CMake translation tools (lupdate, lrelease)
  dpkg-dev desktop-file-utils appstream            # the Debian package; checks of the installed files
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
