#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the fuzzers and the
# benchmarks need. Safe to run again: packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev clang-format-14
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev openssl
  libpng-dev libjpeg-dev zlib1g-dev
  libcairo2-dev libfontconfig-dev libfreetype-dev libharfbuzz-dev libdeflate-dev
  fonts-liberation fonts-urw-base35
  libcups2-dev cups cups-client poppler-utils qpdf
  libhidapi-dev
  nginx-light tinyproxy curl
  chromium nodejs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq >/dev/null
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
