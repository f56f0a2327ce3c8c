#!/usr/bin/env bash
# Rewrites the stored golden pages from the current layout. Run it on
# purpose after a change to the layout that is meant to alter the pages,
# and look at the new PNG files before committing them.
# Usage: regenerate.sh [BUILD_DIR]   (default: build next to the sources)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build}
TESSEL_REGENERATE_GOLDEN=1 "$build/tests/tests_layout" --gtest_filter='Documents/GoldenPage.*'
echo "golden pages rewritten in $here"
