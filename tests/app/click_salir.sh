#!/usr/bin/env bash
# Starts the updater in <dir> on the X display given (an Xvfb), waits for its window, presses
# "Salir" from the keyboard (Tab moves from "Buscar Actualización" to "Salir"), and exits with the
# updater's exit code. Used by the process tests under xvfb-run.
set -u
dir=$1
"$dir/updater" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
if [ -z "$window" ]; then
  kill "$pid" 2>/dev/null
  echo "no window appeared" >&2
  exit 99
fi
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key --window "$window" Tab
sleep 0.2
xdotool key --window "$window" space
( sleep 20; kill "$pid" 2>/dev/null ) &
watchdog=$!
wait "$pid"
code=$?
kill "$watchdog" 2>/dev/null
exit "$code"
