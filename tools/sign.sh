#!/usr/bin/env bash
# Signs a finished executable in place with an Authenticode signature (SHA-256), by osslsigncode:
#   sign.sh EXE PKCS12 PASSWORD_VARIABLE DESCRIPTION URL [TIMESTAMP_URL]
# The PKCS#12 file's password is read from the environment variable named PASSWORD_VARIABLE and
# reaches osslsigncode through a pipe: it is never on a command line, in a file or in a log, and
# the variable is taken out of osslsigncode's environment.
# The signature goes where Authenticode puts it, behind the image, so the sections, the resources
# and the file alignment stay as the linker made them.
# When signing fails the executable is removed: an unsigned file never stands where the signed
# one is expected, and the next build links and signs again.
set -uo pipefail
if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "usage: sign.sh EXE PKCS12 PASSWORD_VARIABLE DESCRIPTION URL [TIMESTAMP_URL]" >&2
  exit 2
fi
exe=$1 pkcs12=$2 variable=$3 description=$4 url=$5 timestamp=${6:-}
osslsigncode=${QVKU_OSSLSIGNCODE:-/usr/bin/osslsigncode}
signed="$exe.signing"

fail() {
  echo "sign.sh: $*; $exe is removed, unsigned" >&2
  rm -f -- "$exe" "$signed"
  exit 1
}

[[ $variable =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || fail "$variable is no name of an environment variable"
[ -n "${!variable+set}" ] || fail "the environment variable $variable, the password of $pkcs12, is not set"
[ -f "$pkcs12" ] || fail "no PKCS#12 file $pkcs12"
password=${!variable}
unset "$variable"

args=(sign -pkcs12 "$pkcs12" -h sha256)
# osslsigncode reads no empty password from a file; given none, it opens a file without one.
[ -z "$password" ] || args+=(-readpass /dev/fd/3)
[ -z "$description" ] || args+=(-n "$description")
[ -z "$url" ] || args+=(-i "$url")
[ -z "$timestamp" ] || args+=(-ts "$timestamp")
rm -f -- "$signed"
# printf is the shell's own: the password is never an argument of a program.
"$osslsigncode" "${args[@]}" -in "$exe" -out "$signed" 3< <(printf '%s' "$password") \
  || fail "osslsigncode could not sign it"
chmod --reference="$exe" -- "$signed" && mv -f -- "$signed" "$exe" || fail "the signed file could not replace it"
