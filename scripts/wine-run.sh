#!/usr/bin/env bash
# Runs one Windows program under wine, quietly. The caller chooses the wine prefix with
# WINEPREFIX (scripts/build-windows.sh makes a throwaway one); without it a temporary prefix is
# made for this one run and removed afterwards.
#
# Serial ports: scripts/serial-bridge.py runs beside the program and gives it COM ports backed by
# Linux pseudo-terminals. The program finds the bridge's control folder (a Linux path, seen
# through drive Z:) in PARVEX_SERIAL_BRIDGE; platform/pseudo_terminal_win32.cc speaks to it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEDEBUG=${WINEDEBUG:--all}
cleanup=()
trap 'for c in "${cleanup[@]}"; do eval "$c"; done' EXIT
if [[ -z "${WINEPREFIX:-}" ]]; then
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvex-wine-XXXXXX")
  export WINEPREFIX
  cleanup+=("\"$wineserver\" -k 2>/dev/null || true; rm -rf \"$WINEPREFIX\"")
fi
PARVEX_SERIAL_BRIDGE=$(mktemp -d "${TMPDIR:-/tmp}/parvex-serial-XXXXXX")
export PARVEX_SERIAL_BRIDGE
python3 "$here/serial-bridge.py" "$PARVEX_SERIAL_BRIDGE" "$WINEPREFIX/dosdevices" &
bridge=$!
# Runs before the prefix is removed: the bridge removes its links from the prefix first.
cleanup=("touch \"$PARVEX_SERIAL_BRIDGE/stop\"; wait $bridge 2>/dev/null || true; rm -rf \"$PARVEX_SERIAL_BRIDGE\"" "${cleanup[@]}")
# A program that hangs (a crash can leave it spinning under wine) fails after
# PARVEX_WINE_TIMEOUT seconds instead of holding up the whole test run.
status=0
timeout --kill-after=10 "${PARVEX_WINE_TIMEOUT:-900}" "$wine" "$@" || status=$?
if ((status == 124 || status == 137)); then
  echo "wine-run: $1 did not end within ${PARVEX_WINE_TIMEOUT:-900} s" >&2
fi
exit $status
