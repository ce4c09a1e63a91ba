#!/usr/bin/env bash
# The Windows install tree under Wine, driven through its real window on an Xvfb display, as a
# person does it, against a local nginx:
#   end_to_end_wine.sh <install tree> <libraries dir> <work dir> <make-versioned-exe.exe>
#                      <install_root_certificate.exe> <source dir> <http port> <https port>
# <libraries dir> holds http/Lib, https/Lib (the end-to-end product line at the two ports) and
# without-getimage/Lib. For each of http and https: a copy of the install tree with Quendral.exe
# 2.4.1.6 starts with only its own folder on Wine's path, "Buscar Actualización" shows the list
# of 2.4.1.7, "Actualizar" installs it and shows "Proceso finalizado.", "Salir" ends it with exit
# code 0. Over https the server's certificate comes from a throw-away CA that is added to Wine's
# trusted roots first. Then a tree whose library lacks getImage must not start.
# Screenshots of each step go to <work dir>/shots/. Exits 0 when all held, 77 when a tool is
# missing outside CI (under CI that fails), else 1.
#
# Wine exposes no accessibility bus: the window is driven with xdotool at the layout's
# positions, and its texts are read from the screenshots (tesseract). No step waits a fixed
# time: each waits, with a bound, for a condition (a file, a port, a log line, a text shown).
set -euo pipefail
tree=$1 libs=$2 work=$3 make_exe=$4 install_ca=$5 source=$6 port_http=$7 port_https=$8
# shellcheck source=../../scripts/lib/nginx.sh
source "$source/scripts/lib/nginx.sh"
wine="${UPDATER_WINE:-$(command -v wine64 || echo wine)}"
# Windows programs run in the users' locale (code pages 1252 and 850); the tools here in ours.
run_wine() { env LC_ALL=es_ES.UTF-8 "$wine" "$@"; }

missing=()
for tool in Xvfb xdotool nginx openssl import convert tesseract zip python3 "$wine"; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "end_to_end_wine: missing ${missing[*]}" >&2
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi

# The screen as it was when a step failed is kept beside the other shots.
fail() {
  echo "end_to_end_wine: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$work/shots/failed.png" 2>/dev/null &&
    echo "end_to_end_wine: the screen then: $work/shots/failed.png" >&2
  exit 1
}

# poll <tenths of a second> <command...>: true as soon as the command succeeds.
poll() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

rm -rf "$work"
mkdir -p "$work/shots" "$work/www/kub"
export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH="${UPDATER_LOCALE_DIR:-}" TZ=CET-1CEST,M3.5.0,M10.5.0/3
unset WINEPATH WAYLAND_DISPLAY

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$(dirname "$(readlink -f "$(command -v "$wine")")")/wineserver" -k 2>/dev/null ||
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# --- The display: Xvfb names its display number once it accepts clients. ---
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
poll 300 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

# --- The server: a release 2.4.1.7 made by the vendors' command, over http and https. ---
# quendral-publish is a Linux program: the one of the Linux build (QUENDRAL_PUBLISH names
# another). These product lines do not sign, so the release is not signed.
publish="${QUENDRAL_PUBLISH:-$source/build/ci/publish/quendral-publish}"
[ -x "$publish" ] || fail "needs the Linux build's quendral-publish ($publish): cmake --build --preset ci --target quendral-publish"
release="$work/release"
cp -r "$source/demo/releases/2.4.1.7" "$release"
run_wine "$make_exe" "Z:$release/Quendral.exe" 2.4.1.7
"$publish" --code KUB --version 2.4.1.7 --from "$release" \
  --changes "$release/changes.txt" --history "$work/www/kub/VersionesKUB.txt" \
  --out "$work/www/kub" >/dev/null

pki="$work/pki"
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
  -subj "/CN=Quendral end-to-end test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$pki/server.key" -out "$pki/server.csr" \
  -subj "/CN=localhost" 2>/dev/null
printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
  >"$pki/server.ext"
openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" \
  -CAcreateserial -days 2 -extfile "$pki/server.ext" -out "$pki/server.pem" 2>/dev/null

nginx_dir="$work/nginx"
nginx_write_conf "$nginx_dir" "  server { listen 127.0.0.1:$port_http; root $work/www; }
  server {
    listen 127.0.0.1:$port_https ssl;
    ssl_certificate $pki/server.pem;
    ssl_certificate_key $pki/server.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    root $work/www;
  }"
nginx_run "$nginx_dir"
pids+=("$nginx_pid")
served() {
  curl -sf -o /dev/null "http://127.0.0.1:$port_http/kub/VersionesKUB.txt" &&
    curl -sf -o /dev/null --cacert "$pki/ca.pem" "https://localhost:$port_https/kub/VersionesKUB.txt"
}
poll 100 served || fail "nginx does not answer"

# Wine's trusted roots get the throw-away CA (this also makes the prefix).
run_wine "$install_ca" "Z:$pki/ca.pem" || fail "the CA was not added to Wine's roots"

