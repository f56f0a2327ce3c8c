#!/bin/bash
# Writes a small seed corpus for fuzz_module_stream into the directory $1:
# property records as the control saves them, and script values.
set -euo pipefail
dir=${1:?usage: module_stream.seeds.sh DIR}
mkdir -p "$dir"
# version 0x0100, extent 4233 x 2646, VT_UI4 (19), colour 0x00C08040
printf '\x00\x01\x00\x00\x89\x10\x00\x00\x56\x0a\x00\x00\x13\x00\x40\x80\xc0\x00' >"$dir/record"
printf '\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13\x00' >"$dir/short"
printf '2\x005\x005\x00' >"$dir/number-text"
printf 'F\x00i\x00l\x00l\x00C\x00o\x00l\x00o\x00r\x00' >"$dir/name"
