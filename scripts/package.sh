#!/usr/bin/env bash
# Builds the program without sanitizers (the release preset's settings) and its
# Debian package; prints the path of the .deb as the last line.
#   scripts/package.sh                  in build/release, the release preset's folder
#   scripts/package.sh BUILD_FOLDER     in another folder (an existing release tree is reused)
# Install it with: dpkg -i build/release/package/morvane_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
mkdir -p "$build"
build=$(cd "$build" && pwd)

# Same settings as the release preset; sanitizers stay out of a package.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_BUILD_TESTS=OFF \
      -DMORVANE_SANITIZE=OFF -DMORVANE_BUILD_WINDOW=ON >&2
cmake --build "$build" --target morvane >&2

# A fresh folder each time, so the .deb printed is the one just made.
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package" >&2)
deb=$(find "$build/package" -maxdepth 1 -name 'morvane_*.deb' -print -quit)
if [ -z "$deb" ]; then
  echo "package.sh: cpack made no .deb in $build/package" >&2
  exit 1
fi
echo "$deb"
