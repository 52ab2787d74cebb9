# Counting checks in a script, sourced by scripts/windows.sh and
# scripts/package.sh: pass and fail count and print one check each, finish
# prints the "N passed, M failed" line the test command adds up and ends the
# script, non-zero when anything failed.
passed=0
failed=0
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
