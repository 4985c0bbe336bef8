#!/usr/bin/env bash
# Makes a fresh Debian machine ready to build, test and run Morvane, as root.
# Idempotent: a second run installs nothing and restarts nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libpugixml-dev libsimpleini-dev nlohmann-json3-dev
  firebird-dev libfbclient2 firebird3.0-server firebird3.0-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-14 libclang-rt-14-dev
  xvfb procps netcat-openbsd dpkg-dev file e2fsprogs util-linux desktop-file-utils
  man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$here/start-firebird.sh"
