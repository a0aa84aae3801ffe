#!/usr/bin/env bash
# Runs one Windows program that shows windows (the configuration module's dialogs) under wine on
# a virtual X display of its own (Xvfb, a free display number) and in a wine prefix of its own,
# so that programs with windows can run side by side and beside the other tests' prefix.
#   scripts/wine-x-run.sh prog.exe [args]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
unset WINEPREFIX
exec xvfb-run -a -s "-screen 0 1024x768x24" "$here/wine-run.sh" "$@"
