#!/usr/bin/env bash
# Writes a generated corpus of bare DIBs (after one option byte) into DIR.
set -euo pipefail
python3 "$(dirname "$0")/bmp.seeds.py" dib "$1"
