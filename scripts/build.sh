#!/usr/bin/env bash
# Configures and builds the trees: build/i386 (the deliverable 32-bit libraries and their
# tests), build/native (x86_64 with AddressSanitizer and UndefinedBehaviorSanitizer) and
# build/tsan (x86_64 with ThreadSanitizer, only the concurrency test and what it loads).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${VNX_JOBS:-$(nproc)}

cmake -S . -B build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/i386 -j "$jobs"

cmake -S . -B build/native -DVNX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/tsan -DVNX_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tsan -j "$jobs" --target test_stress_live
