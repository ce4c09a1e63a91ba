#!/usr/bin/env bash
# Extraction benchmark: about 300 MB of mixed text and binary, archived once per method we
# read (stored, deflate, bzip2, LZMA) by 7-Zip, and a third of it (about 100 MB) for Deflate64
# and PPMd, then extracted ROUNDS times (default 3) by our extractArchive (bench program
# extract_bench) and, alternating in the same run, by `bsdtar -xf`, `unzip -o -q` and
# `7zz x -y` (a peer that does not read a method shows "fails"). Prints each run, each side's
# median time and peak resident memory, and the ratio of our time to each peer's (below 1: we
# are faster). Every extraction of ours is compared with its source tree.
#
#   [METHODS="Deflate64 PPMd"] bench/extract.sh <build dir with extract_bench> [ROUNDS] [work directory]
# Use a Release build. The work directory (default /tmp/extract-bench) keeps the source tree
# and the archives between runs; delete it to start afresh. Extractions go to tmpfs
# (/dev/shm) when there is one, so that the disk's own state (ext4 slows down creating files
# just after many were deleted) does not decide the figures; EXTRACT_OUT=<dir> overrides.
set -euo pipefail

build="${1:?usage: $0 <build dir> [rounds] [work dir]}"
rounds="${2:-3}"
work="${3:-/tmp/extract-bench}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=lib.sh
source "$here/lib.sh"
bench="$(cd "$build" && pwd)/bench/extract_bench"
[ -x "$bench" ] || { echo "no $bench: build the extract_bench target first" >&2; exit 1; }
need_tools 7zz bsdtar unzip python3 /usr/bin/time

mkdir -p "$work"
if [ ! -f "$work/source.done" ]; then
  rm -rf "$work/source"
  python3 "$here/make_extract_data.py" "$work/source"
  touch "$work/source.done"
fi
echo "source: $(du -sm "$work/source" | cut -f1) MB in $(find "$work/source" -type f | wc -l) files"

# Every third file of the tree, hard links to it: about 100 MB.
if [ ! -f "$work/subset.done" ]; then
  rm -rf "$work/subset" && mkdir -p "$work/subset"
  (cd "$work/source" && find . -type f | sort | awk 'NR % 3 == 0' |
    xargs -d '\n' cp -l --parents -t "$work/subset")
  touch "$work/subset.done"
fi
echo "subset: $(du -sm "$work/subset" | cut -f1) MB in $(find "$work/subset" -type f | wc -l) files"
# The slow or rare methods take the subset.
source_of() {
  case "$1" in
    Deflate64 | PPMd) echo "$work/subset" ;;
    *) echo "$work/source" ;;
  esac
}

read -r -a methods <<< "${METHODS:-Copy Deflate BZip2 LZMA Deflate64 PPMd}"
for method in "${methods[@]}"; do
  if [ ! -f "$work/$method.zip" ]; then
    (cd "$(source_of "$method")" && 7zz a -bd -tzip -mm="$method" "$work/$method.zip.part" . >/dev/null)
    mv "$work/$method.zip.part" "$work/$method.zip"
  fi
done

# run <label> <command...>: one extraction into a fresh directory; prints "seconds peak-KiB"
# or "fail".
run() {
  local out="$out_dir"
  rm -rf "$out" && mkdir -p "$out"
  sync
  timed "$work/stderr.txt" "$@"
}

if [ -n "${EXTRACT_OUT:-}" ]; then
  out_dir="$EXTRACT_OUT"
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
  out_dir="/dev/shm/extract-bench-out.$$"
else
  out_dir="$work/out"
fi
trap 'rm -rf "$out_dir"' EXIT
echo "extracting into $out_dir"

declare -A commands=(
  [ours]="$bench ARCHIVE $out_dir"
  [bsdtar]="bsdtar -xf ARCHIVE -C $out_dir"
  [unzip]="unzip -o -q ARCHIVE -d $out_dir"
  [7zz]="7zz x -y -bd -o$out_dir ARCHIVE"
)
sides=(ours bsdtar unzip 7zz)

printf '\n%-8s %-7s %s\n' method side "runs (seconds)"
summary=()
for method in "${methods[@]}"; do
  archive="$work/$method.zip"
  declare -A times=() peaks=()
  for round in $(seq 1 "$rounds"); do
    # Rotate the order each round so that no side always runs first after a cache change.
    for i in "${!sides[@]}"; do
      side="${sides[$(( (i + round) % ${#sides[@]} ))]}"
      read -r -a command <<< "${commands[$side]//ARCHIVE/$archive}"
      result="$(run "${command[@]}")"
      if [ "$result" = "fail" ]; then
        times[$side]+=""
        [ "$side" = ours ] && { echo "our extraction failed:" >&2; cat "$work/stderr.txt" >&2; exit 1; }
        continue
      fi
      times[$side]+="${result% *} "
      peak="${result#* }"
      if [ -z "${peaks[$side]:-}" ] || [ "$peak" -gt "${peaks[$side]}" ]; then peaks[$side]=$peak; fi
      if [ "$side" = ours ] && [ "$round" = 1 ]; then
        diff -r -q "$(source_of "$method")" "$out_dir" >/dev/null || { echo "our extraction differs from the source" >&2; exit 1; }
      fi
    done
  done
  ours_median="$(echo "${times[ours]}" | median)"
  for side in "${sides[@]}"; do
    printf '%-8s %-7s %s\n' "$method" "$side" "${times[$side]:-fails}"
    m="$(echo "${times[$side]:-}" | median)"
    if [ "$m" = "n/a" ]; then
      summary+=("$(printf '%-8s %-7s %8s %10s %8s' "$method" "$side" "n/a" "n/a" "n/a")")
    else
      summary+=("$(printf '%-8s %-7s %8s %10s %8s' "$method" "$side" "$m" \
        "$(mib "${peaks[$side]}")" "$(ratio "$ours_median" "$m")")")
    fi
  done
  unset times peaks
done

printf '\n%-8s %-7s %8s %10s %8s\n' method side "median s" "peak MiB" "ours/it"
printf '%s\n' "${summary[@]}"
