#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything with
# warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
install_packages

# Every tracked C++ file as .clang-format has it, before spending time on a build.
tracked="$(git ls-files '*.cpp' '*.h')" || { echo "test: git cannot list the tracked files" >&2; exit 1; }
mapfile -t sources <<<"$tracked"
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "test: the files above are not formatted; run clang-format -i on them" >&2
  exit 1
fi

build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DKESTRIN_WERROR=ON
cmake --build "$build" --parallel 2
status=0
# With pipefail the pipeline fails with ctest, not with tee.
ctest --test-dir "$build" --parallel 2 --output-on-failure --timeout 600 \
  | tee "$build/ctest-output.txt" || status=$?

# ctest keeps the output of passing tests to itself: show the figures of the
# fuzzing and of the fault campaign, which say how much was tried.
echo "Figures of the fuzzing and of the fault campaign:"
sed -n -e '/^fuzz: [0-9]* executions in total/p' \
       -e '/^runs: [0-9]*, failed:/p' -e '/^faults armed:/p' -e '/^invariant checks:/p' \
       -e '/^partial uploads kept/p' -e '/^exit statuses:/p' -e '/^longest run:/p' \
       "$build/Testing/Temporary/LastTest.log" || true
# ctest's own verdict stays the last word.
grep -E '^[0-9]+% tests passed|^Total Test time' "$build/ctest-output.txt" || true
exit "$status"
