#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine as needed, builds, and starts Parchwipe. Without a display it
# starts Parchwipe under Xvfb, saves a screenshot to build/parchwipe.png and runs until Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
parchwipe_install_packages
parchwipe_build build

if [ -n "${DISPLAY:-}" ]; then
    exec build/bin/parchwipe
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb_pid=$!
trap 'kill $app_pid $xvfb_pid 2>/dev/null || true' EXIT INT TERM
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

build/bin/parchwipe &
app_pid=$!
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Parchwipe"' && break
    sleep 0.1
done
sleep 1
import -window root build/parchwipe.png
echo "No display here: Parchwipe runs under Xvfb on $display; screenshot saved to build/parchwipe.png."
echo "Press Ctrl+C to stop."
wait "$app_pid"
