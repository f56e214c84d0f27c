#!/bin/sh
# Runs a program that opens real windows on a virtual X display of its own.
# Exits with 77, which ctest counts as skipped, where xvfb-run is missing.
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-run is not installed: skipped"
    exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
