#!/usr/bin/env bash
# Builds quenmar-setup for Windows with Debian's mingw-w64 cross compiler and
# tests it under wine: the unit tests, then the program itself against the
# virtual radio, whose pseudo-terminal wine serves as a COM port. The program's
# runs check only what the Windows files can break, which the end-to-end tests
# on Linux do not reach: the help written for Windows, COM names (the device
# namespace from COM10 on, a missing port, a device that is no serial port,
# the system's list), the serial port's steps in a save and a load, the file
# layer's steps in replacing a file and abandoning a save, and Ctrl-C as the
# console's event. What the jobs do with the radio is the same code on both
# systems, and the Linux tests check it.
#
#   scripts/windows.sh [build|test]   (installs what is missing; needs root or sudo then)
#
# "build" only builds, "test" only tests what an earlier "build" made; the
# test command runs the two apart, so that the build can go on while other
# tests run. Without an argument, both. Everything goes into build-win/: the
# executables, the wine prefix and the end-to-end runs (build-win/e2e). The
# virtual radio is the Linux one: QUENMAR_RADIO_SIM when it names one, else
# built in build-linux-for-wine/. Ends with "N passed, M failed" and a
# non-zero status when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-win
radio_build=$root/build-linux-for-wine
jobs=$(nproc)

source scripts/checks.sh
take_phase "${1:-}" build test
scripts/setup-machine.sh windows
setup_exe=$build/quenmar-setup.exe
tests_exe=$build/tests/quenmar-tests.exe

# ---- Builds ----

if [ "$phase" != test ]; then
  echo "== Windows build (build-win) =="
  mkdir -p "$build"
  # The usual optimisation without debug information: the exe ships in the
  # zip, where debug information only adds size, and leaving it out takes a
  # third off the build's time.
  if cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
       "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" -DQUENMAR_WERROR=ON >"$build/configure.log" 2>&1 &&
     cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1; then
    if grep -q "warning:" "$build/build.log"; then
      fail "cross build without warnings" "see $build/build.log"
    else
      pass "cross build of quenmar-setup.exe and quenmar-tests.exe, no warnings"
    fi
  else
    tail -30 "$build/configure.log" "$build/build.log" 2>/dev/null
    fail "cross build" "see $build/configure.log and $build/build.log"
    finish
  fi
  [ "$phase" = build ] && finish
elif ! [ -f "$setup_exe" ] || ! [ -f "$tests_exe" ]; then
  fail "Windows build" "no $setup_exe or $tests_exe: run scripts/windows.sh build first"
  finish
fi

# The test command hands in the virtual radio it has built already
# (QUENMAR_RADIO_SIM); run alone, this script builds its own.
echo "== The virtual radio for the end-to-end runs =="
radio_sim=$radio_build/quenmar-radio-sim
if [ -x "${QUENMAR_RADIO_SIM:-}" ]; then
  radio_sim=$QUENMAR_RADIO_SIM
  pass "virtual radio: the one already built"
elif mkdir -p "$radio_build" && cmake -S . -B "$radio_build" -DQUENMAR_TESTS=OFF >"$radio_build/build.log" 2>&1 &&
   cmake --build "$radio_build" -j"$jobs" --target quenmar-radio-sim >>"$radio_build/build.log" 2>&1; then
  pass "virtual radio built"
else
  fail "virtual radio built" "see $radio_build/build.log"
fi

# ---- Wine ----

export WINEPREFIX=$build/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer: no network here
export WINEDEBUG=-all
e2e=$build/e2e
rm -rf "$e2e"
mkdir -p "$e2e" "$WINEPREFIX"
radio_pids=()

cleanup() {
  for pid in "${radio_pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k 2>/dev/null
}
trap cleanup EXIT

# The wine server and its services start with the first program and inherit
# its output; start them here, so that they write into a log of their own.
start_wine() {
  wineserver -p >>"$e2e/wineserver.log" 2>&1
  wine wineboot -i >>"$e2e/wineserver.log" 2>&1
}

