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
#   alternate  the second way to measure "over the old version" (below)
# each for MODES (default "encrypted plain") and WHERE (default "disk tmpfs"): the destination
# on disk beside the work directory, on /dev/shm, or (ext4, as root) on an ext4 file system
# made for the run with mkfs.ext4's defaults in a loop image beside the work directory. The
# last tells the file system from the machine: a root file system set up otherwise (this
# project's build machines run ext4 without a journal, mounted with online discard) makes
# every installer pay for the files it creates and frees in ways a default ext4 does not
# (ARCHITECTURE.md, "What an install costs"). Before each timed run the destination is
# reset by an untimed full copy of the starting tree (cp -a: the peers write into existing
# files, so hard links would damage the origin) and a sync.
#
# Ours installs as the update worker does, with the install journal (the part files synced,
# the journal flushed before the first rename); with SYNC_COST=1 (the default) a fifth side,
# ours-nosync, runs without journal or sync, and "sync cost" is ours over ours-nosync.
#
# alternate: two releases A and B of about AB_MB (default 100; 480 is the size the figures of
# the goal were taken at) of the same system files, B being A with one byte appended to every
# file, each in an encrypted zip -6 archive. Ours and 7zz each install into a tree of their
# own, always the release that tree does not hold, so that every run replaces every file of
# that side's previous run; an untimed sync before each run; the sides alternate, the order
# flipping each round; ROUNDS runs a side, in each place of WHERE. Unlike the scenarios above,
# no fresh copy of the tree comes before a run.
#
#   [TREE_MB=100] [SCENARIOS="old same"] [MODES=encrypted] [WHERE="disk ext4"] [AB_MB=100] \
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
read -r -a scenarios <<< "${SCENARIOS:-empty old same 5pct alternate}"
read -r -a modes <<< "${MODES:-encrypted plain}"
read -r -a wheres <<< "${WHERE:-disk tmpfs}"
ab_mb="${AB_MB:-100}"
sides=(ours 7zz unzip bsdtar)
[ "${SYNC_COST:-1}" = 1 ] && sides=(ours ours-nosync 7zz unzip bsdtar)
peers=(7zz unzip bsdtar)
# The product's fixed archive password (update::kArchivePassword).
password="$(archive_password)"

for scenario in "${scenarios[@]}"; do
  case "$scenario" in empty | old | same | 5pct | alternate) ;; *) echo "unknown scenario $scenario" >&2; exit 1 ;; esac
done
for mode in "${modes[@]}"; do
  case "$mode" in encrypted | plain) ;; *) echo "unknown mode $mode" >&2; exit 1 ;; esac
done
for where in "${wheres[@]}"; do
  case "$where" in disk | tmpfs | ext4) ;; *) echo "unknown place $where (disk, tmpfs or ext4)" >&2; exit 1 ;; esac
done

# The scenarios that start from a fresh copy of a tree, and whether `alternate` runs.
copied=()
alternate=""
for scenario in "${scenarios[@]}"; do
  if [ "$scenario" = alternate ]; then alternate=1; else copied+=("$scenario"); fi
done
scenarios=("${copied[@]}")

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

# --- Places: the folder each WHERE writes in ---
disk_root="$work/places"
tmpfs_root="/dev/shm/install-bench.$$"
ext4_image="$work/ext4.img"
ext4_root=""
cleanup() {
  rm -rf "$disk_root" "$tmpfs_root" "$work/stderr.$$"
  if [ -n "$ext4_root" ]; then
    umount "$ext4_root" 2>/dev/null || true
    rmdir "$ext4_root" 2>/dev/null || true
    rm -f "$ext4_image"
  fi
}
trap cleanup EXIT
root_of() {
  case "$1" in
    disk) echo "$disk_root" ;;
    tmpfs) echo "$tmpfs_root" ;;
    ext4) echo "$ext4_root" ;;
  esac
}
dest_of() { echo "$(root_of "$1")/dest"; }
# Where ours keeps its journal, as the worker keeps it in Update/: beside the destination, on
# the same file system, outside the tree that is compared.
journal_of() { echo "$1-update/install-journal"; }
mkdir -p "$disk_root"
if [[ " ${wheres[*]} " == *" tmpfs "* ]]; then
  if ! [ -d /dev/shm ] || ! [ -w /dev/shm ]; then
    echo "no writable /dev/shm for WHERE=tmpfs" >&2
    exit 1
  fi
  mkdir -p "$tmpfs_root"
fi
if [[ " ${wheres[*]} " == *" ext4 "* ]]; then
  need_tools mkfs.ext4 mount umount
  [ "$(id -u)" = 0 ] || { echo "WHERE=ext4 mounts a loop image: run as root" >&2; exit 1; }
  # Room for the trees each side keeps and the copies the scenarios start from.
  image_mb=$(( (tree_mb > ab_mb ? tree_mb : ab_mb) * 4 + 512 ))
  rm -f "$ext4_image"
  truncate -s "${image_mb}M" "$ext4_image"
  mkfs.ext4 -q -F "$ext4_image"
  ext4_root="$(mktemp -d /tmp/install-bench-ext4.XXXXXX)"
  mount -o loop "$ext4_image" "$ext4_root"
