#!/usr/bin/env python3
"""Runs one end-to-end case (or lists them): run_case.py [options] CASE | --list"""

import argparse
import sys
import time

import cases  # noqa: F401  (registers the cases)
from harness import CASES, Context, Skip


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("case", nargs="?")
    parser.add_argument("--list", action="store_true", help="print the case names")
    parser.add_argument("--target", choices=("linux", "wine", "valgrind"), default="linux")
    parser.add_argument("--linux-build", help="the Linux build directory (program and simulator)")
    parser.add_argument("--windows-build", help="the Windows build directory (telvorn.exe)")
    parser.add_argument("--wine-prefix", help="the Wine prefix whose dosdevices map COM ports")
    parser.add_argument("--wine-run", help="the script that runs a Windows program under Wine")
    parser.add_argument("--emulator", help="the command that runs the build's programs")
    parser.add_argument("--simulator",
                        help="the command line of a teq6-sim to use instead of the build's own")
    options = parser.parse_args()
    if options.list:
        print(";".join(sorted(CASES)))
        return 0
    context = Context(options.target, options.linux_build, options.windows_build,
                      options.wine_prefix, options.wine_run, options.emulator, options.simulator)
    started = time.monotonic()
    try:
        CASES[options.case](context)
    except Skip as reason:
        print("SKIPPED %s on %s: %s" % (options.case, options.target, reason))
        return 0
    print("PASSED %s on %s in %.1f s" % (options.case, options.target, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
