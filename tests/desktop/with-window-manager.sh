#!/usr/bin/env bash
# with-window-manager.sh OPENBOX XPROP COMMAND...: runs COMMAND on the current
# X display once openbox manages its windows, and stops openbox afterwards.
set -euo pipefail
openbox=$1
xprop=$2
shift 2

"$openbox" --sm-disable &
wm=$!
trap 'kill "$wm" 2>/dev/null || true; wait "$wm" 2>/dev/null || true' EXIT

# openbox announces itself on the root window once it manages windows.
for _ in $(seq 100); do
  if "$xprop" -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    echo "openbox manages the windows of display $DISPLAY"
    "$@"
    exit
  fi
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.1
done
echo "openbox did not come up on display $DISPLAY" >&2
exit 1
