# Counting checks in a script, sourced by scripts/windows.sh and
# scripts/package.sh: pass and fail count and print one check each, finish
# prints the "N passed, M failed" line the test command adds up and ends the
# script, non-zero when anything failed. take_phase reads the script's one
# argument, the part of its work to do.
passed=0
failed=0
phase=all

# Sets `phase` to the argument $1 when it is one of the phases named after
# it, leaves "all" when $1 is empty, and ends the script with its usage
# otherwise.
take_phase() {
  local given=$1 name
  shift
  [ -z "$given" ] && return 0
  for name in "$@"; do
    if [ "$given" = "$name" ]; then
      phase=$given
      return 0
    fi
  done
  echo "usage: $0 [$(IFS='|' && echo "$*")]" >&2
  exit 2
}
pass() { echo "PASS  $1"; passed=$((passed + 1)); }
fail() {
  echo "FAIL  $1"
  shift
  for detail in "$@"; do echo "      $detail"; done
  failed=$((failed + 1))
}
finish() {
  echo
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}
