#!/usr/bin/env bash
# Checks what ships, without installing anything on this machine: the manual
# pages, an install into a temporary prefix, the Debian package (unpacked and
# run, and lintian) and the Windows zip. Builds in build-package/ and
# build-win-package/ (without the tests). Ends with "N passed, M failed" and
# a non-zero status when anything failed.
#
#   scripts/package.sh [build|check]   (installs missing tools; needs root or sudo then)
#
# "build" only builds build-package/, "check" only checks what an earlier
# "build" made; without an argument, both.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-package
# The test command hands in the Windows build it has just made and tested
# (QUENMAR_WIN_BUILD=build-win), so that it is not built twice.
win_build=${QUENMAR_WIN_BUILD:-$root/build-win-package}
jobs=$(nproc)
version=$(sed -n 's/^project(quenmar-setup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

source scripts/checks.sh
take_phase "${1:-}" build check
scripts/setup-machine.sh packaging
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if [ "$phase" != check ]; then
  echo "== Build (build-package) =="
  mkdir -p "$build"
  if cmake -S . -B "$build" -DQUENMAR_TESTS=OFF -DQUENMAR_WERROR=ON -DQUENMAR_DEBIAN_FLAGS=ON \
       >"$build/configure.log" 2>&1 &&
     cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1; then
    pass "build without the tests"
  else
    tail -n 30 "$build/configure.log" "$build/build.log"
    fail "build without the tests" "see $build/build.log"
    finish
  fi
  [ "$phase" = build ] && finish
elif ! [ -x "$build/quenmar-setup" ]; then
  fail "build without the tests" "no $build/quenmar-setup: run scripts/package.sh build first"
  finish
fi

echo "== Install into a temporary prefix =="
prefix=$scratch/prefix
if cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 &&
   out=$("$prefix/bin/quenmar-setup" --version) && [ "$out" = "quenmar-setup $version" ]; then
  pass "installed quenmar-setup --version: $out"
else
  fail "installed quenmar-setup --version" "$(cat "$scratch/install.log")"
fi
# The help is read whole before it is searched: grep -q leaves at the first
# match, and the program, writing on into a closed pipe, would end with 4.
if out=$("$prefix/bin/quenmar-setup" --help) && grep -q -- "--port DEVICE" <<<"$out"; then
  pass "installed quenmar-setup --help"
else
  fail "installed quenmar-setup --help"
fi

echo "== Manual pages =="
for page in "$prefix"/share/man/man1/*.1.gz; do
  name=$(basename "$page" .gz)
  lint=$(mandoc -T lint "$page" 2>&1)
  if [ -z "$lint" ]; then pass "mandoc -T lint $name"; else fail "mandoc -T lint $name" "$lint"; fi
  lint=$(zcat "$page" | groff -man -ww -z 2>&1)
  if [ -z "$lint" ]; then pass "groff -man -ww -z $name"; else fail "groff -man -ww -z $name" "$lint"; fi
done

echo "== Debian package =="
deb=$build/quenmar-setup_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
if (cd "$build" && cpack -G DEB) >"$build/cpack-deb.log" 2>&1 && [ -f "$deb" ]; then
  pass "cpack -G DEB: $(basename "$deb")"
else
  fail "cpack -G DEB" "see $build/cpack-deb.log"
  finish
fi
fields="$(dpkg-deb -f "$deb" Package Section Depends)"
if grep -qx "Package: quenmar-setup" <<<"$fields" && grep -qx "Section: hamradio" <<<"$fields" &&
   grep -q "^Depends: .*libc6" <<<"$fields"; then
  pass "package name, section and computed dependencies"
else
  fail "package name, section and computed dependencies" "$fields"
fi
dpkg-deb -x "$deb" "$scratch/deb"
if out=$("$scratch/deb/usr/bin/quenmar-setup" --version) && [ "$out" = "quenmar-setup $version" ]; then
  pass "quenmar-setup from the unpacked package runs: $out"
else
  fail "quenmar-setup from the unpacked package runs"
fi
# Every tag, the pedantic and informational ones too (the hardening tags
# among them), but the one the program's own texts cause: the abort
# report's "no priviledges" is spelt as it has always been.
lintian --pedantic --display-info "$deb" >"$scratch/lintian.log" 2>&1
sed 's/^/      /' "$scratch/lintian.log"
tags=$(grep -E '^[EWIPX]: ' "$scratch/lintian.log" | grep -v 'spelling-error-in-binary priviledges ')
if [ -z "$tags" ]; then
  pass "lintian --pedantic finds nothing but the abort report's own spelling"
else
  fail "lintian --pedantic finds nothing but the abort report's own spelling" "$tags"
fi

echo "== Windows zip ($(basename "$win_build")) =="
mkdir -p "$win_build"
zip_file=$win_build/quenmar-setup-$version-win64.zip
rm -f "$zip_file"
configure_win() {
  [ -n "${QUENMAR_WIN_BUILD:-}" ] && return 0  # configured by scripts/windows.sh
  cmake -S . -B "$win_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" -DQUENMAR_TESTS=OFF -DQUENMAR_WERROR=ON
}
if configure_win >"$win_build/configure.log" 2>&1 &&
   cmake --build "$win_build" -j"$jobs" >"$win_build/build.log" 2>&1 &&
   (cd "$win_build" && cpack -G ZIP) >"$win_build/cpack-zip.log" 2>&1 && [ -f "$zip_file" ]; then
  pass "cpack -G ZIP: $(basename "$zip_file")"
else
  fail "cpack -G ZIP" "see $win_build/build.log and $win_build/cpack-zip.log"
  finish
fi
unzip -l "$zip_file" | sed 's/^/      /'
folder=quenmar-setup-$version-win64
listed=$(unzip -Z1 "$zip_file" | sort | tr '\n' ' ')
expected="$folder/LICENSE.txt $folder/README.txt $folder/quenmar-setup.exe "
if [ "$listed" = "$expected" ]; then
  pass "the zip holds the program, README and LICENSE in $folder/"
else
  fail "the zip holds the program, README and LICENSE in $folder/" "holds: $listed"
fi
for text in README.txt LICENSE.txt; do
  lines=$(unzip -p "$zip_file" "$folder/$text" | grep -c '')
  crlf=$(unzip -p "$zip_file" "$folder/$text" | grep -c $'\r$')
  if [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ]; then
    pass "$text has CR LF line ends ($lines lines)"
  else
    fail "$text has CR LF line ends" "$crlf of $lines lines end in CR LF"
  fi
done
if [ "$(unzip -p "$zip_file" "$folder/quenmar-setup.exe" | head -c 2)" = MZ ]; then
  pass "quenmar-setup.exe is a Windows executable"
else
  fail "quenmar-setup.exe is a Windows executable"
fi
# The README in the zip is written for Windows: no Linux device paths, no
# sudo, and plain text rather than Markdown links.
readme=$(unzip -p "$zip_file" "$folder/README.txt")
found=$(grep -n -e '/dev/' -e 'sudo' -e '](' <<<"$readme")
if [ -z "$found" ]; then
  pass "README.txt is for Windows: no /dev/, no sudo, no Markdown links"
else
  fail "README.txt is for Windows: no /dev/, no sudo, no Markdown links" "$found"
fi
unzip -p "$zip_file" "$folder/quenmar-setup.exe" >"$scratch/quenmar-setup.exe"
resource=$(strings -el "$scratch/quenmar-setup.exe" | grep -A1 -x -e ProductName -e ProductVersion |
           tr '\n' ' ')
if [ "$resource" = "ProductName quenmar-setup ProductVersion $version " ]; then
  pass "quenmar-setup.exe carries its product name and version"
else
  fail "quenmar-setup.exe carries its product name and version" "found: $resource"
fi

finish
