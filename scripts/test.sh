#!/usr/bin/env bash
# Builds Tessel and runs every test (installs the Debian packages it needs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j"$(nproc)"
