#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine; skips what is present.
# 32-bit Wine (wine32:i386) runs the shipped 32-bit programs as WOW64 processes in a 64-bit prefix.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Some kernels are booted without 32-bit support (ia32_emulation=off): there no 32-bit Linux
# program starts, 32-bit Wine neither, and once installed it even takes over the plain "wine"
# command. Such a machine builds the shipped 32-bit programs and tests the x86_64 build instead.
runs_32bit_programs() {
  local d rc
  d=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$d/t.s"
  as --32 -o "$d/t.o" "$d/t.s" 2>/dev/null && ld -m elf_i386 -o "$d/t" "$d/t.o" 2>/dev/null &&
    "$d/t" 2>/dev/null
  rc=$?
  rm -rf "$d"
  return $rc
}
packages=(
  cmake g++ make pkg-config git
  googletest libgtest-dev libpng-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xdotool x11-utils imagemagick
  nsis wixl msitools
  fp-utils libchm-bin
  clang libclang-rt-14-dev clang-tidy cppcheck valgrind
  python3 python3-yaml zip
)
if runs_32bit_programs; then
  packages+=(wine32:i386)
else
  echo "note: this kernel runs no 32-bit programs; 32-bit Wine is left out and the Wine tests run the x86_64 build"
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
