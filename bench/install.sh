#!/usr/bin/env bash
# Install benchmark: the updater's real job, a ZIP update archive (zip -6, with and without the
# vendor's traditional encryption) extracted over an install that is already on disk, by our
# extractArchive (bench program extract_bench) and, alternating in the same run, by
# `7zz x -y`, `unzip -o` and `bsdtar -xf`. The install is about TREE_MB (default 450) of the
# system's own headers, documents and libraries, ~15,000 files at the default size.
#
# Scenarios (SCENARIOS, default all four):
#   empty  into an empty folder
#   old    over the previous version: every file differs, a few in size
#   same   over the same version: nothing to change
#   5pct   over a tree where one file in 20 differs
# each for MODES (default "encrypted plain") and WHERE (default "disk tmpfs"): the destination
# on disk beside the work directory, or on /dev/shm. Before each timed run the destination is
# reset by an untimed full copy of the starting tree (cp -a: the peers write into existing
# files, so hard links would damage the origin) and a sync.
#
#   [TREE_MB=100] [SCENARIOS="old same"] [MODES=encrypted] [WHERE=disk] \
#     bench/install.sh <build dir with extract_bench> [ROUNDS (default 5)] [work directory]
#
# Prints each side's runs, median and peak resident memory per scenario, our ratio to 7zz and
# to the fastest peer, then a summary with the goals beside it (printed, never enforced). The
# result of every side's first run is compared with the new tree; a peer whose extraction fails
# or differs shows "fails" and is left out of the ratios. Use a Release build. The work
# directory (default /var/tmp/install-bench, on disk) keeps the trees and archives per size
# between runs; delete it to start afresh.
set -euo pipefail

build="${1:?usage: $0 <build dir> [rounds] [work dir]}"
rounds="${2:-5}"
work="${3:-/var/tmp/install-bench}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=lib.sh
source "$here/lib.sh"
bench="$(cd "$build" && pwd)/bench/extract_bench"
[ -x "$bench" ] || { echo "no $bench: build the extract_bench target first" >&2; exit 1; }
need_tools 7zz bsdtar unzip zip python3 diff /usr/bin/time

tree_mb="${TREE_MB:-450}"
read -r -a scenarios <<< "${SCENARIOS:-empty old same 5pct}"
read -r -a modes <<< "${MODES:-encrypted plain}"
read -r -a wheres <<< "${WHERE:-disk tmpfs}"
sides=(ours 7zz unzip bsdtar)
peers=(7zz unzip bsdtar)
# The product's fixed archive password (update::kArchivePassword).
password="$(archive_password)"

for scenario in "${scenarios[@]}"; do
  case "$scenario" in empty | old | same | 5pct) ;; *) echo "unknown scenario $scenario" >&2; exit 1 ;; esac
done
for mode in "${modes[@]}"; do
  case "$mode" in encrypted | plain) ;; *) echo "unknown mode $mode" >&2; exit 1 ;; esac
done
for where in "${wheres[@]}"; do
  case "$where" in disk | tmpfs) ;; *) echo "unknown place $where (disk or tmpfs)" >&2; exit 1 ;; esac
done

# --- Trees and archives, kept per size ---
data="$work/$tree_mb-mb"
prepare_install_data "$here" "$data" "$tree_mb" "$password"
files="$(find "$data/new" -type f | wc -l)"
echo "new tree: $(du -sm --apparent-size "$data/new" | cut -f1) MiB in $files files;" \
  "archives: encrypted $(du -m "$data/encrypted.zip" | cut -f1) MiB, plain $(du -m "$data/plain.zip" | cut -f1) MiB"
echo "old tree: every file differs; 5pct tree: $(diff -r -q "$data/new" "$data/pct5" | wc -l) files differ"

start_of() {
  case "$1" in
    empty) echo "" ;;
    old) echo "$data/old" ;;
    same) echo "$data/new" ;;
    5pct) echo "$data/pct5" ;;
  esac
}
describe() {
  case "$1" in
    empty) echo "into an empty folder" ;;
    old) echo "over the old version (every file replaced)" ;;
    same) echo "over the same version (nothing changed)" ;;
    5pct) echo "over a tree with 5 % of the files changed" ;;
  esac
}
# The goal of each scenario: "<limit> <side the limit is relative to>".
goal_of() {
  case "$1" in
    empty) echo "0.8 fastest" ;;
    old) echo "0.8 7zz" ;;
    same | 5pct) echo "0.3 7zz" ;;
  esac
}
peak_goal_mib=32
# One line of the summary: scenario, where, mode, the medians of ours, 7zz and the fastest peer,
# which peer that is, our two ratios, our peak memory, the goal and whether it was met.
summary_row() { printf '%-8s %-5s %-9s %6s %6s %7s %-6s %8s %9s %7s  %-14s %s\n' "$@"; }

# --- Destinations ---
disk_dest="$work/dest"
tmpfs_dest="/dev/shm/install-bench-dest.$$"
trap 'rm -rf "$disk_dest" "$tmpfs_dest" "$work/stderr.$$"' EXIT
dest_of() {
  case "$1" in
    disk) echo "$disk_dest" ;;
    tmpfs) echo "$tmpfs_dest" ;;
  esac
}
if [[ " ${wheres[*]} " == *" tmpfs "* ]]; then
  if ! [ -d /dev/shm ] || ! [ -w /dev/shm ]; then
    echo "no writable /dev/shm for WHERE=tmpfs" >&2
    exit 1
  fi
