#!/usr/bin/env bash
# Installs what is needed, builds with ASan and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci
ctest --preset ci -j2
