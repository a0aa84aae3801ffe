#!/usr/bin/env bash
# The main job: a live demo of the scanner on a simulated counter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cat <<'MSG'
The live demo is not wired up yet. When it is, this command will:
  1. build the project (scanner, driver-manager stand-in, counter simulator, monitor);
  2. create a temporary SCADA instance with one demo counter device;
  3. start the counter simulator on a pseudo-terminal, the driver-manager stand-in and the scanner;
  4. show the monitor's live view of the device's channels until Ctrl-C, then stop cleanly.
MSG
