#!/usr/bin/env bash
# Checks the folder order over every include: a folder may include headers
# of its own and of the folders listed before it in the README's folder
# table, never of one listed after it; tests/FOLDER keeps the place of
# FOLDER, so each folder's tests build on that folder alone. Every library
# has the repository root on its include path, so the compiler would not
# stop a lower folder from reaching a higher one; this does, naming each
# offending include.
# Usage: scripts/check-folder-order.sh [ROOT]    (exit 1 when one offends)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# The table's rows read "| `folder/` | what it holds |", in order, in the
# section on how the code is laid out.
mapfile -t folders < <(sed -n '/^## How the code is laid out/,/^## /s/^| `\([A-Za-z0-9_.-]*\)\/` |.*/\1/p' README.md)
if [ ${#folders[@]} -eq 0 ]; then
  echo "check-folder-order: no folder table in $root/README.md" >&2
  exit 2
fi
present=()
for folder in "${folders[@]}"; do
  [ -d "$folder" ] && present+=("$folder")
done

status=0
includes=$(grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cc' \
    --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${present[@]}") || status=$?
[ "$status" -le 1 ] || exit 2

printf '%s\n' "$includes" | awk -v order="${folders[*]}" '
    BEGIN {
      count = split(order, names, " ")
      for (i = 1; i <= count; i++) place[names[i]] = i
    }
    {
      # grep prints FILE:LINE:TEXT; the text itself may hold colons.
      first = index($0, ":"); file = substr($0, 1, first - 1)
      rest = substr($0, first + 1); second = index(rest, ":")
      line = substr(rest, 1, second - 1); text = substr(rest, second + 1)
      split(text, quoted, "\""); target = quoted[2]
      split(file, parts, "/"); folder = parts[1]; ranked = folder
      if (folder == "tests" && (parts[2] in place)) { folder = "tests/" parts[2]; ranked = parts[2] }
      if (target ~ /^\.\.\// || target ~ /\/\.\.\//) {
        printf "%s:%s: #include \"%s\" climbs out of %s/ with \"..\"; name the header from the repository root\n", file, line, target, folder
        bad++
        next
      }
      split(target, top, "/")
      if (index(target, "/") && (top[1] in place) && place[top[1]] > place[ranked]) {
        printf "%s:%s: #include \"%s\": %s/ may not use %s/, listed after %s/ in the README folder table\n", file, line, target, folder, top[1], ranked
        bad++
      }
    }
    END {
      if (bad) {
        printf "%d include(s) break the folder order (%s); a lower folder that needs a higher one gets a callback from it\n", bad, order
        exit 1
      }
      printf "folder order: %d includes follow the README folder table\n", NR
    }'