fi

# reset <start tree or ""> <destination>: the destination as the scenario starts, written out.
reset() {
  rm -rf "$2"
  mkdir -p "$(dirname "$(journal_of "$2")")"
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
    ours) command=("$bench" "$2" "$3" "$(journal_of "$3")") ;;
    ours-nosync) command=("$bench" "$2" "$3") ;;
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
      printf 'ours/7zz %s, ours/fastest peer (%s) %s' "$to_7zz" "${fastest:-none}" "$to_fastest"
      if [ -n "${medians[ours-nosync]:-}" ]; then
        printf ', sync cost ours/ours-nosync %s' "$(ratio "${medians[ours]}" "${medians[ours-nosync]}")"
      fi
      printf '\n'

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

# --- alternate: releases A and B, each side installing over its own previous run ---
if [ -n "$alternate" ]; then
  ab="$work/ab-$ab_mb-mb"
  mkdir -p "$ab"
  if [ ! -f "$ab/A.done" ]; then
    rm -rf "$ab/A" "$ab/B" "$ab"/*.done "$ab"/*.zip
    python3 "$here/make_install_data.py" new "$ab/A" "$ab_mb"
    touch "$ab/A.done"
  fi
  if [ ! -f "$ab/B.done" ]; then
    rm -rf "$ab/B"
    python3 "$here/make_install_data.py" append "$ab/A" "$ab/B"
    touch "$ab/B.done"
  fi
  for release in A B; do
    if [ ! -f "$ab/$release.zip" ]; then
      (cd "$ab/$release" && zip -r -6 -q -P "$password" "$ab/$release.zip.part" .)
      mv "$ab/$release.zip.part" "$ab/$release.zip"
    fi
  done
  for where in "${wheres[@]}"; do
    root="$(root_of "$where")"
    declare -A holds=() times=()
    for side in ours 7zz; do
      rm -rf "$root/ab-$side"
      cp -a "$ab/A" "$root/ab-$side"
      mkdir -p "$(dirname "$(journal_of "$root/ab-$side")")"
      holds[$side]=A
    done
    for round in $(seq 1 "$rounds"); do
      order=(ours 7zz)
      [ $((round % 2)) = 0 ] && order=(7zz ours)
      for side in "${order[@]}"; do
        next="$([ "${holds[$side]}" = A ] && echo B || echo A)"
        sync
        side_command "$side" "$ab/$next.zip" "$root/ab-$side"
        result="$(timed "$work/stderr.$$" "${command[@]}")"
        if [ "$result" = fail ] || { [ "$round" -le 2 ] && ! diff -r -q "$ab/$next" "$root/ab-$side" >/dev/null; }; then
          echo "alternate ($where): $side installing $next $([ "$result" = fail ] && echo failed || echo "differs"):" >&2
          cat "$work/stderr.$$" >&2
          exit 1
        fi
        times[$side]+="${result% *} "
        holds[$side]=$next
      done
    done
    rm -rf "$root/ab-ours" "$root/ab-7zz" "$(dirname "$(journal_of "$root/ab-ours")")" "$(dirname "$(journal_of "$root/ab-7zz")")"
    ab_ours="$(echo "${times[ours]}" | median)"
    ab_7zz="$(echo "${times[7zz]}" | median)"
    printf '\n== alternate: releases A and B (%s MiB, %s files), each side over its own last run, %s, encrypted\n' \
      "$(du -sm --apparent-size "$ab/A" | cut -f1)" "$(find "$ab/A" -type f | wc -l)" "$where"
    printf '%-7s %-36s %8s\n' side "runs (seconds)" median
    printf '%-7s %-36s %8s\n' ours "${times[ours]}" "$ab_ours" 7zz "${times[7zz]}" "$ab_7zz"
    ab_ratio="$(ratio "$ab_ours" "$ab_7zz")"
    printf 'ours/7zz %s\n' "$ab_ratio"
    summary+=("$(summary_row alternate "$where" encrypted "$ab_ours" "$ab_7zz" n/a n/a "$ab_ratio" n/a n/a \
      "<= 0.8 7zz" "time $(awk -v r="$ab_ratio" 'BEGIN {print (r ~ /^[0-9.]+$/ && r <= 0.8) ? "met" : "missed"}')")")
    unset holds times
  done
fi

printf '\nSummary (%s MB, %s files, %s rounds; medians in seconds; load average at end: %s)\n' \
  "$tree_mb" "$files" "$rounds" "$(uptime | sed 's/.*load average: //')"
summary_row scenario where mode ours 7zz fastest peer ours/7zz ours/fast "our MiB" \
  goal "met (time; peak memory < $peak_goal_mib MiB)"
printf '%s\n' "${summary[@]}"
