#!/usr/bin/env bash
# The check of a folder of Microsoft installers, over sparse files of chosen sizes.
set -u
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
enu=NDP452-KB2901907-x86-x64-AllOS-ENU.exe chs=NDP452-KB2901907-x86-x64-AllOS-CHS.exe
fail=0
expect() {  # expect <ok|fail> <text the output must hold> [cmake -D options...]
  local want=$1 text=$2; shift 2
  out=$(cmake -DNETFX_DIR="$dir" "$@" -P "$check" 2>&1); rc=$?
  out=$(tr -s " \n" "  " <<<"$out")  # cmake folds long messages
  if { [ "$want" = ok ] && [ $rc -ne 0 ]; } || { [ "$want" = fail ] && [ $rc -eq 0 ]; } || ! grep -qF -- "$text" <<<"$out"; then
    echo "FAIL: expected $want with \"$text\" ($*), got rc=$rc: $out"; fail=1
  fi
}
expect fail "holds no $enu"
truncate -s 69999448 "$dir/$enu"
expect fail "holds no $chs"
truncate -s 6724704 "$dir/$chs"
expect ok "holds both installers"
truncate -s 6724703 "$dir/$chs"
expect fail "is 6724703 bytes; the published installer is 6724704 bytes"
expect ok "holds both installers" -DNETFX_ANY_SIZE=ON
truncate -s 70000000 "$dir/$enu"
expect fail "is 70000000 bytes"
exit $fail
