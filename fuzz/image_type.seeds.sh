#!/bin/bash
# Writes a small seed corpus for fuzz_image_type into the directory $1.
set -euo pipefail
dir=${1:?usage: image_type.seeds.sh DIR}
mkdir -p "$dir"
printf 'Content-Type\nimage/png\nhttp://h:8080/d/ http://H:08080/p.png' >"$dir/png-same"
printf 'content-type\nimage/png; charset=x\nhttps://h/ https://h:443/x' >"$dir/parameter"
printf 'Content-Type\nIMAGE/PJPEG\nhttp://a/ http://a@b/x' >"$dir/user-trick"
printf 'Content-Length\n12\n/local/dir http://h/x' >"$dir/other-header"
printf 'Content-Type\n\nhttp:// http://' >"$dir/empty"
