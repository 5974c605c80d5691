#!/usr/bin/env bash
# Installs the Debian packages the three builds and their tests need. Idempotent: packages that
# are already there are left alone, and the package lists are fetched only when something is
# missing. No i386 architecture and no 32-bit Wine: the tests run 64-bit programs under wine64.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 wine xvfb
  googletest libgtest-dev libbenchmark-dev
  openssl libssl-dev osslsigncode
  clang libclang-rt-14-dev llvm
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# With recommended packages: Wine's X11 driver relies on the X extension libraries that
# libwine only recommends (wine32, which it also recommends, is simply not available here).
$SUDO apt-get install -y -qq --install-recommends "${missing[@]}"
