#!/bin/bash
# The floors of the house only look down: each room's files include headers
# of the rooms listed for it and of no other (HACKING.md draws the floors).
# Prints every include that looks up and ends non-zero when there is one.
# Run from anywhere; CTest runs it as the test "floors".
cd "$(dirname "$0")/.." || exit 2

# The rooms a room's files may include from, itself among them. app/ is the
# top floor and may include from any room; tests and fuzz targets too.
declare -A may_include=(
  [text]="text"
  [ending]="text ending"
  [console]="text ending console"
  [link]="text ending console link"
  [jobs]="text ending console link jobs"
  [radio-sim]="text ending console link jobs radio-sim"
)

upward=0
for room in "${!may_include[@]}"; do
  [ -d "$room" ] || { echo "floors: no room $room/" >&2; exit 2; }
  for file in "$room"/*.h "$room"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS=: read -r line included; do
      from=${included%%/*}
      case " ${may_include[$room]} " in
        *" $from "*) ;;
        *)
          echo "$file:$line: includes \"$included\", a floor above $room/"
          upward=$((upward + 1))
          ;;
      esac
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
  done
done
if [ "$upward" -gt 0 ]; then
  echo "floors: $upward includes look up"
  exit 1
fi
echo "floors: every include looks down"
