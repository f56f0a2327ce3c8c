#!/usr/bin/env bash
# Checks that every C++ file git tracks is formatted as .clang-format says.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format-14}
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  "$format" -i "${files[@]}"
  exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}"; then
  echo "format: files differ from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "format: ${#files[@]} files follow .clang-format"
