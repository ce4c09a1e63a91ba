#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for a bounded time
# from a seed corpus. Exits non-zero when a fuzzer finds a crash, a leak-free hang or a
# sanitizer report; the input that did it is left in the build directory (crash-*, timeout-*).
# Usage: scripts/fuzz.sh <seconds per fuzzer> [build directory]
#
# With FUZZ_SEED set (the test run sets it), each fuzzer makes a fixed number of executions from
# that seed, about a minute's worth on a 2-core machine, so that two runs of the same tree try
# the same inputs and a failure can be repeated; <seconds> is then only a bound in case the
# machine is much slower. Without it, each fuzzer explores from a random seed for <seconds>.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:?usage: scripts/fuzz.sh <seconds per fuzzer> [build directory]}"
build="$(realpath -m "${2:-$root/build-fuzz}")"

# One line a fuzzer: <CMake target> <seeds: a directory, or a script that writes them into the
# directory it is given> <executions with FUZZ_SEED> [extra libFuzzer options]
fuzzers=(
  "zip_extract_fuzzer tests/zip/make_fuzz_seeds.sh 30000 -max_len=16384"
  "zip_codec_fuzzer tests/zip/make_codec_fuzz_seeds.sh 13000 -max_len=16384"
  "fuzz_version_history tests/versioncheck/fuzz/corpus 1500000 -dict=$root/tests/versioncheck/fuzz/version_history.dict"
  "fuzz_image_decode tests/branding/fuzz/make_fuzz_seeds.sh 15000 -max_len=65536"
)

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DUPDATER_BUILD_FUZZERS=ON -DUPDATER_SANITIZE=ON -DUPDATER_BUILD_BENCH=OFF > "$build/configure.log"

status=0
for line in "${fuzzers[@]}"; do
  read -r target seeds executions options <<< "$line"
  if [ -n "${FUZZ_SEED:-}" ]; then
    budget="-seed=$FUZZ_SEED -runs=$executions -max_total_time=$((seconds * 5))"
  else
    budget="-max_total_time=$seconds"
  fi
  cmake --build "$build" --target "$target" -j2
  binary="$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)"
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  if [ -d "$root/$seeds" ]; then
    cp -n "$root/$seeds"/* "$corpus"/ 2> /dev/null || true
  else
    bash "$root/$seeds" "$corpus"
  fi
  echo "== $target: $budget"
  # -rss_limit_mb: the reader must stay within a fixed memory bound whatever the input.
  # shellcheck disable=SC2086
  if ! (cd "$build" && ASAN_OPTIONS=detect_leaks=1 "$binary" "$corpus" $budget \
        -timeout=20 -rss_limit_mb=1024 -print_final_stats=1 $options); then
    echo "== $target found a problem; see the crash-* or timeout-* file in $build" >&2
    status=1
  fi
done
exit $status
