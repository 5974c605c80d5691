#!/usr/bin/env bash
# Installs the Debian packages the three builds and their tests need. Idempotent: packages that
# are already there are left alone, and the package lists are fetched only when something is
# missing. Most Windows tests run 64-bit programs under wine64; the shipped 32-bit files run under
# Debian's wine32:i386 where the machine can have it (the i386 architecture is enabled for it),
# emulated through qemu-user where the kernel refuses 32-bit programs. Without it the 32-bit run
# is skipped, never failed: a machine's kernel must not decide whether the tests pass.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 wine xvfb
  googletest libgtest-dev libbenchmark-dev
  openssl libssl-dev osslsigncode
  clang libclang-rt-14-dev llvm lld
  clang-format
  python3
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  # With recommended packages: Wine's X11 driver relies on the X extension libraries that
  # libwine only recommends.
  $SUDO apt-get install -y -qq --install-recommends "${missing[@]}"
fi

# 32-bit Wine, best effort: any failure here only means that the 32-bit run is skipped.
runs32() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ "${KY_NO_WINE32:-0}" = 1 ]; then
  echo "setup: 32-bit Wine not wanted (KY_NO_WINE32=1)"
elif ! installed wine32:i386; then
  echo "setup: installing wine32:i386 for the 32-bit run"
  if ! { $SUDO dpkg --add-architecture i386 && $SUDO apt-get update -qq &&
         $SUDO apt-get install -y -qq --install-recommends wine32:i386; }; then
    echo "setup: wine32:i386 could not be installed; the 32-bit run will be skipped"
  fi
fi
if installed wine32:i386 && ! runs32; then
  # The kernel refuses 32-bit programs: let binfmt_misc hand them to qemu-user, if it may.
  echo "setup: 32-bit programs do not run here; trying qemu-user"
  if ! { installed qemu-user-binfmt || $SUDO apt-get install -y -qq qemu-user qemu-user-binfmt; }; then
    echo "setup: qemu-user could not be installed"
  fi
  runs32 || echo "setup: 32-bit programs still do not run; the 32-bit run will be skipped"
fi
exit 0
