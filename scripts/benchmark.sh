#!/usr/bin/env bash
# Builds quenmar-setup and the virtual radio, then measures a full save and a
# full load against the radio (about five minutes: most of it at 1200 bit/s),
# then the channel editor: its first screen, and one channel sent with F5.
# Other builds to measure side by side with this one: LABEL=FOLDER arguments,
# for example  scripts/benchmark.sh before=/tmp/older-checkout/build
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target quenmar-setup quenmar-radio-sim >/dev/null
/usr/bin/python3 bench/line_benchmark.py build "$@"
exec /usr/bin/python3 bench/editor_benchmark.py build
