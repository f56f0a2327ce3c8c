#!/bin/bash
# Writes a small seed corpus for fuzz_bufio into the directory $1. The bytes
# are read by FuzzedDataProvider, so the seeds are only rough shapes.
set -euo pipefail
dir=${1:?usage: bufio.seeds.sh DIR}
mkdir -p "$dir"
printf 'HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello\x40\x03\x01\x10' >"$dir/response"
printf '5\r\nhello\r\n0\r\n\r\n\x20\x00\x02\x08\x01\x30' >"$dir/chunks"
seq 1 300 | tr "\n" "\r" >"$dir/numbers"
