#!/usr/bin/env bash
# The updater's main job, on a fresh Debian 12 machine: installs what is needed, builds, lays out
# an install tree of the KUB product line with Quendral.exe 2.4.1.6, and starts the updater.
# Without a display it runs under Xvfb and saves a screenshot instead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
tree="$PWD/build/release/demo/KUB"

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting the updater in $tree"
  "$tree/updater"
else
  shot="$PWD/build/release/demo/window.png"
  echo "No display: starting the updater under Xvfb; screenshot in $shot"
  xvfb-run -a -s "-screen 0 800x600x24" bash -c \
    "'$tree/updater' & sleep 3; import -window root '$shot'; kill \$!"
fi
