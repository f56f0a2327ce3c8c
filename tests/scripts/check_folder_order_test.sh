#!/usr/bin/env bash
# The folder-order check on a small tree of its own: it passes a tree in
# order, and names the file, line and header of an include that reaches a
# folder listed later (from the folder or from its tests) or climbs out of
# its folder, failing the run.
# Usage: tests/scripts/check_folder_order_test.sh CHECK_SCRIPT
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

mkdir -p "$tree"/{low,middle,high,tests/low,tests/common}
cat >"$tree/README.md" <<'TABLE'
## How the code is laid out

| folder | what it holds |
| --- | --- |
| `low/` | the bottom |
| `middle/` | above it |
| `high/` | the top |
| `tests/` | tests |

## Elsewhere

| `low/` | a table of another section |
TABLE
printf '#include <vector>\n#include "low/a.h"\n' >"$tree/low/b.h"
printf '#include "low/b.h"\n#include "other/x.h"\n#include "local.h"\n' >"$tree/middle/m.cpp"
printf '#include "middle/m.h"\n#include "low/a.h"\n' >"$tree/high/h.cpp"
printf '#include "high/h.h"\n' >"$tree/tests/t.cpp"
printf '#include "low/a.h"\n#include "common/fixture.h"\n' >"$tree/tests/low/a_test.cpp"
printf '#include "high/h.h"\n' >"$tree/tests/common/fixture.cpp"
out=$(bash "$check" "$tree") || fail "a tree in order was refused: $out"

printf '// first\n  #  include "high/h.h"  // reaches up\n' >"$tree/low/up.cpp"
printf '#include "../high/h.h"\n' >"$tree/middle/climb.h"
printf '#include "low/a.h"\n#include "middle/m.h"\n' >"$tree/tests/low/up_test.cpp"
status=0
out=$(bash "$check" "$tree") || status=$?
[ "$status" -eq 1 ] || fail "an include out of order gave status $status: $out"
grep -qF 'low/up.cpp:2: #include "high/h.h"' <<<"$out" || fail "the upward include is not named: $out"
grep -qF 'middle/climb.h:1: #include "../high/h.h"' <<<"$out" || fail "the climbing include is not named: $out"
grep -qF 'tests/low/up_test.cpp:2: #include "middle/m.h": tests/low/ may not use middle/' <<<"$out" ||
  fail "the upward include of a folder's tests is not named: $out"
grep -qF '3 include(s) break the folder order' <<<"$out" || fail "the count is missing: $out"
! grep -qE '^(low/b\.h|middle/m\.cpp|high/h\.cpp|tests/t\.cpp|tests/low/a_test\.cpp|tests/common/fixture\.cpp):' <<<"$out" ||
  fail "an include in order was named: $out"
echo "ok"