fi

# reset <start tree or ""> <destination>: the destination as the scenario starts, written out.
reset() {
  rm -rf "$2"
  if [ -n "$1" ]; then
    cp -a "$1" "$2"
  else
    mkdir -p "$2"
  fi
  sync
}

# side_command <side> <archive> <destination>: the side's command line in the array `command`.
# The peers get the password in both modes, as a user would pass it; it does not change how
# they read a plain archive.
side_command() {
  case "$1" in
    ours) command=("$bench" "$2" "$3") ;;
    7zz) command=(7zz x -y -bd "-p$password" "-o$3" "$2") ;;
    unzip) command=(unzip -o -q -P "$password" "$2" -d "$3") ;;
    bsdtar) command=(bsdtar -xf "$2" --passphrase "$password" -C "$3") ;;
  esac
}

echo "load average at start: $(uptime | sed 's/.*load average: //')"
summary=()
for where in "${wheres[@]}"; do
  dest="$(dest_of "$where")"
  for mode in "${modes[@]}"; do
    archive="$data/$mode.zip"
    for scenario in "${scenarios[@]}"; do
      start="$(start_of "$scenario")"
      declare -A times=() peaks=() failed=()
      for round in $(seq 1 "$rounds"); do
        # Rotate the order each round so that no side always runs first after a cache change.
        for i in "${!sides[@]}"; do
          side="${sides[$(((i + round) % ${#sides[@]}))]}"
          [ -n "${failed[$side]:-}" ] && continue
          reset "$start" "$dest"
          side_command "$side" "$archive" "$dest"
          result="$(timed "$work/stderr.$$" "${command[@]}")"
          if [ "$result" != fail ] && [ "$round" = 1 ] && ! diff -r -q "$data/new" "$dest" >/dev/null; then
            result="differs"
          fi
          if [ "$result" = fail ] || [ "$result" = differs ]; then
            if [ "$side" = ours ]; then
              echo "our extraction ($scenario, $where, $mode) $( [ "$result" = fail ] && echo failed || echo "differs from the new tree"):" >&2
              cat "$work/stderr.$$" >&2
              exit 1
            fi
            failed[$side]="$result"
            continue
          fi
          times[$side]+="${result% *} "
          peak="${result#* }"
          if [ -z "${peaks[$side]:-}" ] || [ "$peak" -gt "${peaks[$side]}" ]; then peaks[$side]=$peak; fi
        done
      done

      declare -A medians=()
      for side in "${sides[@]}"; do
        if [ -n "${failed[$side]:-}" ]; then
          medians[$side]=n/a
        else
          medians[$side]="$(echo "${times[$side]:-}" | median)"
        fi
      done
      fastest=""
      for side in "${peers[@]}"; do
        [ "${medians[$side]}" = n/a ] && continue
        if [ -z "$fastest" ] || awk -v a="${medians[$side]}" -v b="${medians[$fastest]}" 'BEGIN {exit !(a < b)}'; then
          fastest=$side
        fi
      done

      printf '\n== %s, %s, %s\n' "$(describe "$scenario")" "$where" "$mode"
      printf '%-7s %-36s %8s %9s\n' side "runs (seconds)" median "peak MiB"
      for side in "${sides[@]}"; do
        if [ -n "${failed[$side]:-}" ]; then
          printf '%-7s %-36s %8s %9s\n' "$side" "fails ($([ "${failed[$side]}" = fail ] && echo "exit status" || echo "wrong result"))" n/a n/a
        else
          printf '%-7s %-36s %8s %9s\n' "$side" "${times[$side]}" "${medians[$side]}" "$(mib "${peaks[$side]}")"
        fi
      done
      to_7zz="$(ratio "${medians[ours]}" "${medians[7zz]}")"
      to_fastest="$(ratio "${medians[ours]}" "${medians[${fastest:-none}]:-n/a}")"
      printf 'ours/7zz %s, ours/fastest peer (%s) %s\n' "$to_7zz" "${fastest:-none}" "$to_fastest"

      read -r limit against <<< "$(goal_of "$scenario")"
      reached="$([ "$against" = 7zz ] && echo "$to_7zz" || echo "$to_fastest")"
      our_mib="$(mib "${peaks[ours]}")"
      verdict="$(awk -v r="$reached" -v l="$limit" -v m="$our_mib" -v g="$peak_goal_mib" 'BEGIN {
        t = (r ~ /^[0-9.]+$/) ? (r <= l ? "met" : "missed") : "n/a"
        printf "time %s, memory %s", t, (m < g ? "met" : "missed")
      }')"
      summary+=("$(summary_row \
        "$scenario" "$where" "$mode" "${medians[ours]}" "${medians[7zz]}" \
        "${medians[${fastest:-none}]:-n/a}" "${fastest:-none}" "$to_7zz" "$to_fastest" "$our_mib" \
        "<= $limit $against" "$verdict")")
      unset times peaks failed medians
    done
  done
done

printf '\nSummary (%s MB, %s files, %s rounds; medians in seconds; load average at end: %s)\n' \
  "$tree_mb" "$files" "$rounds" "$(uptime | sed 's/.*load average: //')"
summary_row scenario where mode ours 7zz fastest peer ours/7zz ours/fast "our MiB" \
  goal "met (time; peak memory < $peak_goal_mib MiB)"
printf '%s\n' "${summary[@]}"
