#!/usr/bin/env bash
# Installs what building and testing quenmar-setup needs on a Debian machine
# that lacks it, and what the further tasks named on the command line need:
#
#   scripts/setup-machine.sh [fuzzing] [windows] [packaging]
#   scripts/setup-machine.sh demo
#
# "demo" installs only what scripts/demo.sh builds with: a compiler, CMake
# and make, none of the test bench. scripts/fuzz.sh, scripts/windows.sh and scripts/package.sh name theirs; the
# test command names all three at its start, so that no two of its steps run
# the package manager at once. Needs root (or sudo) only when something is
# missing.
set -euo pipefail

# chirp: its CSV driver writes and reads the files of the CSV conversion tests.
# ccache: the test command's two builds with the same flags share objects.
packages=(cmake g++ make ccache clang-format libgtest-dev python3-pexpect python3-pyte faketime util-linux
          chirp)
fuzzing=no
if [ "${1:-}" = demo ]; then
  packages=(cmake g++ make)
  shift
fi
for task in "$@"; do
  case $task in
    fuzzing) packages+=(clang) fuzzing=yes ;;
    windows) packages+=(g++-mingw-w64-x86-64 wine wine64 googletest) ;;
    packaging) packages+=(lintian mandoc groff-base dpkg-dev binutils unzip g++-mingw-w64-x86-64) ;;
    *)
      echo "usage: scripts/setup-machine.sh [fuzzing] [windows] [packaging] | demo" >&2
      exit 2
      ;;
  esac
done

install_missing() {
  local package missing=() sudo=""
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
# libFuzzer and the sanitizer runtimes come in a package named after clang's
# major version: the one that matches the clang installed.
if [ "$fuzzing" = yes ]; then
  install_missing "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
fi
