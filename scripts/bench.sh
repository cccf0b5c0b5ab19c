#!/usr/bin/env bash
# The benchmarks: fetch (200,000 rows x 8 columns, raw libpq loop against the driver),
# batched fetch (the driver reading whole results against FetchRows=1000), substitution
# ("?" markers and long text parameters against PQescapeString) and peak memory for
# 20,000, 200,000 and 2,000,000 rows, in a non-sanitized native tree and in the i386 tree
# under qemu-i386, against a throwaway server. Figures are printed; nothing is asserted.
#
#   VNX_BENCH_NATIVE  native tree to use (default build/native-bench, configured here
#                     without sanitizers)
#   VNX_BENCH_I386    i386 tree to use (default build/i386)
#   VNX_BENCH_RUNS    alternating runs per figure (default 7 native, 3 under qemu-i386)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

native=${VNX_BENCH_NATIVE:-build/native-bench}
i386=${VNX_BENCH_I386:-build/i386}
jobs=${VNX_JOBS:-$(nproc)}
# Configured every time, so that a tree made before the benchmarks existed learns of them;
# an existing tree keeps the rest of its configuration.
cmake -S . -B "$native" -DVNX_SANITIZE=OFF -DVNX_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ -f "$i386/CMakeCache.txt" ]; then
  cmake -S . -B "$i386" >/dev/null
else
  cmake -S . -B "$i386" -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$native" -j "$jobs" --target fetch_bench subst_bench >/dev/null
cmake --build "$i386" -j "$jobs" --target fetch_bench subst_bench >/dev/null

state=$(mktemp -d)
trap 'tests/server/pgcluster.sh stop "$state" >/dev/null; rm -rf "$state"' EXIT
tests/server/pgcluster.sh start "$state" >/dev/null
# shellcheck disable=SC1091
. "$state/env"
# The disguised test server and its ordinary role.
conn=(--server "127.0.0.1:$VNX_PGPORT/$VNX_PGDATABASE" --user vnx83)

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
     "$(free -g | awk '/^Mem:/{print $2}') GiB, $(uname -sr); PostgreSQL 15 over TCP on 127.0.0.1"
echo "commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"

peak() {  # emulator tree mode rows fetch-rows
  $1 "$2/bench/fetch_bench" "${conn[@]}" --mode "$3" --rows "$4" --fetch-rows "$5" |
    sed -n 's/.*peak_kb=\([0-9]*\).*/\1/p'
}

memory() {  # emulator tree
  local emu=$1 tree=$2 raw drv
  raw=$(peak "$emu" "$tree" memory-raw 200000 0)
  drv=$(peak "$emu" "$tree" memory-driver 200000 0)
  awk -v r="$raw" -v d="$drv" 'BEGIN { printf "memory: peak resident, 200,000 rows read: raw loop %d kB, driver %d kB, driver/raw %.3f\n", r, d, d / r }'
  echo "memory: peak resident kB, each read in a process of its own"
  printf "  %-26s %10s %10s %10s %9s\n" reader 20,000 200,000 2,000,000 2M/20k
  local fr label a b c
  for fr in 0 1000; do
    label="driver, whole result"
    [ "$fr" = 0 ] || label="driver, FetchRows=$fr"
    a=$(peak "$emu" "$tree" memory-driver 20000 "$fr")
    b=$(peak "$emu" "$tree" memory-driver 200000 "$fr")
    c=$(peak "$emu" "$tree" memory-driver 2000000 "$fr")
    awk -v l="$label" -v a="$a" -v b="$b" -v c="$c" 'BEGIN { printf "  %-26s %10d %10d %10d %9.3f\n", l, a, b, c, c / a }'
  done
}

runs=${VNX_BENCH_RUNS:-7}
echo
echo "==== native tree ($native, x86_64, no sanitizers) ===="
"$native/bench/fetch_bench" "${conn[@]}" --runs "$runs"
"$native/bench/fetch_bench" "${conn[@]}" --runs "$runs" --mode batched
"$native/bench/fetch_bench" "${conn[@]}" --runs "${VNX_BENCH_RUNS:-3}" --mode batched --rows 2000000
"$native/bench/subst_bench" "${conn[@]}" --runs "$runs"
memory "" "$native"

runs=${VNX_BENCH_RUNS:-3}
echo
echo "==== i386 tree ($i386, under qemu-i386) ===="
qemu-i386 "$i386/bench/fetch_bench" "${conn[@]}" --runs "$runs"
qemu-i386 "$i386/bench/fetch_bench" "${conn[@]}" --runs "$runs" --mode batched
qemu-i386 "$i386/bench/subst_bench" "${conn[@]}" --runs "$runs"
memory qemu-i386 "$i386"
