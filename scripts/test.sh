#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with ASan and UBSan, runs the fuzz
# targets (a fixed number of executions from FUZZ_SEED, 1 by default, so that the run repeats;
# FUZZ_SECONDS=0 skips them), and runs every test. Then the tests of the zip library and of the
# extraction again, built with ThreadSanitizer: their entries are decoded on several threads.
# Then the Windows stage (WINDOWS_TESTS=0 skips it): the cross build of the libraries below the
# window, with their tests under Wine, headless.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
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
  # Wine's server for our prefix outlives the tests by a few seconds; end it now so that
  # nothing of the run is left behind.
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  WINEPREFIX="$PWD/build/windows-cross/wine-prefix" "$wineserver" -k 2>/dev/null || true
  exit "$status"
fi
