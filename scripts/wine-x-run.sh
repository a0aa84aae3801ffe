#!/usr/bin/env bash
# Runs one Windows program that shows windows (the configuration module's dialogs) under wine on
# a virtual X display of its own (Xvfb, a free display number) and in a throwaway wine prefix of
# its own, so that programs with windows can run side by side and beside the other tests' prefix.
#   scripts/wine-x-run.sh prog.exe [args]
#
# The prefix's windows are not handed to a window manager (Xvfb has none): wine then draws their
# frames and captions itself, and does not wait for a manager's answer each time a window is
# hidden (about two seconds per dialog otherwise).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvex-wine-XXXXXX")
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
status=0
# The prefix's programs end before the display does.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver=$2
  shift 2
  status=0
  "$@" || status=$?
  "$wineserver" -k 2>/dev/null || true
  exit $status' _ "$wine" "$wineserver" "$here/wine-run.sh" "$@" || status=$?
exit $status
