#!/usr/bin/env bash
# The check of a folder of Microsoft installers: over sparse files of chosen sizes against the
# published table, and over small files against a table of their own digests (no file here can
# match the published ones).
set -u
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
enu=NDP452-KB2901907-x86-x64-AllOS-ENU.exe chs=NDP452-KB2901907-x86-x64-AllOS-CHS.exe
enu_sha256=6c2c589132e830a185c5f40f82042bee3022e721a216680bd9b3995ba86f3781
chs_md5=f0de04b58842c30b8be2d52f1dacf353
fail=0
# expect <ok|fail> <script> <text the output must hold>... [-- cmake -D options...]
expect() {
  local want=$1 script=$2; shift 2
  local texts=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do texts+=("$1"); shift; done
  [ "${1:-}" = -- ] && shift
  out=$(cmake -DNETFX_DIR="$dir/in" "$@" -P "$script" 2>&1); rc=$?
  out=$(tr -s " \n" "  " <<<"$out")  # cmake folds long messages
  if { [ "$want" = ok ] && [ $rc -ne 0 ]; } || { [ "$want" = fail ] && [ $rc -eq 0 ]; }; then
    echo "FAIL: expected $want (${texts[*]}) ($*), got rc=$rc: $out"; fail=1; return
  fi
  for text in "${texts[@]}"; do
    if ! grep -qF -- "$text" <<<"$out"; then
      echo "FAIL: expected \"$text\" ($want, $*), got rc=$rc: $out"; fail=1
    fi
  done
}
forbid() {  # the last expect's output must not hold the text
  if grep -qF -- "$1" <<<"$out"; then echo "FAIL: \"$1\" in: $out"; fail=1; fi
}

# The published table: names, then sizes, then digests.
mkdir "$dir/in"
expect fail "$check" "holds no $enu"
truncate -s 69999448 "$dir/in/$enu"
expect fail "$check" "holds no $chs"
truncate -s 6724704 "$dir/in/$chs"
# Right names and sizes, other contents: refused, naming the file and both digests.
zeros_sha256=$(sha256sum <"$dir/in/$enu" | cut -d' ' -f1)
expect fail "$check" "$dir/in/$enu is not the published installer: its SHA-256 is $zeros_sha256, the published SHA-256 is $enu_sha256." \
  "-DNETFX_ANY_SIZE=ON to accept"
# Accepted on request, which the output says, and with each digest that differs named; the
# language pack, known by its MD5, is named by its SHA-256 too.
chs_zeros_md5=$(md5sum <"$dir/in/$chs" | cut -d' ' -f1)
chs_zeros_sha256=$(sha256sum <"$dir/in/$chs" | cut -d' ' -f1)
expect ok "$check" "holds both installers" "its SHA-256 is $zeros_sha256, the published SHA-256 is $enu_sha256" \
  "its MD5 is $chs_zeros_md5, the published MD5 is $chs_md5" "Accepted because NETFX_ANY_SIZE is ON" \
  "$chs: SHA-256 $chs_zeros_sha256 (accepted as it is)" -- -DNETFX_ANY_SIZE=ON
truncate -s 6724703 "$dir/in/$chs"
expect fail "$check" "is 6724703 bytes; the published installer is 6724704 bytes" "-DNETFX_ANY_SIZE=ON to accept"
expect ok "$check" "holds both installers" "is 6724703 bytes; the published installer is 6724704 bytes" \
  "Accepted because NETFX_ANY_SIZE is ON" -- -DNETFX_ANY_SIZE=ON
truncate -s 70000000 "$dir/in/$enu"
expect fail "$check" "is 70000000 bytes"
rm "$dir/in/$chs"; mkdir "$dir/in/$chs"
expect fail "$check" "holds no $chs" -- -DNETFX_ANY_SIZE=ON

