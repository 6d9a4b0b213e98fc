# Sourced by ./run and ./test: gives the Wine programs an X display of their own, a virtual one
# with a window manager (openbox) on it, so that windows are activated and take the keyboard
# focus as on a desktop, not wherever the pointer happens to be. Both end with the script:
# qvku_stop_xvfb, from its EXIT trap, ends them by their process ids. A DISPLAY already set is
# used as it is.
qvku_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${QVKU_OWN_XVFB:-}" ]; then return 0; fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  QVKU_XVFB_PID=$!
  trap qvku_stop_xvfb EXIT
  local number
  read -r -t 20 number <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
  openbox --sm-disable >/dev/null 2>&1 &
  QVKU_WM_PID=$!
  # It manages the screen once it has named itself on the root window.
  local i
  for i in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then return 0; fi
    kill -0 "$QVKU_WM_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "openbox did not start on $DISPLAY" >&2
  return 1
}

qvku_stop_xvfb() {
  local pid
  for pid in ${QVKU_WM_PID:-} ${QVKU_XVFB_PID:-}; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
}
