#!/usr/bin/env bash
# Runs one Windows program under wine, quietly. The caller chooses the wine prefix with
# WINEPREFIX (scripts/build-windows.sh makes a throwaway one); without it a temporary prefix is
# made for this one run and removed afterwards.
set -euo pipefail
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export WINEDEBUG=${WINEDEBUG:--all}
if [[ -z "${WINEPREFIX:-}" ]]; then
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvex-wine-XXXXXX")
  export WINEPREFIX
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
fi
"$wine" "$@"
