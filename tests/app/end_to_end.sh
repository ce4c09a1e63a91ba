#!/usr/bin/env bash
# The whole job through the real window, as a person does it, on an Xvfb display:
#   end_to_end.sh <scenario> <install tree> <server dir> <port>
# The tree holds the updater, Lib/ and Quendral.exe; the server dir holds kub/ with the version
# history and the archive (made by make-update.sh).
#   install: "Buscar Actualización", "Actualizar", wait until the files are installed, "Salir".
#   close-while-updating: the server goes away after the check; "Actualizar" starts a worker
#     that keeps trying; "Salir" must end the process at once with exit code 0.
# Exits with the updater's exit code, or 90+ when a step did not happen.
set -u
scenario=$1 tree=$2 server_dir=$3 port=$4

python3 -m http.server --bind 127.0.0.1 --directory "$server_dir" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break; sleep 0.1; done

"$tree/updater" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
[ -n "$window" ] || { kill "$pid"; echo "no window" >&2; exit 91; }
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool key --window "$window" space                 # "Buscar Actualización"
for _ in $(seq 100); do [ -d "$tree/Update" ] && break; sleep 0.1; done
sleep 1

if [ "$scenario" = close-while-updating ]; then
  kill "$server"; wait "$server" 2>/dev/null
fi
xdotool key --window "$window" Tab Tab space         # "Actualizar"

if [ "$scenario" = install ]; then
  for _ in $(seq 200); do [ -f "$tree/Informes/VentasPorCliente.rpt" ] && break; sleep 0.1; done
  [ -f "$tree/Informes/VentasPorCliente.rpt" ] || { kill "$pid"; echo "not installed" >&2; exit 92; }
  sleep 0.5
else
  sleep 1.5                                          # the worker is between attempts now
fi
xdotool key --window "$window" shift+Tab space       # "Salir"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; echo "did not end" >&2; exit 93; fi
wait "$pid"
