#!/usr/bin/env bash
# Builds quenmar-setup and the virtual radio (in build-demo/, without the
# tests, so that only a compiler, CMake and make are needed), starts the radio
# on a pseudo-terminal and runs the program against it in this terminal, in
# the folder the script was started from: a file named at the menu lands
# there. The radio's channels are kept in build-demo/demo-radio.txt between
# runs.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."

scripts/setup-machine.sh demo
build=$PWD/build-demo
echo "Building quenmar-setup and the virtual radio in build-demo/ (the first time takes a few minutes)..."
cmake -S . -B "$build" -DQUENMAR_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quenmar-setup quenmar-radio-sim

link="$build/demo-radio-port"
"$build"/quenmar-radio-sim --demo --memory "$build"/demo-radio.txt --link "$link" \
  --log "$build"/demo-radio.log >/dev/null &
radio=$!
trap 'kill "$radio" 2>/dev/null; wait "$radio" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done

status=0
cd "$here"
QUENMAR_COM1="$link" "$build"/quenmar-setup "$@" || status=$?
printf '\033[0m\n'
echo "quenmar-setup ended with status $status. The radio's frames are in build-demo/demo-radio.log."
exit "$status"
