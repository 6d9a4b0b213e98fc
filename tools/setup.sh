#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing when all of it is there already.
# Used by ./run, ./test and .ci/run; safe to run again and again.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# package -> a file that proves it is installed
declare -A PROOF=(
  [g++-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-g++-posix
  [gcc-mingw-w64-i686-posix]=/usr/bin/i686-w64-mingw32-gcc-posix
  [binutils-mingw-w64-i686]=/usr/bin/i686-w64-mingw32-windres
  [g++-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-g++-posix
  [gcc-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-gcc-posix
  [binutils-mingw-w64-x86-64]=/usr/bin/x86_64-w64-mingw32-windres
  [wine]=/usr/bin/wine
  [wine64]=/usr/lib/wine/wine64
  [wine32:i386]=/usr/lib/wine/wine
  [7zip]=/usr/bin/7zz
  [xvfb]=/usr/bin/Xvfb
  [xdotool]=/usr/bin/xdotool
  [imagemagick]=/usr/bin/import
  [fonts-wqy-microhei]=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
  [googletest]=/usr/src/googletest/CMakeLists.txt
  [dpkg-dev]=/usr/bin/dpkg-source
  [cmake]=/usr/bin/cmake
  [make]=/usr/bin/make
  [g++]=/usr/bin/g++
  [clang]=/usr/bin/clang++
  [libclang-rt-14-dev]=/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
  [python3]=/usr/bin/python3
  [locales]=/usr/sbin/locale-gen
  [libgif-dev]=/usr/include/gif_lib.h
  [python3-pefile]=/usr/lib/python3/dist-packages/pefile.py
  [python3-pil]=/usr/lib/python3/dist-packages/PIL/__init__.py
  [x11-utils]=/usr/bin/xwininfo
  [osslsigncode]=/usr/bin/osslsigncode
  [openssl]=/usr/bin/openssl
  [openbox]=/usr/bin/openbox
)
command -v npm >/dev/null 2>&1 || PROOF[npm]=/usr/bin/npm

missing=()
for pkg in "${!PROOF[@]}"; do
  [ -e "${PROOF[$pkg]}" ] || missing+=("$pkg")
done

srcs_ok=1
grep -rqs '^Types: .*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src ' /etc/apt/sources.list || srcs_ok=0

# The tests run the program under Chinese and English locales.
locales_ok=1
for l in zh_CN.utf8 en_US.utf8; do locale -a 2>/dev/null | grep -qix "$l" || locales_ok=0; done

if [ ${#missing[@]} -eq 0 ] && [ $srcs_ok = 1 ] && [ $locales_ok = 1 ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
[ ${#missing[@]} -eq 0 ] || echo "setup: installing ${missing[*]}" >&2

if [ $srcs_ok = 0 ]; then
  # the library sources for the target come from Debian's source packages
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    | $SUDO tee /etc/apt/sources.list.d/qvku-deb-src.sources >/dev/null
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

if [ ${#missing[@]} -gt 0 ] || [ $srcs_ok = 0 ]; then
  $SUDO apt-get update -q || true
fi
if [ ${#missing[@]} -gt 0 ]; then
  if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    # The i386 index of the security suite sometimes fails to download; amd64 and i386 then
    # disagree on library versions and apt reports held packages. Taking the main release's
    # versions for both makes them agree again.
    echo "setup: install failed; preferring the main release over the security suite and retrying" >&2
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' \
      | $SUDO tee /etc/apt/preferences.d/qvku-i386 >/dev/null
    $SUDO apt-get update -q || true
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

if [ $locales_ok = 0 ]; then
  for l in zh_CN en_US; do
    locale -a 2>/dev/null | grep -qix "$l.utf8" || $SUDO localedef -i "$l" -f UTF-8 "$l.UTF-8"
  done
fi
