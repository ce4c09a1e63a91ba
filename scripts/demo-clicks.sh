#!/usr/bin/env bash
# Drives the demo's window on an X display without a person: presses "Buscar Actualización",
# then "Actualizar", and saves a screenshot after each step. Called by demo.sh under xvfb-run.
set -euo pipefail
tree=$1 shots=$2
"$tree/updater" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 1
import -window root "$shots/1-start.png"
xdotool key --window "$window" space            # "Buscar Actualización" has the focus
sleep 2
import -window root "$shots/2-checked.png"
xdotool key --window "$window" Tab Tab space    # on to "Actualizar"
sleep 0.3
import -window root "$shots/3-updating.png"
sleep 4
import -window root "$shots/4-finished.png"
xdotool key --window "$window" shift+Tab space  # "Salir"
wait "$pid" || true
