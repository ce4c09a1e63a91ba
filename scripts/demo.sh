#!/usr/bin/env bash
# The updater's main job, on a fresh Debian 12 machine: installs what is needed, builds, lays out
# an install tree of the KUB product line with Quendral.exe 2.4.1.6, publishes a signed update to
# 2.4.1.7 with the vendor's command (quendral-publish, with the demo's build-time key, whose
# public half the demo's library carries), serves it from a local server on 127.0.0.1, and
# starts the updater against it. Press "Buscar Actualización", then "Actualizar", and the files
# of 2.4.1.7 are installed once their signature verifies.
#
# Without a display the demo runs under Xvfb, presses the two buttons itself and saves
# screenshots of the window before, during and after the update.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

build="$PWD/build/release"
port=$(sed -n 's/^UPDATER_DEMO_PORT:STRING=//p' "$build/CMakeCache.txt")
demo="$build/demo"
tree="$demo/run"            # a fresh copy of the install tree each run
server="$demo/server"       # what the local update server serves

rm -rf "$tree" "$server"
cp -a "$demo/KUB" "$tree"

# The sample releases: each folder of demo/releases plus its own Quendral.exe, published and
# signed as a vendor does it.
for version in 2.4.1.6 2.4.1.7; do
  staging="$demo/staging/$version"
  rm -rf "$staging" && mkdir -p "$staging"
  cp -a "demo/releases/$version/." "$staging/"
  "$build/tests/support/make-versioned-exe" "$staging/Quendral.exe" "$version"
  "$build/publish/quendral-publish" --code KUB --version "$version" --from "$staging" \
    --changes "$staging/changes.txt" --history "$server/kub/VersionesKUB.txt" \
    --out "$server/kub" --sign "$demo/signing/minisign.key" >/dev/null
done

python3 -m http.server --bind 127.0.0.1 --directory "$server" "$port" >"$demo/server.log" 2>&1 &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
echo "Update server: http://127.0.0.1:$port/kub/ (serving $server)"
echo "Install tree:  $tree"

if [ -n "${DISPLAY:-}" ]; then
  "$tree/updater"
else
  echo "No display: running under Xvfb; screenshots in $demo/"
  xvfb-run -a -s "-screen 0 800x600x24" bash scripts/demo-clicks.sh "$tree" "$demo" "$demo/server.log"
fi
echo "The install tree now (Update/ holds the downloaded archive):"
(cd "$tree" && find . -path ./Lib -prune -o -type f -print | sort)
