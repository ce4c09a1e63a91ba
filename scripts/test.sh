#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with ASan and UBSan, runs the fuzz
# targets (a fixed number of executions from FUZZ_SEED, 1 by default, so that the run repeats;
# FUZZ_SECONDS=0 skips them), and runs every test. Then the tests of the zip library and of the
# extraction again, built with ThreadSanitizer: their entries are decoded on several threads.
# Then the Windows stages (WINDOWS_TESTS=0 skips both): the cross build of the libraries below
# the window, with their tests under Wine, headless; then the Windows program, updater.exe, on
# the libraries scripts/build-windows-deps.sh builds from Debian's sources, with its window's
# tests under Wine and the install tree's end-to-end run under Xvfb. Those libraries are built
# in the background beside the Linux stages (on a fresh machine most of the run's time; later
# runs find them in their cache), at a lower priority, their log in build/windows-deps.log.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
windows_deps=""
if [ "${WINDOWS_TESTS:-1}" != 0 ]; then
  mkdir -p build
  # In a process group of its own, so that an early failure of a Linux stage, which ends the
  # run, ends the whole library build with it.
  setsid nice -n 10 bash scripts/build-windows-deps.sh >build/windows-deps.log 2>&1 &
  windows_deps=$!
  trap 'kill -- -"$windows_deps" 2>/dev/null || true' EXIT
fi
bash scripts/check-format.sh
bash scripts/check-layers.sh
cmake --preset ci
cmake --build --preset ci
if [ "${FUZZ_SECONDS:-60}" -gt 0 ]; then
  FUZZ_SEED="${FUZZ_SEED:-1}" bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}" build/fuzz
fi
ctest --preset ci -j2

cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan -j2

if [ "${WINDOWS_TESTS:-1}" != 0 ]; then
  cmake --preset windows-cross
  cmake --build --preset windows-cross
  status=0
  ctest --preset windows-cross -j2 || status=$?
  # Wine's server for a prefix outlives the tests by a few seconds; end it now so that nothing
  # of the run is left behind.
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  WINEPREFIX="$PWD/build/windows-cross/wine-prefix" "$wineserver" -k 2>/dev/null || true

  started=$SECONDS
  if ! wait "$windows_deps"; then
    tail -n 60 build/windows-deps.log
    echo "the Windows libraries did not build (build/windows-deps.log)" >&2
    exit 1
  fi
  trap - EXIT
  echo "Windows libraries ready (waited $((SECONDS - started)) s after the Linux stages)"
  cmake --preset windows-app
  cmake --build --preset windows-app
  ctest --preset windows-app -j2 || status=$?
  WINEPREFIX="$PWD/build/windows-app/wine-prefix" "$wineserver" -k 2>/dev/null || true
  exit "$status"
fi
