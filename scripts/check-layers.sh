#!/usr/bin/env bash
# Fails when a source file includes a header of a layer it must not depend on: arrows point
# down only (ARCHITECTURE.md, "Layers"), and the plain libraries know nothing of Qt. Every
# library publishes the whole source root as its include folder, so the compiler alone would
# let any include through.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The layers each folder may include besides its own.
declare -A allowed=(
  [app]="branding versioncheck update signature net platform"
  [versioncheck]="platform"
  [update]="net zip signature platform"
  [branding]="resourcelib platform"
  [net]="platform"
  [zip]="platform"
  [signature]=""
  [publish]="zip versioncheck signature platform update"
  [platform]=""
  [resourcelib]=""
)
# Folders whose code is plain C++: no Qt header at all.
plain=(versioncheck net zip signature publish platform resourcelib)

status=0
for layer in "${!allowed[@]}"; do
  while IFS=: read -r file line layer_included; do
    case " $layer ${allowed[$layer]} " in
      *" $layer_included "*) ;;
      *)
        echo "$file:$line: $layer/ must not include $layer_included/" >&2
        status=1
        ;;
    esac
  done < <(git ls-files -z "$layer" | grep -z -E '\.(cpp|h)$' |
    xargs -0 -r grep -n -o -E '^#include "[a-z_]+/' /dev/null |
    sed -E 's|^([^:]*):([0-9]+):#include "([a-z_]+)/$|\1:\2:\3|')
done
for layer in "${plain[@]}"; do
  if git ls-files -z "$layer" | grep -z -E '\.(cpp|h)$' |
    xargs -0 -r grep -n -E '^#include <Q' /dev/null >&2; then
    echo "the lines above include Qt in $layer/, which is plain C++" >&2
    status=1
  fi
done
exit $status
