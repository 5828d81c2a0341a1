#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine; skips what is present.
# 32-bit Wine (wine32:i386) runs the shipped 32-bit programs as WOW64 processes in a 64-bit prefix.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
packages=(
  cmake g++ make pkg-config git
  googletest libgtest-dev libpng-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 xvfb xdotool x11-utils imagemagick
  nsis
  clang libclang-rt-14-dev clang-tidy cppcheck valgrind
  python3 zip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The posix-thread flavour of mingw-w64 is the one the project builds with.
for t in i686 x86_64; do
  if [ "$(readlink -f /usr/bin/$t-w64-mingw32-g++)" != "$(readlink -f /usr/bin/$t-w64-mingw32-g++-posix)" ]; then
    $SUDO update-alternatives --set $t-w64-mingw32-g++ /usr/bin/$t-w64-mingw32-g++-posix >/dev/null 2>&1 || true
    $SUDO update-alternatives --set $t-w64-mingw32-gcc /usr/bin/$t-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
  fi
done
