#!/usr/bin/env bash
# The whole update as a user waits for it: an encrypted update archive downloaded from a local
# nginx and installed over the previous version on disk. Ours is the real window (bench program
# update_bench): the time from the press of "Actualizar" to the end text, while a timer on the
# UI thread records the longest the event loop was kept from turning. The peer, in the same
# run and alternating, is `curl -o` followed by `7zz x` over the same tree. Prints each run,
# the medians, our ratio (goal: at most 1.1), the longest UI stall (goal: under 50 ms) and
# each side's peak resident memory. With SIGNED=1 the product line signs: the archive is signed
# with a key made for the run (minisign), and ours fetches and verifies the signature before it
# installs (the peer does not verify: what verifying costs is ours signed against ours unsigned).
#
#   [TREE_MB=450] [SIGNED=1] bench/update.sh <build dir with update_bench> [ROUNDS (default 5)] [work directory]
# The trees and archives are install.sh's (made on first use, kept in the work directory,
# default /var/tmp/install-bench); at the default size the archive is about 200 MB. Needs
# nginx (Debian's nginx-light), curl, 7zz, zip, python3 and /usr/bin/time. The window runs on
# Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
set -euo pipefail

build="${1:?usage: $0 <build dir> [rounds] [work dir]}"
rounds="${2:-5}"
work="${3:-/var/tmp/install-bench}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=lib.sh
source "$here/lib.sh"
bench="$(cd "$build" && pwd)/bench/update_bench"
[ -x "$bench" ] || { echo "no $bench: build the update_bench target first" >&2; exit 1; }
need_tools nginx curl 7zz zip python3 diff /usr/bin/time
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

tree_mb="${TREE_MB:-450}"
password="$(archive_password)"  # the product's fixed archive password
data="$work/$tree_mb-mb"
prepare_install_data "$here" "$data" "$tree_mb" "$password"
version=9.9.9.9
echo "update: $(du -m "$data/encrypted.zip" | cut -f1) MiB archive over $(find "$data/old" -type f | wc -l) files of the old version"

# nginx from a temporary prefix, serving the archive under the name the window asks for.
server="$(mktemp -d /tmp/update-bench.XXXXXX)"
dest="$work/update-dest"
cleanup() {
  stop_nginx
  rm -rf "$server" "$dest"
}
trap cleanup EXIT
mkdir -p "$server/www/kub"
chmod 755 "$server" "$server/www" "$server/www/kub"
ln "$data/encrypted.zip" "$server/www/kub/KUBUpdate-ESC.$version.zip" 2>/dev/null ||
  cp "$data/encrypted.zip" "$server/www/kub/KUBUpdate-ESC.$version.zip"
if [ "${SIGNED:-0}" = 1 ]; then
  need_tools minisign
  minisign -G -W -f -p "$server/bench.pub" -s "$server/bench.key" >/dev/null
  minisign -S -s "$server/bench.key" -m "$server/www/kub/KUBUpdate-ESC.$version.zip" >/dev/null
  UPDATE_BENCH_KEY="$(sed -n 2p "$server/bench.pub")"
  export UPDATE_BENCH_KEY
  echo "signed: ours fetches KUBUpdate-ESC.$version.zip.minisig and verifies before installing"
fi
start_nginx "$server" "/kub/KUBUpdate-ESC.$version.zip"
base="http://127.0.0.1:$nginx_port/kub/"
url="${base}KUBUpdate-ESC.$version.zip"

# reset: the destination holds the old version, written out.
reset() {
  rm -rf "$dest"
  cp -a "$data/old" "$dest"
  sync
}

echo "load average at start: $(uptime | sed 's/.*load average: //')"
declare -A times=() peaks=()
stalls=""
for round in $(seq 1 "$rounds"); do
  for side in $( ((round % 2)) && echo "ours peer" || echo "peer ours"); do
    reset
    if [ "$side" = ours ]; then
      # The program's own time, from the press of "Actualizar" to the end text.
      /usr/bin/time -f "%M" -o "$server/peak" "$bench" "$base" "$version" "$dest" \
        > "$server/report" 2> "$server/stderr" ||
        { echo "our update failed:" >&2; cat "$server/report" "$server/stderr" >&2; exit 1; }
      report="$(cat "$server/report")"
      seconds="$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<< "$report")"
      stalls+="$(sed -n 's/.*longest_stall_ms=\([0-9.]*\).*/\1/p' <<< "$report") "
      result="$seconds $(cat "$server/peak")"
    else
      result="$(timed "$server/stderr" sh -c \
        'curl -s -f -o "$1/Update.zip" "$2" && 7zz x -y -bd "-p$3" "-o$1" "$1/Update.zip"' \
        sh "$dest" "$url" "$password")"
      [ "$result" = fail ] && { echo "the peer failed:" >&2; cat "$server/stderr" >&2; exit 1; }
    fi
    if [ "$round" = 1 ]; then
      diff -r -q -x Update -x Update.zip "$data/new" "$dest" >/dev/null ||
        { echo "$side: the installed tree differs from the new version" >&2; exit 1; }
    fi
    times[$side]+="${result% *} "
    peak="${result#* }"
    if [ -z "${peaks[$side]:-}" ] || [ "$peak" -gt "${peaks[$side]}" ]; then peaks[$side]=$peak; fi
    printf '%-5s round %d: %8s s  peak %6s MiB\n' "$side" "$round" "${result% *}" "$(mib "$peak")"
  done
done

ours="$(echo "${times[ours]}" | median)"
peer="$(echo "${times[peer]}" | median)"
longest="$(tr -s ' ' '\n' <<< "$stalls" | sort -n | tail -1)"
printf '\nmedian: ours %s s (press to end text), curl + 7zz %s s; ratio %s (goal <= 1.1)\n' \
  "$ours" "$peer" "$(ratio "$ours" "$peer")"
printf 'longest UI stall over all runs: %s ms (goal < 50); peak memory: ours %s MiB, peer %s MiB\n' \
  "$longest" "$(mib "${peaks[ours]}")" "$(mib "${peaks[peer]}")"
echo "load average at end: $(uptime | sed 's/.*load average: //')"
