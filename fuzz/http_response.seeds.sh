#!/usr/bin/env bash
# Writes seed responses for fuzz_http_response into DIR: a flags byte, a
# read-size byte, then the response bytes.
set -euo pipefail
dir=${1:?usage: http_response.seeds.sh DIR}
mkdir -p "$dir"
printf '\0\0HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello' >"$dir/plain"
printf '\4\3HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1a;x=y\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n' >"$dir/chunked"
printf '\1\1HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nLocation: /x\r\n\r\nbody' >"$dir/continue"
printf '\2\0HTTP/1.0 404 Not Found\r\nno colon\r\n\r\nmissing' >"$dir/notfound"
printf '\0\7HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-5\r\nabc' >"$dir/negative"
printf '\0\0HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello, and more' >"$dir/length"
printf '\0\0HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nshort' >"$dir/short"
printf '\20\1HTTP/1.0 200 OK\r\nX-A: 1\r\nX-B: 2\r\nX-C: 3\r\nX-D: 4\r\nX-E: 5\r\nX-F: 6\r\n\r\nbody' >"$dir/limited"
