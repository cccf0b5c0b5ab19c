#!/usr/bin/env bash
# The whole test suite from a fresh machine: installs what is missing, builds both trees and
# runs their tests, then runs each fuzz target briefly. Each tree's tests start and stop their
# own throwaway PostgreSQL cluster.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh

status=0
echo "== native tree (x86_64, ASan/UBSan) =="
ctest --test-dir build/native --output-on-failure --no-tests=error -j 2 || status=1
echo "== i386 tree (the deliverables, under qemu-i386) =="
ctest --test-dir build/i386 --output-on-failure --no-tests=error -j 2 || status=1
echo "== tsan tree (the concurrency test under ThreadSanitizer) =="
ctest --test-dir build/tsan --output-on-failure --no-tests=error || status=1
echo "== fuzz targets (clang, libFuzzer, ASan/UBSan): each corpus plus 30 s of new inputs =="
scripts/fuzz.sh 30 || status=1
exit $status
