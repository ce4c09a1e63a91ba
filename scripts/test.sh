#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with ASan and UBSan, runs the fuzz targets for a bounded time
# (FUZZ_SECONDS each, 60 by default, 0 to skip them), and runs every test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
cmake --preset ci
cmake --build --preset ci
if [ "${FUZZ_SECONDS:-60}" -gt 0 ]; then
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}" build/fuzz
fi
ctest --preset ci -j2
