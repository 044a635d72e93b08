#!/usr/bin/env bash
# Builds the Debian package: a Release build of the programs (no tests) in
# build-package/, packed by CPack; dpkg-shlibdeps finds the libraries it
# depends on. Install it with: apt-get install ./build-package/tessaly_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF
cmake --build build-package -j"$(nproc)"
rm -f build-package/tessaly_*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/tessaly_*.deb)
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
echo "Made $deb"