# A table of our own over small files: the same check where the digests can match. Each row
# names a file, its size and digests; a file is refused when any one of them differs.
rm -rf "$dir/in"; mkdir "$dir/in"
printf 'first file' >"$dir/in/a.exe"
printf 'second one' >"$dir/in/b.exe"
sum() { "$1sum" <"$dir/in/$2" | cut -d' ' -f1; }
a_sha256=$(sum sha256 a.exe) a_md5=$(sum md5 a.exe) b_md5=$(sum md5 b.exe) b_sha256=$(sum sha256 b.exe)
other_md5=$(printf 'other' | md5sum | cut -d' ' -f1)
table() {  # table <script> <row>...: a script that checks NETFX_DIR against these rows
  local script=$1; shift
  {
    echo "include(\"$check\")"
    echo "set(QVKU_NETFX_FILES $(printf '"%s" ' "$@"))"
    echo 'if(NETFX_COPY_TO)'
    echo '  file(MAKE_DIRECTORY "${NETFX_COPY_TO}")'
    echo '  foreach(f a.exe b.exe)'
    echo '    file(COPY_FILE "${NETFX_DIR}/${f}" "${NETFX_COPY_TO}/${f}")'
    echo '  endforeach()'
    echo '  qvku_check_netfx_dir("${NETFX_COPY_TO}" "${NETFX_ANY_SIZE}" "${NETFX_DIR}")'
    echo 'else()'
    echo '  qvku_check_netfx_dir("${NETFX_DIR}" "${NETFX_ANY_SIZE}")'
    echo 'endif()'
    echo 'message(STATUS "checked")'
  } >"$script"
}
table "$dir/good.cmake" "a.exe|10|SHA256=$a_sha256|MD5=$a_md5" "b.exe|10|MD5=${b_md5^^}"
expect ok "$dir/good.cmake" "checked" "a.exe: SHA-256 $a_sha256 (the published SHA-256 and MD5)" \
  "b.exe: SHA-256 $b_sha256 (the published MD5)"
forbid "Accepted"
# Checked on the copies, the messages name the originals.
table "$dir/copy.cmake" "a.exe|10|SHA256=$a_sha256" "b.exe|10|MD5=$other_md5"
expect fail "$dir/copy.cmake" "$dir/in/b.exe is not the published installer: its MD5 is $b_md5, the published MD5 is $other_md5." \
  -- -DNETFX_COPY_TO="$dir/copies"
forbid "$dir/copies/b.exe"
# The second digest of a row counts as much as the first.
table "$dir/second.cmake" "a.exe|10|SHA256=$a_sha256|MD5=$other_md5" "b.exe|10|MD5=$b_md5"
expect fail "$dir/second.cmake" "$dir/in/a.exe is not the published installer: its MD5 is $a_md5, the published MD5 is $other_md5."
table "$dir/first.cmake" "a.exe|10|SHA256=${b_sha256}|MD5=$a_md5" "b.exe|10|MD5=$b_md5"
expect fail "$dir/first.cmake" "its SHA-256 is $a_sha256, the published SHA-256 is $b_sha256."

# The build's own use: the copies are made and checked, and an earlier folder of copies is
# replaced, not mixed in.
rm -rf "$dir/in" "$dir/copies"; mkdir -p "$dir/in" "$dir/copies/$enu"
truncate -s 69999448 "$dir/in/$enu"; truncate -s 6724704 "$dir/in/$chs"
echo stale >"$dir/copies/stale"
expect ok "$check" "holds both installers" "$dir/in/$enu is not the published installer" \
  -- -DNETFX_ANY_SIZE=ON -DNETFX_COPY_TO="$dir/copies"
if [ "$(ls "$dir/copies" | sort | tr '\n' ' ')" != "$chs $enu " ] || ! cmp -s "$dir/in/$enu" "$dir/copies/$enu"; then
  echo "FAIL: the copies are not the two files: $(ls -l "$dir/copies")"; fail=1
fi
expect fail "$check" "$dir/in/$enu is not the published installer" -- -DNETFX_COPY_TO="$dir/copies"
exit $fail
