# Sourced by ./run and ./test: gives the Wine programs an X display of their own, a virtual
# one that ends with the script. A DISPLAY already set is used as it is.
qvku_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${QVKU_OWN_XVFB:-}" ]; then return 0; fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  QVKU_XVFB_PID=$!
  local number
  read -r -t 20 number <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
  trap 'kill "$QVKU_XVFB_PID" 2>/dev/null || true' EXIT
}