# --- Screenshots and texts ---
# The window's pixels, as a checksum: equal checksums, equal pictures.
pixels() { import -window "$1" -depth 8 rgb:- 2>/dev/null | md5sum | cut -d' ' -f1; }
# shot <window> <name> <text...>: waits until the window shows every text (read by OCR from a
# capture enlarged three times; letter case aside, since OCR takes a capital I for an l in
# sans-serif type), then keeps that capture as shots/<name>.png.
shot() {
  local window=$1 name=$2
  shift 2
  local capture="$work/shots/$name.png" text
  shows_texts() {
    import -window "$window" "$capture" 2>/dev/null || return 1
    convert "$capture" -resize 300% -colorspace Gray "$work/ocr.png" 2>/dev/null || return 1
    text="$(tesseract "$work/ocr.png" - -l spa 2>/dev/null | tr -s ' \n' ' ')"
    local wanted
    for wanted in "$@"; do
      [[ "${text,,}" == *"${wanted,,}"* ]] || return 1
    done
  }
  poll 150 shows_texts "$@" || fail "$name: the window never showed: $*; it showed: $text"
}

# The layout's positions of the buttons' centres, from the window's top left corner, as the
# Linux window shows them (app/UpdateFrm.ui: the 497-wide content column centred in the
# 640-wide window, under the banner and the tab bar). The buttons' white on yellow is no text
# for OCR; the labels beside them are.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
click_buscar() { click "$1" 164 181; }
click_actualizar() { click "$1" 511 237; }
click_salir() { click "$1" 512 445; }

version_of() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
PY
}

# A copy of the install tree with the library of Lib dir $2, started; sets $pid and $window.
start_tree() {
  local name=$1 lib=$2
  local copy="$work/$name"
  cp -a "$tree" "$copy"
  rm -rf "$copy/Lib" "$copy/Update"
  cp -a "$lib" "$copy/Lib"
  run_wine "$make_exe" "Z:$copy/Quendral.exe" 2.4.1.6
  # env execs Wine: $! is the updater's own process, whose windows carry its pid.
  env LC_ALL=es_ES.UTF-8 "$wine" "$copy/updater.exe" >"$work/$name.out" 2>"$work/$name.err" &
  pid=$!
  window=""
  find_window() {
    window="$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)"
    [ -n "$window" ]
  }
  poll 600 find_window || fail "$name: no window"
}

run_update() {
  local scheme=$1 copy="$work/$1"
  start_tree "$scheme" "$libs/$scheme/Lib"
  shot "$window" "$scheme-1-start" "Bienvenido" "Versión Actual del Sistema" "2.4.1.6"
  click_buscar "$window"
  shot "$window" "$scheme-2-checked" "KUB 2.4.1.7"
  # The archive's request in nginx's log shows that the click started the worker.
  local before
  before="$(grep -c "GET /kub/KUBUpdate-ESC.2.4.1.7.zip" "$nginx_dir/access.log" || true)"
  asked() { [ "$(grep -c "GET /kub/KUBUpdate-ESC.2.4.1.7.zip" "$nginx_dir/access.log")" -gt "$before" ]; }
  click_actualizar "$window"
  poll 300 asked || fail "$scheme: Actualizar did not start the download"
  installed() {
    [ -f "$copy/Informes/VentasPorCliente.rpt" ] && [ "$(version_of "$copy/Quendral.exe")" = 2.4.1.7 ]
  }
  poll 600 installed || fail "$scheme: 2.4.1.7 was not installed"
  shot "$window" "$scheme-3-finished" "Proceso finalizado."
  [ -f "$copy/LEEME.txt" ] || fail "$scheme: LEEME.txt is missing"
  click_salir "$window"
  poll 300 bash -c "! kill -0 $pid 2>/dev/null" || fail "$scheme: Salir did not end the updater"
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "$scheme: exit code $status"
  grep -q "GET /kub/KUBUpdate-ESC.2.4.1.7.zip HTTP/1.1\" 200" "$nginx_dir/access.log" ||
    fail "$scheme: the archive was not fetched"
  echo "end_to_end_wine: $scheme: checked, installed 2.4.1.7, ended"
}

run_update http
run_update https

# --- A library that lacks an operation: the start stops with the loader's box. ---
start_tree without-getimage "$libs/without-getimage/Lib"
# The exact names are checked on standard error below; OCR reads ".dll" as ".dil" at times.
shot "$window" fatal-missing-operation "entry point getImage" "ResourcesUpd"
# The box's one button, OK, has the focus within it; Xvfb has no window manager to give the
# box itself the keyboard.
xdotool windowfocus --sync "$window" key Return
poll 300 bash -c "! kill -0 $pid 2>/dev/null" || fail "the box did not end the updater"
status=0
wait "$pid" || status=$?
[ "$status" -ne 0 ] || fail "the updater started with a library that lacks getImage"
grep -q "getImage" "$work/without-getimage.err" || fail "standard error does not name getImage"
echo "end_to_end_wine: a library without getImage: refused"
