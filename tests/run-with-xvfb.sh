#!/usr/bin/env bash
# Runs a command on a private Xvfb display of the given size, so that JUCE
# sees a real display list:  run-with-xvfb.sh 2560x1440 COMMAND...
set -euo pipefail
size="$1"; shift
for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
Xvfb ":$display" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"
# With no window manager running some atoms JUCE relies on do not exist yet.
"${INTERN_ATOMS:-$(dirname "$0")/../build/tests/intern-atoms}" WM_PROTOCOLS WM_TAKE_FOCUS WM_DELETE_WINDOW \
    _NET_WM_PING WM_CHANGE_STATE WM_STATE _NET_WM_WINDOW_TYPE _NET_WM_STATE _NET_WM_STATE_HIDDEN \
    _NET_WM_STATE_FULLSCREEN _NET_FRAME_EXTENTS _MOTIF_WM_HINTS _WIN_HINTS KWM_WIN_DECORATION \
    _KDE_NET_WM_WINDOW_TYPE_OVERRIDE
VANTOR_SCREEN="$size" "$@"
