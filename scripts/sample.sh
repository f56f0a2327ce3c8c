#!/usr/bin/env bash
# Builds Tessel and runs the main job on the built-in sample document.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tessel-dump
./build/apps/tessel-dump samples/letter.html
