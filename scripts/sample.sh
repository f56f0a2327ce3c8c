#!/usr/bin/env bash
# Builds Tessel and runs the main job: the built-in sample print document,
# samples/report.html, laid out as the page view shows it (a Letter page at
# 96 pixels per inch) and written page by page as PNG files into out/report/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tessel
rm -rf out/report
./build/apps/tessel --src samples/report.html view --all -o out/report
echo "The pages are in $(pwd)/out/report/ (page-001.png, page-002.png, ...)."
