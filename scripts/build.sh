#!/usr/bin/env bash
# Configures and builds the trees.
#
#   build.sh        every tree, everything: build/i386 (the deliverable 32-bit libraries,
#                   vnxsql, their tests and the package), build/native (x86_64 with
#                   AddressSanitizer and UndefinedBehaviorSanitizer) and build/tsan (x86_64
#                   with ThreadSanitizer, only the concurrency test and what it loads)
#   build.sh demo   only the i386 libraries and vnxsql, what scripts/demo.sh runs; a tree
#                   made here leaves its tests out until a full build turns them on
#   build.sh demo-compile
#                   as much of that as needs no qemu-user (whose catalogue step links the
#                   multi-language library): the objects, and the single-language library
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${VNX_JOBS:-$(nproc)}
i386=(-DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo)

case "${1:-all}" in
  demo | demo-compile)
    [ -f build/i386/CMakeCache.txt ] || i386+=(-DVNX_TESTS=OFF)
    cmake -S . -B build/i386 "${i386[@]}" >/dev/null
    if [ "$1" = demo ]; then
      cmake --build build/i386 -j "$jobs" --target vnxsql
    else
      cmake --build build/i386 -j "$jobs" --target dbexpvnx vnx_objects_ml vnxsql_core
    fi
    ;;
  all)
    cmake -S . -B build/i386 "${i386[@]}" -DVNX_TESTS=ON >/dev/null
    cmake --build build/i386 -j "$jobs"

    cmake -S . -B build/native -DVNX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVNX_TESTS=ON >/dev/null
    cmake --build build/native -j "$jobs"

    cmake -S . -B build/tsan -DVNX_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build/tsan -j "$jobs" --target test_stress_live
    ;;
  *) echo "usage: $0 [demo|demo-compile]" >&2; exit 2 ;;
esac
