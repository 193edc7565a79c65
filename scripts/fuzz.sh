#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, address+undefined sanitizers) and runs
# each for the given number of seconds (default 20) from its committed seeds.
# Any finding stops the run with a failure; the input that caused it is kept in
# build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true

jobs=$(nproc 2>/dev/null || echo 2)
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVARNEX_FUZZ=ON >/dev/null
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for src in fuzz/fuzz_*.cpp; do harnesses+=("$(basename "$src" .cpp)"); done
fi
cmake --build build-fuzz -j "$jobs" --target "${harnesses[@]}"

mkdir -p build-fuzz/findings
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for h in "${harnesses[@]}"; do
  name=${h#fuzz_}
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "== $h: ${seconds} s"
  # The first folder gathers what the run finds; the committed seeds stay as they are.
  if ! build-fuzz/"$h" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/"$name"- "$work" "${seeds[@]}" >build-fuzz/"$h".log 2>&1; then
    echo "FINDING in $h (log: build-fuzz/$h.log)" >&2
    grep -E "check failed|ERROR:|runtime error|SUMMARY|Test unit written" build-fuzz/"$h".log >&2 || true
    status=1
  else
    grep -E "^stat::number_of_executed_units|DONE" build-fuzz/"$h".log || true
  fi
done
exit $status
