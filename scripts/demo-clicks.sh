#!/usr/bin/env bash
# Drives the demo's window on an X display without a person: presses "Buscar Actualización",
# then "Actualizar", and saves a screenshot after each step. Called by demo.sh under xvfb-run:
#   demo-clicks.sh <install tree> <screenshot dir> <update server's log>
#
# Each screenshot waits for what it shows, never for a fixed time: the window drawn; the
# server's answer to the check drawn; the update's first attempt begun; the release installed,
# the worker ended and its end text drawn.
set -euo pipefail
# shellcheck source=scripts/window-clicks.sh
. "$(dirname "${BASH_SOURCE[0]}")/window-clicks.sh"
tree=$1 shots=$2 server_log=$3

fail() {
  echo "demo: $1" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
}

# The window as drawn now, as a checksum.
window_picture() {
  import -window "$window" rgb:- 2>/dev/null | md5sum
}

# drawn: true when two looks in a row find the window's picture the same, and not the one in
# $unlike (a picture taken before the step): Qt has drawn what the step changed.
unlike='' last=''
drawn() {
  local now
  now=$(window_picture)
  [ "$now" = "$last" ] && [ "$now" != "$unlike" ] && return 0
  last=$now
  return 1
}

# shot <name>: once the window is drawn, a screenshot of the screen; the picture it shows becomes
# the one the next step must change.
shot() {
  last=''
  poll 300 drawn || fail "the window was not drawn for $1"
  import -window root "$shots/$1.png"
  unlike=$last
}

checked() { grep -q 'GET /kub/VersionesKUB.txt' "$server_log"; }
archive() { compgen -G "$tree/Update/*.zip"; }
# The worker lets go of the archive once the extraction has ended; its thread (named after its
# class by Qt) ends once the end text has been set.
installed() {
  local file
  file=$(archive) && [ -f "$tree/Informes/VentasPorCliente.rpt" ] && flock -n "$file" true
}
worker_ended() { ! grep -qx 'update::TUpdate' /proc/"$pid"/task/*/comm; }

"$tree/updater" &
pid=$!
window=$(find_window "$pid")
[ -n "$window" ] || fail "no window"
focus_window "$window" || fail "the window did not get the focus"
shot 1-start
xdotool key --window "$window" space            # "Buscar Actualización" has the focus
poll 300 checked || fail "the check asked nothing"
shot 2-checked
xdotool key --window "$window" Tab Tab space    # on to "Actualizar"
poll 300 archive >/dev/null || fail "the update did not begin"
import -window root "$shots/3-updating.png"
poll 300 installed || fail "the update was not installed"
poll 100 worker_ended || fail "the update did not end"
unlike=''
shot 4-finished
xdotool key --window "$window" shift+Tab space  # "Salir"
wait "$pid" || true
