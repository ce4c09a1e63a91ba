#!/usr/bin/env bash
# Fails when a C++ file that git tracks is not formatted as .clang-format says.
# Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
