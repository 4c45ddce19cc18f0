#!/usr/bin/env bash
# Installs what building and testing need, and nothing twice: the mingw-w64 cross compilers (i686 for the
# product, x86-64 for the test build), CMake, GoogleTest's sources, 64-bit Wine, Xvfb, fonts, ImageMagick.
#
# Why the tests run a 64-bit build: Wine runs 32-bit Windows code only where the machine can execute 32-bit
# x86 code, and the machines this project is built and tested on cannot (their hypervisor runs 64-bit user
# code only: 32-bit executables fail with ENOEXEC, and 32-bit code segments fault even inside a 64-bit
# process). The same sources are therefore built twice: build/Velmora.exe (32-bit, the product) and
# build/x64/ (64-bit: the tests, and the program that `make run` shows).
set -euo pipefail

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools cmake make googletest wine64 xvfb xauth
          x11-utils xdotool imagemagick fonts-wqy-microhei python3-pil procps)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "[deps] installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
