#!/usr/bin/env bash
# Writes a generated corpus of small BMP files into DIR.
set -euo pipefail
python3 "$(dirname "$0")/bmp.seeds.py" bmp "$1"