# Wine's mount manager makes dosdevices/comN at every start: from the
# registry's Ports key where it names the port, else from the serial devices
# it finds. A link made by hand is therefore replaced; the key is what lasts.
# Maps each "N=PATH" given and no other port, and starts wine afresh. Each
# restart of wine takes seconds, so the ports are mapped once: COM1 and COM12
# to the link of whichever virtual radio runs, COM5 to a device that is no
# serial port.
map_ports() {
  wine reg delete 'HKLM\Software\Wine\Ports' /f >/dev/null 2>&1
  for mapping in "$@"; do
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM${mapping%%=*}" /t REG_SZ /d "${mapping#*=}" /f \
      >/dev/null 2>&1
  done
  wineserver -k 2>/dev/null
  start_wine
}

# Starts the virtual radio in $e2e with the given options; its link is
# $e2e/radio-port once it is ready.
start_radio() {
  rm -f "$e2e/radio-port"
  "$radio_sim" --link "$e2e/radio-port" "$@" >>"$e2e/radio.out" 2>&1 &
  radio_pid=$!
  radio_pids+=("$radio_pid")
  for _ in $(seq 100); do
    [ -e "$e2e/radio-port" ] && return 0
    sleep 0.05
  done
  return 1
}

stop_radio() {
  kill -TERM "$radio_pid" 2>/dev/null
  wait "$radio_pid" 2>/dev/null
}

# Waits up to $2 seconds for the file $1 to contain the text $3.
wait_for_text() {
  for _ in $(seq $(($2 * 20))); do
    grep -qF "$3" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

echo "== Wine prefix (build-win/wineprefix) =="
start_seconds=$SECONDS
if start_wine && [ -d "$WINEPREFIX/drive_c" ]; then
  pass "wine prefix ready ($((SECONDS - start_seconds)) s)"
else
  fail "wine prefix" "see $e2e/wineserver.log"
  finish
fi

echo "== Unit tests under wine =="
if wine "$tests_exe" </dev/null >"$e2e/unit.log" 2>&1; then
  pass "unit tests: $(grep -E '^\[  PASSED  \]' "$e2e/unit.log" | sed 's/.*\] //')"
else
  grep -E '^\[  FAILED  \]|Failure' "$e2e/unit.log" | head -20
  fail "unit tests" "see $e2e/unit.log"
fi

echo "== The program under wine =="
version=$(sed -n 's/^project(quenmar-setup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
output=$(wine "$setup_exe" --version </dev/null 2>&1 | tr -d '\r')
if [ "$output" = "quenmar-setup $version" ]; then
  pass "--version prints \"$output\""
else
  fail "--version" "printed: $output"
fi

# Windows' own spelling of help, and help written for Windows.
output=$(wine "$setup_exe" '/?' </dev/null 2>&1 | tr -d '\r')
if grep -q '^Usage: quenmar-setup' <<<"$output" && grep -qF -- '--port COM3 --probe' <<<"$output" &&
   ! grep -q '/dev/' <<<"$output"; then
  pass "/? shows the help, with Windows examples and no /dev/"
else
  fail "/? shows the help, with Windows examples and no /dev/" "$(head -5 <<<"$output")"
fi

report_for() {
  printf '\r\nAborting due to runtime error %s at line 8 of QUEN32()\r\n\r\n' "$1"
}

map_ports 1="$e2e/radio-port" 5=/dev/null 12="$e2e/radio-port"

# The ports the system lists, each marked with the port number that uses it.
output=$(wine "$setup_exe" --list-ports </dev/null 2>&1)
status=$?
output=$(tr -d '\r' <<<"$output")
if [ "$status" -eq 0 ] && grep -qx 'COM1: COM1' <<<"$output" && grep -qx 'COM12: COM12' <<<"$output"; then
  pass "--list-ports lists COM1 and COM12"
else
  fail "--list-ports lists COM1 and COM12" "status $status" "$output"
fi

# A port that is not there: COM3 with nothing behind it, and COM11, which is
# reached through the device namespace.
for port in 3 11; do
  (cd "$e2e" && wine "$setup_exe" "C=$port" </dev/null >"missing$port.out" 2>"missing$port.err")
  status=$?
  if [ "$status" -eq 2 ] && grep -qF "$(report_for "2 (file not found)")" "$e2e/missing$port.err"; then
    pass "C=$port without a port: status 2, \"Aborting due to runtime error 2 (file not found) at line 8 of QUEN32()\""
  else
    fail "C=$port without a port" "status $status" "$(cat "$e2e/missing$port.err")"
  fi
done

# A device that opens but is no serial port.
(cd "$e2e" && wine "$setup_exe" C=5 </dev/null >notaport.out 2>notaport.err)
status=$?
if [ "$status" -eq 8 ] && grep -qF "$(report_for "8 (no priviledges)")" "$e2e/notaport.err"; then
  pass "C=5 on a device that is no serial port: status 8, the report for 8"
else
  fail "C=5 on a device that is no serial port" "status $status" "$(cat "$e2e/notaport.err")"
fi

echo "== Against the virtual radio =="
# Clock, then save, then exit, on COM1, answers read from a pipe.
if start_radio --rate 0 --demo --memory "$e2e/radio.txt"; then
  start_seconds=$SECONDS
  (cd "$e2e" && printf '3\n2\nsaved.txt\n0\n' | timeout 300 wine "$setup_exe" >session.out 2>session.err)
  status=$?
  seconds=$((SECONDS - start_seconds))
  stop_radio
  if [ "$status" -eq 0 ]; then
    pass "clock, save and exit on COM1: status 0 ($seconds s)"
  else
    fail "clock, save and exit on COM1" "status $status" "$(tail -5 "$e2e/session.err")"
  fi
  if [ -f "$e2e/saved.txt" ] && [ -f "$e2e/radio.txt" ] && cmp -s "$e2e/saved.txt" "$e2e/radio.txt" &&
     [ "$(grep -c $'\r$' "$e2e/saved.txt")" -eq 62 ]; then
    pass "saved.txt holds the radio's 62 channels, as the radio's own file does"
  else
    fail "saved.txt as the radio's own file" "$(ls -l "$e2e"/saved.txt "$e2e"/radio.txt 2>&1)"
  fi
  if ls "$e2e"/qnm*.tmp >/dev/null 2>&1; then
    fail "the save left no temporary file" "$(ls "$e2e"/qnm*.tmp)"
  else
    pass "the save left no temporary file"
  fi
else
  fail "virtual radio started" "$(cat "$e2e/radio.out")"
fi

# Load that file into an empty radio on COM12 (the device-namespace name).
if start_radio --rate 0 --log "$e2e/load.log" --memory "$e2e/loaded.txt"; then
  (cd "$e2e" && printf '1\nsaved.txt\n0\n' | timeout 300 wine "$setup_exe" C=12 >load.out 2>load.err)
  status=$?
  stop_radio
  if [ "$status" -eq 0 ] && [ -f "$e2e/loaded.txt" ] && cmp -s "$e2e/saved.txt" "$e2e/loaded.txt"; then
    pass "load on COM12: status 0, the radio now holds what saved.txt holds"
  else
    fail "load on COM12" "status $status" "$(tail -5 "$e2e/load.err")"
  fi
else
  fail "virtual radio started for the load" "$(cat "$e2e/radio.out")"
fi

# A save from the command line onto an existing file, which a silent radio
# leaves as it was: the file layer's Windows steps for an abandoned save.
if start_radio --rate 0 --silent; then
  # An empty first line: a memory file, which a save may replace.
  printf '\r\nold\r\n' >"$e2e/kept.txt"
  (cd "$e2e" && wine "$setup_exe" --save kept.txt </dev/null >silent.out 2>silent.err)
  status=$?
  stop_radio
  if [ "$status" -eq 5 ] && grep -qF "so the save stopped and the file was left as it was" \
       "$e2e/silent.err" &&
     [ "$(cat "$e2e/kept.txt")" = $'\r\nold\r' ] && ! ls "$e2e"/qnm*.tmp >/dev/null 2>&1; then
    pass "--save with a silent radio: status 5, the old file kept, no temporary file"
  else
    fail "--save with a silent radio" "status $status" "$(cat "$e2e/silent.err")"
  fi
else
  fail "virtual radio started for the silent save" "$(cat "$e2e/radio.out")"
fi

# Ctrl-C: wine turns SIGINT into the console's Ctrl-C event. Once during a
# save, paced at 1200 bit/s so that it is still running: the old file stays
# and no temporary file is left.
if start_radio --rate 1200 --demo --log "$e2e/interrupt.log"; then
  printf 'old\r\n' >"$e2e/old.txt"
  mkfifo "$e2e/answers"
  (printf '2\nold.txt\n'; exec sleep 60) >"$e2e/answers" &
  answers_pid=$!
  (cd "$e2e" && exec wine "$setup_exe" <answers >interrupt.out 2>interrupt.err) &
  program_pid=$!
  if wait_for_text "$e2e/interrupt.out" 30 "Reading memory  2 "; then
    kill -INT "$program_pid"
  fi
  wait "$program_pid"
  status=$?
  kill "$answers_pid" 2>/dev/null
  stop_radio
  report=$(printf '\r\nAborting due to runtime error 9 ("interrupted" signal)\r\n\r\n')
  if [ "$status" -eq 9 ] && grep -qF "$report" "$e2e/interrupt.err"; then
    pass "Ctrl-C during a save: status 9, \"Aborting due to runtime error 9 (\"interrupted\" signal)\""
  else
    fail "Ctrl-C during a save" "status $status" "$(cat "$e2e/interrupt.err")"
  fi
  if [ "$(cat "$e2e/old.txt")" = $'old\r' ] && ! ls "$e2e"/qnm*.tmp >/dev/null 2>&1; then
    pass "the interrupted save kept the old file and left no temporary file"
  else
    fail "the interrupted save kept the old file" "$(ls -l "$e2e")"
  fi
else
  fail "virtual radio started for the interrupt" "$(cat "$e2e/radio.out")"
fi

finish
