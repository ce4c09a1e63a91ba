#!/usr/bin/env bash
# The whole job through the real window, as a person does it, on an Xvfb display:
#   end_to_end.sh <scenario> <install tree> <server dir> <port>
# The tree holds the updater, Lib/ and Quendral.exe; the server dir holds kub/ with the version
# history, the archive and its signature (made by quendral-publish).
#   install: "Buscar Actualización", "Actualizar", wait until the files are installed, "Salir".
#   close-while-updating: the server answers the check and then goes away; "Actualizar" starts
#     a worker that keeps trying; "Salir" must end the process at once with exit code 0.
# Exits with the updater's exit code, or 90+ when a step did not happen.
#
# No step waits a fixed time: the check blocks the window, so keys pressed after it are taken
# only once it has ended; everything else is a condition polled for with a bound.
set -u
scenario=$1 tree=$2 server_dir=$3 port=$4

# shellcheck source=scripts/window-clicks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/window-clicks.sh"

if [ "$scenario" = close-while-updating ]; then
  # One request (the check's), then the server is gone: every attempt of the worker fails.
  python3 - "$server_dir" "$port" >/dev/null 2>&1 <<'PY' &
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
http.server.HTTPServer(("127.0.0.1", int(sys.argv[2])), handler).handle_request()
PY
else
  python3 -m http.server --bind 127.0.0.1 --directory "$server_dir" "$port" >/dev/null 2>&1 &
fi
server=$!
trap 'kill $server 2>/dev/null' EXIT
# The one-shot server must not be used up by this probe: wait for the port with ss instead.
listening() { ss -ltn "sport = :$port" | grep -q LISTEN; }
poll 100 listening || { echo "no server" >&2; exit 94; }

"$tree/updater" &
pid=$!
window=$(find_window "$pid")
[ -n "$window" ] || { kill "$pid"; echo "no window" >&2; exit 91; }
focus_window "$window"
xdotool key --window "$window" space                 # "Buscar Actualización"
xdotool key --window "$window" Tab Tab space         # "Actualizar", taken once the check ended

archive="$tree/Update/KUBUpdate-ESC.2.4.1.7.zip"
if [ "$scenario" = install ]; then
  # Installed: the extraction has begun, and the worker has let go of the archive (it holds it
  # until the extraction has ended).
  installed() { [ -f "$tree/Informes/VentasPorCliente.rpt" ] && flock -n "$archive" true; }
  poll 300 installed || { kill "$pid"; echo "not installed" >&2; exit 92; }
else
  # The worker is trying: its first attempt has created the archive file.
  poll 300 test -e "$archive" || { kill "$pid"; echo "no attempt" >&2; exit 95; }
fi
xdotool key --window "$window" shift+Tab space       # "Salir"
poll 100 process_ended "$pid"
if ! process_ended "$pid"; then kill -9 "$pid"; echo "did not end" >&2; exit 93; fi
wait "$pid"
