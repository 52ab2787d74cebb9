#!/usr/bin/env bash
# Installs what building and testing quenmar-setup needs on a Debian machine
# that lacks it, and any further packages named on the command line (the
# fuzzing and Windows scripts name theirs). Needs root (or sudo) only when
# something is missing.
set -euo pipefail

# chirp: its CSV driver writes and reads the files of the CSV conversion tests.
packages=(cmake g++ make clang-format libgtest-dev python3-pexpect python3-pyte faketime util-linux chirp "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
