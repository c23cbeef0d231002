#!/usr/bin/env bash
# Builds the `fuzz` preset, replays every harness's checked-in corpus (tests/fuzz/corpus/<harness>)
# and then fuzzes each harness for a while. Usage: scripts/fuzz.sh [seconds per harness, default 5]
# [harness...]. New inputs go to a scratch folder, never into the checked-in corpus; a finding
# leaves its input in build/fuzz/findings/ and ends the script with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do harnesses+=("$(basename "$dir")"); done
fi
findings=build/fuzz/findings
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for h in "${harnesses[@]}"; do
  bin="build/fuzz/bin/$h"
  corpus="tests/fuzz/corpus/$h"
  mkdir -p "$scratch/$h"
  echo "fuzz: $h: replaying $(find "$corpus" -type f | wc -l) inputs, then fuzzing ${seconds}s"
  "$bin" -runs=0 "$corpus" 2>"$scratch/$h.log" || { cat "$scratch/$h.log"; exit 1; }
  "$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -artifact_prefix="$findings/$h-" \
    -print_final_stats=1 "$scratch/$h" "$corpus" 2>"$scratch/$h.log" || { tail -60 "$scratch/$h.log"; exit 1; }
  grep -E 'stat::number_of_executed_units' "$scratch/$h.log" | sed "s/^/fuzz: $h: /"
done
echo "fuzz: no findings"
