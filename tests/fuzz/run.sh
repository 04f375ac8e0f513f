#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   run.sh [seconds per target] [build directory]
# Each target first replays its whole corpus (the hand-written inputs and
# those earlier runs found), then searches for the given seconds. The tests
# search for a few seconds only; run it by hand with more seconds for a real
# search. Fails on any compiler warning when KESTRIN_WERROR is ON, and on any
# crash, sanitizer report, violated property, or input that takes longer
# than the per-input limit (a hang).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
seconds="${1:-20}"
build="${2:-$here/../../build-fuzz}"
per_input_limit=5
targets=(read_ini take_field transfer_line listed_names mlsd)

mkdir -p "$build"
build_log="$build/build.log"
if ! { cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
         -DKESTRIN_WERROR="${KESTRIN_WERROR:-OFF}" &&
       cmake --build "$build" --parallel 2; } >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "fuzz: building the targets failed; the whole output is in $build_log" >&2
  exit 1
fi

artifacts="$build/artifacts"
mkdir -p "$artifacts"

# One target's search; its output stays in the build directory.
fuzz_one() {
  local target="$1"
  # New inputs go into the build directory; the hand-written starting inputs stay as they are.
  local corpus="$build/corpus/$target"
  local output="$build/$target.out"
  mkdir -p "$corpus"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout="$per_input_limit" \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$corpus" "$here/corpus/$target" >"$output" 2>&1; then
    tail -n 40 "$output"
    echo "fuzz: $target failed; the input is in $artifacts" >&2
    return 1
  fi
}

# Each target searches for a fixed time on a processor of its own, so as many
# search at once as there are processors: the same search in less time.
processors="$(nproc)"
failed=0
for ((first = 0; first < ${#targets[@]}; first += processors)); do
  searching=()
  for target in "${targets[@]:first:processors}"; do
    fuzz_one "$target" &
    searching+=("$!")
  done
  for pid in "${searching[@]}"; do
    wait "$pid" || failed=1
  done
done
[ "$failed" -eq 0 ] || exit 1

total=0
for target in "${targets[@]}"; do
  output="$build/$target.out"
  runs="$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$output")"
  if [ -z "$runs" ]; then
    tail -n 20 "$output"
    echo "fuzz: $target did not report its runs" >&2
    exit 1
  fi
  # How many starting inputs libFuzzer replayed before it searched.
  replayed="$(awk '/^INFO: seed corpus: files:/ {print $5; exit}' "$output")"
  echo "fuzz: $target: replayed ${replayed:-0} corpus inputs; $runs executions in $seconds s"
  total=$((total + runs))
done
echo "fuzz: $total executions in total, 0 crashes"
