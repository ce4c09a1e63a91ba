#!/usr/bin/env bash
# Starts the updater in <dir> on the X display given (an Xvfb), waits for its window, prints its
# title to standard error as "title:[...]", presses "Salir" from the keyboard (Tab moves from
# "Buscar Actualización" to "Salir"), and exits with the updater's exit code. Used by the process
# tests under xvfb-run.
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
# The keys go to the focused window: wait until it is that one (at most 20 s).
for _ in $(seq 200); do
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
  xdotool sleep 0.1
done
echo "title:[$(xdotool getwindowname "$window" 2>/dev/null)]" >&2
xdotool key --window "$window" Tab space
# The program should end at once; after 20 s it is ended, and the exit code says so.
for _ in $(seq 200); do
  kill -0 "$pid" 2>/dev/null || break
  xdotool sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid"
