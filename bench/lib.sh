# shellcheck shell=bash
# Helpers the benchmark scripts share; sourced, not run.

# archive_password, for the archives the benchmarks make.
# shellcheck source=../scripts/lib/constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/constants.sh"
# shellcheck source=../scripts/lib/nginx.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/nginx.sh"

# need_tools <tool...>: stops the script when one is not installed.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
  done
}

# timed <stderr file> <command...>: runs the command, its output discarded and its standard
# error kept in the file; prints "<wall seconds> <peak resident KiB>", or "fail" when the
# command exits non-zero.
timed() {
  local errors="$1" times
  shift
  times="$(mktemp)"
  if /usr/bin/time -f "%e %M" -o "$times" "$@" >/dev/null 2>"$errors"; then
    cat "$times"
  else
    echo "fail"
  fi
  rm -f "$times"
}

# median: the median of the numbers on standard input, blank-separated or one a line (the lower
# middle one of an even count); "n/a" when there are none.
median() {
  tr -s ' \t' '\n' | sort -n |
    awk '/^[0-9.]+$/ {a[++n] = $1} END {if (n == 0) print "n/a"; else print a[int((n + 1) / 2)]}'
}

# ratio <a> <b>: a / b to two decimals; "n/a" when either is not a number or b is zero.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b + 0 == 0) print "n/a"; else printf "%.2f\n", a / b
  }'
}

# mib <KiB>: the amount in MiB to one decimal; "n/a" when it is not a number.
mib() {
  awk -v k="$1" 'BEGIN {if (k !~ /^[0-9]+$/) print "n/a"; else printf "%.1f\n", k / 1024}'
}

# prepare_install_data <bench dir> <data dir> <tree MB> <password>: the install trees and the
# update archives in the data directory, made once and kept: new/ (about that many MB of the
# system's own files), old/ (every file different), pct5/ (one file in 20 different), and
# encrypted.zip and plain.zip of new/ (zip -r -6, the first with the password). Each step
# leaves a .done mark, so that an interrupted one is redone rather than trusted.
prepare_install_data() {
  local here="$1" data="$2" tree_mb="$3" password="$4" variant name mode
  mkdir -p "$data"
  if [ ! -f "$data/new.done" ]; then
    rm -rf "$data/new" "$data"/*.done "$data"/*.zip
    python3 "$here/make_install_data.py" new "$data/new" "$tree_mb"
    touch "$data/new.done"
  fi
  for variant in old:1 pct5:20; do
    name="${variant%:*}"
    if [ ! -f "$data/$name.done" ]; then
      rm -rf "${data:?}/$name"
      python3 "$here/make_install_data.py" vary "$data/new" "$data/$name" "${variant#*:}"
      touch "$data/$name.done"
    fi
  done
  for mode in encrypted plain; do
    if [ ! -f "$data/$mode.zip" ]; then
      rm -f "$data/$mode.zip.part"
      local encryption=()
      [ "$mode" = encrypted ] && encryption=(-P "$password")
      (cd "$data/new" && zip -r -6 -q "${encryption[@]}" "$data/$mode.zip.part" .)
      mv "$data/$mode.zip.part" "$data/$mode.zip"
    fi
  done
}

# start_nginx <directory> <path to probe>: serves <directory>/www on a free port of 127.0.0.1
# from its own prefix in <directory> (no root paths), in the background; sets nginx_pid and
# nginx_port, and returns once <path to probe> (e.g. /file.bin) answers. stop_nginx ends it.
nginx_port=""
start_nginx() {
  local dir="$1" probe="$2"
  nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  nginx_write_conf "$dir" "  server { listen 127.0.0.1:$nginx_port; root $dir/www; }"
  nginx_run "$dir"
  local attempt
  for attempt in $(seq 100); do
    curl -s -o /dev/null -r 0-0 "http://127.0.0.1:$nginx_port$probe" && return 0
    sleep 0.1
  done
  echo "nginx did not answer on port $nginx_port (attempts: $attempt)" >&2
  exit 1
}

stop_nginx() {
  if [ -n "${nginx_pid:-}" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
}
