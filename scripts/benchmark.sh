#!/usr/bin/env bash
# Builds quenmar-setup and the virtual radio, then measures a full save and a
# full load against the radio (about three minutes: most of it at 1200 bit/s).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target quenmar-setup quenmar-radio-sim >/dev/null
exec /usr/bin/python3 bench/line_benchmark.py build
