#!/usr/bin/env bash
# Builds the libFuzzer targets (build/fuzz: clang, ASan and UBSan) and runs each over its
# checked-in corpus, then on new inputs for SECONDS (default 300; 0 runs until FUZZ_FLAGS
# such as -runs=N end it).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      e.g. scripts/fuzz.sh 30 fuzz_sql_lexer
#
# New inputs go to build/fuzz/corpus/<target>; a crash is written to build/fuzz/artifacts/
# and ends the script with a failure. Copy such an input into tests/fuzz/corpus/<target>
# and add a unit test for it when the fault is mended.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
jobs=${VNX_JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVNX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$jobs"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work" build/fuzz/artifacts
  dict=()
  [ -f tests/fuzz/"$target".dict ] && dict=(-dict=tests/fuzz/"$target".dict)
  echo "== $target: corpus plus ${seconds}s =="
  # shellcheck disable=SC2086
  if ! build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
      -artifact_prefix=build/fuzz/artifacts/"$target"- "${dict[@]}" ${FUZZ_FLAGS:-} "$work" tests/fuzz/corpus/"$target" \
      2> build/fuzz/"$target".log; then
    tail -n 60 build/fuzz/"$target".log
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' build/fuzz/"$target".log || true
done
exit $status
