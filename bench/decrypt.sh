#!/usr/bin/env bash
# Decryption benchmark: what the archive password costs per byte, ours beside 7zz's. Both sides
# extract install.sh's encrypted and plain archives (zip -6 of the same tree; the data is made
# the same way and shared with it) into an empty folder on tmpfs, alternating, and the CPU time
# each spends in user mode is taken: the median of each round's encrypted run minus its plain
# run is the decryption, which over the encrypted archive's size gives bytes decrypted per
# second of one core's time. Decryption is a serial chain per entry; ours interleaves several entries on one
# core, so the figure is throughput per core, not the speed of one entry.
#
#   [TREE_MB=100] bench/decrypt.sh <build dir with extract_bench> [ROUNDS (default 7)] [work dir]
#
# Use a Release build. The user times have 10 ms steps: take the 100 MB tree or larger.
# shellcheck source=lib.sh
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"

build="${1:?usage: bench/decrypt.sh <build dir> [ROUNDS] [work dir]}"
rounds="${2:-7}"
work="${3:-/var/tmp/install-bench}"
tree_mb="${TREE_MB:-100}"
bench="$(cd "$build" && pwd)/bench/extract_bench"
[ -x "$bench" ] || { echo "no $bench: build the extract_bench target first" >&2; exit 1; }
need_tools 7zz zip python3 /usr/bin/time
# The product's fixed archive password (update::kArchivePassword).
password="$(archive_password)"

data="$work/$tree_mb-mb"
prepare_install_data "$here" "$data" "$tree_mb" "$password"
bytes="$(stat -c %s "$data/encrypted.zip")"
dest="/dev/shm/decrypt-bench.$$"
trap 'rm -rf "$dest"' EXIT

# user_seconds <side> <archive>: the side's user CPU seconds for one extraction into $dest.
user_seconds() {
  local times
  times="$(mktemp)"
  rm -rf "$dest" && mkdir -p "$dest"
  case "$1" in
    ours) /usr/bin/time -f "%U" -o "$times" "$bench" "$2" "$dest" >/dev/null ;;
    7zz) /usr/bin/time -f "%U" -o "$times" 7zz x -y -bd "-p$password" "-o$dest" "$2" >/dev/null ;;
  esac
  tail -n 1 "$times"
  rm -f "$times"
}

echo "encrypted archive: $bytes bytes; $rounds rounds; load average at start: $(uptime | sed 's/.*load average: //')"
declare -A rates=()
for side in ours 7zz; do
  encrypted=() plain=() costs=()
  for _ in $(seq 1 "$rounds"); do
    e="$(user_seconds "$side" "$data/encrypted.zip")"
    p="$(user_seconds "$side" "$data/plain.zip")"
    encrypted+=("$e") plain+=("$p")
    # Each round's pair ran moments apart, under the same load: their difference is steadier
    # than the difference of two medians. One below zero counts as zero.
    costs+=("$(awk -v e="$e" -v p="$p" 'BEGIN {printf "%.2f\n", (e > p ? e - p : 0)}')")
  done
  cost="$(echo "${costs[*]}" | median)"
  rates[$side]="$(awk -v c="$cost" -v b="$bytes" 'BEGIN {
    if (c <= 0) print "n/a"; else printf "%.0f\n", b / c / 1e6 }')"
  printf '%-5s user seconds: encrypted %s, plain %s; decryption (median difference) %s s: %s MB/s per core\n' \
    "$side" "${encrypted[*]}" "${plain[*]}" "$cost" "${rates[$side]}"
done
printf 'ours/7zz decryption throughput: %s (goal: at least 250 MB/s per core for ours)\n' \
  "$(ratio "${rates[ours]}" "${rates[7zz]}")"
