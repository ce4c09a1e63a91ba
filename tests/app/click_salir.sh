#!/usr/bin/env bash
# Starts the updater in <dir> on the X display given (an Xvfb), waits for its window, prints its
# title to standard error as "title:[...]", presses "Salir" from the keyboard (Tab moves from
# "Buscar Actualización" to "Salir"), and exits with the updater's exit code. Used by the process
# tests under xvfb-run.
set -u
# shellcheck source=scripts/window-clicks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/window-clicks.sh"
dir=$1
"$dir/updater" &
pid=$!
window=$(find_window "$pid")
if [ -z "$window" ]; then
  kill "$pid" 2>/dev/null
  echo "no window appeared" >&2
  exit 99
fi
focus_window "$window"
echo "title:[$(xdotool getwindowname "$window" 2>/dev/null)]" >&2
xdotool key --window "$window" Tab space
# The program should end at once; after 20 s it is ended, and the exit code says so.
poll 200 process_ended "$pid"
kill "$pid" 2>/dev/null
wait "$pid"
