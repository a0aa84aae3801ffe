#!/usr/bin/env python3
"""Checks that each program's --help lists the same long options as its manual page.

Usage: check_man_options.py MAN_SOURCE_DIR BUILD_DIR
Runs every help command of the table below and compares the long options it prints with those
the page's scdoc source names; prints what differs and exits 1 when anything does.
"""
import re
import subprocess
import sys
from pathlib import Path

# Page, program (under the build folder), then the argument lists whose --help is read: a
# program with subcommands lists only the common options in its own help.
PROGRAMS = [
    ("parvex_sc.8", "scanner/parvex_sc", [[]]),
    ("kestrum_dm.1", "tools/dm/kestrum_dm", [[]]),
    ("counter_sim.1", "tools/counter_sim/counter_sim", [[]]),
    ("kestrum_monitor.1", "tools/monitor/kestrum_monitor", [[]]),
    ("kestrum_cfgc.1", "tools/cfgc/kestrum_cfgc", [["compile"], ["decompile"], ["check"]]),
    ("parvex_cf_host.1", "tools/cf_host/parvex_cf_host",
     [[], ["FOLDER", "advanced"], ["FOLDER", "channel"], ["FOLDER", "print"]]),
]

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def main():
    man_dir, build_dir = Path(sys.argv[1]), Path(sys.argv[2])
    failures = 0
    for page, program, argument_lists in PROGRAMS:
        in_page = set(OPTION.findall((man_dir / f"{page}.scd").read_text()))
        in_help = set()
        for arguments in argument_lists:
            run = subprocess.run([str(build_dir / program), *arguments, "--help"],
                                 capture_output=True, text=True, timeout=30,
                                 env={"QT_QPA_PLATFORM": "offscreen", "PATH": "/usr/bin:/bin"})
            if run.returncode != 0:
                print(f"{program} {' '.join(arguments)} --help: exit status {run.returncode}")
                failures += 1
            in_help |= set(OPTION.findall(run.stdout))
        for missing, where in ((in_help - in_page, f"{page}.scd"), (in_page - in_help, "--help")):
            if missing:
                print(f"{program}: {where} lacks {' '.join(sorted(missing))}")
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
