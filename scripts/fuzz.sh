#!/usr/bin/env bash
# Runs every fuzz target of a build folder for SECONDS each, two at a time.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "$1" && pwd)
seconds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_one() {
  local target=$1 name=${1#fuzz_}
  local corpus=$work/$name
  mkdir -p "$corpus"
  [ -f "fuzz/$name.seeds.sh" ] && bash "fuzz/$name.seeds.sh" "$corpus"
  local dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
  # Each target runs in a scratch folder of its own: documents may name
  # files (inline pictures) relative to the current directory.
  mkdir -p "$work/run-$name"
  if (cd "$work/run-$name" && "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 "$corpus") >"$work/$name.log" 2>&1; then
    echo "fuzz $name: ok ($(ls "$corpus" | wc -l) inputs in corpus)"
  else
    echo "fuzz $name: FAILED"; tail -n 60 "$work/$name.log"; return 1
  fi
}

targets=()
for f in "$build"/fuzz/fuzz_*; do
  [ -x "$f" ] && targets+=("$(basename "$f")")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/fuzz"; exit 0; }

status=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" & pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
