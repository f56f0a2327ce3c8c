#!/usr/bin/env bash
# Writes the seed corpus of fuzz_bridge_request into DIR.
set -euo pipefail
dir=$1
mkdir -p "$dir"
printf 'POST /api/sessions HTTP/1.1\r\nOrigin: http://127.0.0.1:8421\r\nContent-Length: 32\r\n\r\n{"params":{"src":"a","x":1}}' >"$dir/create"
printf 'POST /api/sessions/ab/call?x=%%41 HTTP/1.1\r\nX-Tessel-Token: cd\r\nContent-Length: 39\r\n\r\n{"member":"src","value":"caf\\u00e9 \\ud83d\\ude00"}' >"$dir/call"
printf 'GET /samples/report.html HTTP/1.0\r\n\r\n' >"$dir/static"
printf 'POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n[[[[1,2.5e3,-0,true,false,null]]]]' >"$dir/nested"
