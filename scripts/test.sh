#!/usr/bin/env bash
# Builds everything and runs every test: the full build (reader, imaging,
# window), whose programs are checked for their hardening, with its tests,
# the installed program and the Debian package made from that build, and a
# second build of the metadata reader under AddressSanitizer and
# UndefinedBehaviorSanitizer, which also builds the fuzz target and runs it
# over its seed corpus. Both builds are the workflow presets of
# CMakePresets.json (configure, build, test).
#
# In CI (CI=true) every compiler warning is an error (the presets pass CI on
# as TESSALY_WERROR), and the full build is made with CMake's default
# generator (Unix Makefiles, preset release-make, folder build-make) instead
# of Ninja, to show that it builds the same; nothing is built twice.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${CI:-}" = true ]; then
  preset=release-make build=build-make
else
  preset=release build=build
fi
# A run stopped while the build folder was moved aside gives it back.
if [ -d build-out-of-reach ] && [ ! -d "$build" ]; then mv build-out-of-reach "$build"; fi
bash scripts/setup.sh

# The programs of the optimised build must carry their hardening: relocations
# resolved at start (BIND_NOW) in a read-only segment (GNU_RELRO), stack
# canaries (__stack_chk_fail) and checked buffer functions (__*_chk).
check_hardening() {
  local program dynamic segments symbols failed=0
  for program in "$@"; do
    dynamic=$(readelf -dW "$program")
    segments=$(readelf -lW "$program")
    symbols=$(readelf --dyn-syms -W "$program")
    if ! grep -Eq 'BIND_NOW|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic"; then
      echo "$program: not linked with -z now" >&2; failed=1
    fi
    if ! grep -q 'GNU_RELRO' <<<"$segments"; then
      echo "$program: no read-only relocation segment (-z relro)" >&2; failed=1
    fi
    if ! grep -q '__stack_chk_fail' <<<"$symbols"; then
      echo "$program: no stack protector (-fstack-protector-strong)" >&2; failed=1
    fi
    if ! grep -Pq '\b__(?!stack_chk_fail)\w+_chk\b' <<<"$symbols"; then
      echo "$program: no checked buffer functions (-D_FORTIFY_SOURCE=2)" >&2; failed=1
    fi
  done
  return "$failed"
}

# Both Make and Ninja, and CTest, run as many jobs at once as there are cores.
export CMAKE_BUILD_PARALLEL_LEVEL=$(nproc) CTEST_PARALLEL_LEVEL=$(nproc)
cmake --workflow --preset "$preset"
check_hardening "$build"/bin/tessaly "$build"/bin/tessaly-stamp "$build"/bin/tessaly-exif

# The installed program: install into a temporary prefix, check the desktop
# entry and the metainfo, and run the installed commands on the sample photo
# with the build folder moved out of reach, so nothing of the source tree or
# the build can stand in for what the installation lacks. Then the Debian
# package, packed from the same build.
prefix=$(mktemp -d)
work=$(mktemp -d)
cmake --install "$build" --prefix "$prefix"
desktop-file-validate "$prefix"/share/applications/*.desktop
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml
cp "$build"/sample/sample.jpg "$work/"
rm -rf build-out-of-reach
mv "$build" build-out-of-reach
trap 'mv build-out-of-reach "$build"' EXIT
"$prefix/bin/tessaly" --version
"$prefix/bin/tessaly-exif" --version
# Answered before the platform starts: the same line Qt's parser prints.
"$prefix/bin/tessaly-stamp" --version | grep -x "tessaly-stamp [0-9][0-9.]*"
"$prefix/bin/tessaly-exif" "$work/sample.jpg" > "$work/exif.txt"
grep -x "Read: yes" "$work/exif.txt"
grep "^Shot: " "$work/exif.txt"
# A photo with picture data for the stamp (the sample holds EXIF data only).
mkdir "$work/photos"
{ printf 'P6\n96 64\n255\n'; head -c $((96 * 64 * 3)) /dev/zero | tr '\0' '\140'; } |
  cjpeg -quality 90 > "$work/photos/grey.jpg"
HOME="$work/home" "$prefix/bin/tessaly-stamp" --comment "CI" "$work/photos"
test -s "$work/photos/Export/grey.jpg"
mv build-out-of-reach "$build"
trap - EXIT
(cd "$build" && cpack -G DEB -B "$work/deb")
deb=$(ls "$work"/deb/tessaly_*.deb)
dpkg-deb -I "$deb"
dpkg-deb -c "$deb" | tee "$work/contents.txt"
# Debian's documents: the machine-readable copyright and the changelog,
# compressed without a name or time stamp.
for doc in copyright changelog.Debian.gz; do
  grep -q " \./usr/share/doc/tessaly/$doc\$" "$work/contents.txt" ||
    { echo "$deb lacks /usr/share/doc/tessaly/$doc" >&2; exit 1; }
done
dpkg-deb -x "$deb" "$work/unpacked"
[ "$(sed -n 1p "$work/unpacked/usr/share/doc/tessaly/copyright")" = \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]
top=$(gzip -dc "$work/unpacked/usr/share/doc/tessaly/changelog.Debian.gz" | sed -n 1p)
[[ $top == "tessaly ($(dpkg-deb -f "$deb" Version)) "* ]] ||
  { echo "changelog.Debian.gz does not begin with the package's version: $top" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libjpeg62-turbo libheif1; do
  [[ $depends == *"$lib"* ]] || { echo "$deb does not depend on $lib" >&2; exit 1; }
done
rm -rf "$prefix" "$work"

# The sanitizer build (clang, build-asan): the reader's tests and the fuzz
# targets' short runs, with leaks and undefined behaviour as failures.
cmake --workflow --preset asan
