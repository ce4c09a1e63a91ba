#!/usr/bin/env bash
# Download benchmark: a local nginx on 127.0.0.1 serves a file of SIZE (default 1G); it is
# fetched ROUNDS times (default 3) through TIdHTTPProgress (bench program download_bench, whose
# OnChange makes a blocking queued call to a Qt UI thread) and as often with `curl -o`,
# alternating. Prints each run, the median throughput of each side, their ratio (ours / curl)
# and each side's peak resident memory.
#
#   bench/download.sh <build dir with download_bench> [SIZE] [ROUNDS] [download_bench option]
# The option (--hop-on-change, --no-ui) changes what OnChange does, for comparison.
# Needs nginx (Debian's nginx-light), curl and /usr/bin/time. Uses no root paths: nginx runs
# from its own temporary prefix and is stopped on exit. Downloads land in OUT_DIR (default
# /dev/shm when it exists): on a disk, the kernel's throttling of dirty pages hits whichever
# side happens to cross its threshold, which swamps the difference being measured.
# Prints the median and the best run of each side: on a shared machine the best run is the
# one least disturbed by other work.
set -euo pipefail

build="${1:?usage: $0 <build dir> [size] [rounds]}"
size="${2:-1G}"
rounds="${3:-3}"
option=("${@:4}")
bench="$build/bench/download_bench"
[ -x "$bench" ] || { echo "no $bench: build the download_bench target first" >&2; exit 1; }
# shellcheck source=lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
need_tools nginx curl /usr/bin/time python3

work="$(mktemp -d /tmp/download-bench.XXXXXX)"
default_out=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && default_out=/dev/shm
out="$(mktemp -d "${OUT_DIR:-$default_out}/download-bench-out.XXXXXX")"
cleanup() {
  stop_nginx
  rm -rf "$work" "$out"
}
trap cleanup EXIT

mkdir -p "$work/www"
chmod 755 "$work" "$work/www"
# Random bytes, not a sparse file: both sides then move the same real data.
head -c "$size" /dev/urandom > "$work/www/file.bin"
chmod 644 "$work/www/file.bin"
bytes=$(stat -c %s "$work/www/file.bin")
start_nginx "$work" /file.bin
url="http://127.0.0.1:$nginx_port/file.bin"

# run NAME COMMAND...: one timed download into $out/out.bin; appends "seconds maxrss_kb".
run() {
  local name="$1"; shift
  rm -f "$out/out.bin"
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$@" > "$work/stdout" 2>&1
  end=$(date +%s%N)
  local got
  got=$(stat -c %s "$out/out.bin")
  [ "$got" = "$bytes" ] || { echo "$name: got $got of $bytes bytes" >&2; cat "$work/stdout" >&2; exit 1; }
  local secs
  secs=$(python3 -c "print(($end - $start) / 1e9)")
  echo "$secs $(cat "$work/rss")" >> "$work/$name.runs"
  printf '%-6s %8.3f s  %8.1f MiB/s  peak %6d KiB\n' "$name" "$secs" \
    "$(python3 -c "print($bytes / $secs / 1048576)")" "$(cat "$work/rss")"
}

echo "file: $bytes bytes from $url, $rounds rounds each, alternating"
for _ in $(seq "$rounds"); do
  run ours "$bench" "$url" "$out/out.bin" "${option[@]}"
  run curl curl -s -o "$out/out.bin" "$url"
done

python3 - "$work" "$bytes" <<'PY'
import statistics, sys
work, size = sys.argv[1], int(sys.argv[2])
def load(name):
    rows = [line.split() for line in open(f"{work}/{name}.runs")]
    return [float(r[0]) for r in rows], [int(r[1]) for r in rows]
ours_t, ours_m = load("ours")
curl_t, curl_m = load("curl")
for label, pick in (("median", statistics.median), ("best", min)):
    ours = size / pick(ours_t) / 1048576
    curl = size / pick(curl_t) / 1048576
    print(f"{label} throughput: ours {ours:.1f} MiB/s, curl {curl:.1f} MiB/s,"
          f" ratio (ours / curl) {ours / curl:.3f}")
print(f"peak memory: ours {max(ours_m)} KiB, curl {max(curl_m)} KiB")
PY
