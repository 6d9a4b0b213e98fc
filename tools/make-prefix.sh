#!/usr/bin/env bash
# Makes a Wine prefix for the program and its tests: make-prefix.sh <dir> <win64|win32> [loader].
# The loader is the Wine program that runs the prefix's Windows programs (default wine; the
# x86_64 build's prefix is run by /usr/lib/wine/wine64 alone, where the wine and wineboot
# wrappers, which go through the 32-bit loader, cannot start).
# Chinese text needs a face for "宋体"; Wine lacks one, so it is mapped to WenQuanYi Micro Hei.
set -eu
prefix=$1 arch=$2 loader=${3:-wine}
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$prefix"
"$loader" wineboot.exe -i >/dev/null 2>&1
wineserver -w
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
{
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  printf '"'; printf '宋体' | iconv -f UTF-8 -t GBK; printf '"="WenQuanYi Micro Hei"\r\n'
  printf '"SimSun"="WenQuanYi Micro Hei"\r\n'
  # Without a window manager the default desktop would follow the X screen; keep Wine's own.
  printf '\r\n'
} > "$reg"
LC_ALL=zh_CN.UTF-8 "$loader" regedit.exe /S "$("$loader" winepath.exe -w "$reg" 2>/dev/null)" >/dev/null 2>&1
wineserver -w
touch "$prefix/.qvku-ready"
