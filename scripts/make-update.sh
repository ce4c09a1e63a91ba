#!/usr/bin/env bash
# Makes one release of a product line for the updater: the update archive of a folder and the
# newest block of the version history file.
#
#   scripts/make-update.sh --code KUB --version 2.4.1.7 --from release-folder \
#       --changes changes.txt --history out/VersionesKUB.txt --out out/
#
# --from      the files of the release, laid out as they go over the installation
# --changes   one change a line (a "- " is put in front of each)
# --history   the version history file; created (UTF-8 with BOM, CR LF) or appended to
# --out       where the archive goes: <code>Update-ESC.<version>.zip
# The archive is a ZIP with traditionally encrypted entries under the updater's archive password.
set -euo pipefail

code="" version="" from="" changes="" history="" out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --code) code=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --from) from=$2; shift 2 ;;
    --changes) changes=$2; shift 2 ;;
    --history) history=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "make-update: unknown argument $1" >&2; exit 2 ;;
  esac
done
for name in code version from changes history out; do
  [ -n "${!name}" ] || { echo "make-update: --$name is missing" >&2; exit 2; }
done
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "make-update: the version must be four numbers joined by dots, such as 2.4.1.7" >&2
  exit 2
fi
if [[ "$code" =~ [[:space:]-] ]]; then
  echo "make-update: the system code may hold no blank and no '-'" >&2
  exit 2
fi
command -v zip >/dev/null || { echo "make-update: needs Info-ZIP zip" >&2; exit 1; }

# shellcheck source=lib/constants.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/constants.sh"
password="$(archive_password)"
readonly password
mkdir -p "$out"
archive="$(cd "$out" && pwd)/${code}Update-ESC.${version}.zip"
rm -f "$archive"
# -X: no extra attributes that depend on the machine.
(cd "$from" && zip -q -r -X -P "$password" "$archive" . -x changes.txt)

# A change line must hold a "-" and a header line must not: the updater tells them apart so.
mkdir -p "$(dirname "$history")"
[ -s "$history" ] || printf '\xEF\xBB\xBF' > "$history"
{
  printf '%s %s\r\n' "$code" "$version"
  while IFS= read -r line || [ -n "$line" ]; do
    [ -n "$line" ] && printf -- '- %s\r\n' "$line"
  done < "$changes"
  printf '\r\n'
} >> "$history"
echo "$archive"
