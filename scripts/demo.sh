#!/usr/bin/env bash
# The main job: installs what is missing, builds both trees, starts a throwaway PostgreSQL
# server, shows the driver at work through a 32-bit client, and stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh

state=$(mktemp -d)
trap 'tests/server/pgcluster.sh stop "$state"; rm -rf "$state"' EXIT
tests/server/pgcluster.sh start "$state"
echo "== the driver entry and connection objects, called as an application does =="
VNX_PGENV="$state/env" qemu-i386 build/i386/tests/test_abi --gtest_brief=1
