#!/usr/bin/env bash
# Starts the Standalone application on the current (Xvfb) display, takes a
# screenshot of the screen and checks that the app showed a window and kept
# running:  standalone-screenshot.sh APP OUT.png
set -euo pipefail
app="$1"; out="$2"
mkdir -p "$(dirname "$out")"
home="$(mktemp -d)"
HOME="$home" "$app" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$home"' EXIT
for _ in $(seq 100); do
    xdotool search --name Vantor >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 2
kill -0 $pid
xdotool search --name Vantor >/dev/null
import -window root "$out"
size="$(identify -format '%wx%h' "$out")"
[ "$size" = "$VANTOR_SCREEN" ] || { echo "screenshot is $size"; exit 1; }
# The editor's light panel must be on screen.
colours="$(convert "$out" -fuzz 3% -fill black +opaque 'rgb(204,207,209)' -format '%[fx:mean]' info:)"
awk -v m="$colours" 'BEGIN { exit !(m > 0.01) }' || { echo "no editor panel visible"; exit 1; }
echo "screenshot: $out"
