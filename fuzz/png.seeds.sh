#!/usr/bin/env bash
# Writes a generated corpus of small PNG files into DIR.
set -euo pipefail
python3 "$(dirname "$0")/png.seeds.py" "$1"
