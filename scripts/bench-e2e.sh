#!/usr/bin/env bash
# End-to-end benchmark: the three generated print documents through Tessel,
# headless Chromium and wkhtmltopdf (both installed for it), medians of
# alternating runs; the table goes to standard output and e2e-results.md.
# Extra arguments go to bench/e2e/run.py (--runs N, --documents letter,...).
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tessel tessel-pages tessel_module
python3 bench/e2e/run.py build --out e2e-results.md "$@"
