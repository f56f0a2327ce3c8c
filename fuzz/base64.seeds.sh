#!/bin/bash
# Writes a small seed corpus for fuzz_base64 into the directory $1.
set -euo pipefail
dir=${1:?usage: base64.seeds.sh DIR}
mkdir -p "$dir"
printf 'YWJj' >"$dir/group"
printf 'YQ==' >"$dir/pad2"
printf 'YWI=' >"$dir/pad1"
printf 'YQ=a' >"$dir/bad-pad"
printf 'YWJjZGVm\r\nZ2hp\r\n' >"$dir/lines"
printf 'YWJ' >"$dir/cut"
head -c 300 /dev/zero | tr '\0' 'Q' >"$dir/long"
