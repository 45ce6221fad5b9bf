#!/usr/bin/env python3
"""Runs one end-to-end case (or lists them): run_case.py [options] CASE | --list"""

import sys

import cases  # noqa: F401  (registers the cases)
from harness import main

if __name__ == "__main__":
    sys.exit(main(__doc__))
