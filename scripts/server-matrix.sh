#!/usr/bin/env bash
# Runs the live tests against a plain server of every major version from 10 to 18 (with
# AcceptNewerServers=True) and prints a table: server version x what the tests exercise.
#
#   scripts/server-matrix.sh [TREE [MAJOR...]]
#
# TREE is a built tree (default build/i386, the deliverables, whose tests run under
# qemu-i386; build/native works too). The servers come from tests/server/pgbinaries.sh,
# fetched once into build/servers. Each cell counts the tests that passed of those that ran
# on that server; tests of features a version lacks stand aside and are not counted.
set -euo pipefail
cd "$(dirname "$0")/.."

tree=${1:-build/i386}
shift || true
majors=("$@")
[ ${#majors[@]} -gt 0 ] || majors=(10 11 12 13 14 15 16 17 18)
[ -x "$tree/tests/test_driver_live" ] || { echo "server-matrix: build $tree first (scripts/build.sh)" >&2; exit 2; }
run=()
file -b "$tree/tests/test_driver_live" | grep -q '32-bit' && run=(qemu-i386)

# What each test exercises, by the first pattern its name matches (Suite.Test).
categories=("connect" "values" "parameters" "BLOBs and large objects" "metadata lists"
            "stored procedures and functions" "cancel" "vnxsql")
category_of() {
  case "$1" in
    CommandLive.StoredProcedure*|CommandLive.LongBytesOutput*|NewerServers.Procedures*) echo 5 ;;
    CommandLiveAsync.*) echo 6 ;;
    CommandLive.*|ParamLiteralLive.*) echo 2 ;;
    BlobLive.*) echo 3 ;;
    MetaDataLive.*|NewerServers.Identity*|NewerServers.SystemColumns*|NewerServers.Partitioned*) echo 4 ;;
    CursorLive.*|TypeCacheLive.*|ColumnMappingLive.*|ImportLive.*|NewerServers.Types*|NewerServers.Utf8*) echo 1 ;;
    VnxsqlLive.*) echo 7 ;;
    *) echo 0 ;;  # connecting, transactions, error texts, translations, object lifetimes
  esac
}

work=$(mktemp -d)
state="$work/cluster"
trap 'tests/server/pgcluster.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

rows=()
status=0
for major in "${majors[@]}"; do
  tests/server/pgcluster.sh start "$state" plain "$major" >/dev/null
  version=$(sed -n 's/^VNX_PGVERSION=//p' "$state/env")
  declare -a passed=(0 0 0 0 0 0 0 0) ran=(0 0 0 0 0 0 0 0)
  for exe in "$tree"/tests/test_*_live; do
    [ "$(basename "$exe")" = test_stress_live ] && continue
    out=$(VNX_PGENV="$state/env" "${run[@]}" "$exe" 2>&1 || true)
    while read -r outcome name; do
      c=$(category_of "$name")
      case "$outcome" in
        OK) passed[c]=$((passed[c] + 1)); ran[c]=$((ran[c] + 1)) ;;
        FAILED) ran[c]=$((ran[c] + 1)); status=1; echo "server-matrix: $version: $name failed" >&2 ;;
      esac
    done < <(printf '%s\n' "$out" | sed -nE 's/^\[ +(OK|FAILED) +\] ([^ ]+) \([0-9]+ ms\)$/\1 \2/p')
  done
  tests/server/pgcluster.sh stop "$state" >/dev/null
  row="| $version |"
  for c in "${!categories[@]}"; do
    if [ "${ran[c]}" -eq "${passed[c]}" ]; then row+=" ${passed[c]}/${ran[c]} pass |"
    else row+=" **${passed[c]}/${ran[c]}** |"; fi
  done
  rows+=("$row")
done

echo "Live tests against plain servers with AcceptNewerServers=True, $(date -u +%Y-%m-%d), tree $tree"
echo "(tests passed / tests run; a test of a feature the server lacks does not run):"
echo
header="| server |"; rule="|---|"
for name in "${categories[@]}"; do header+=" $name |"; rule+="---|"; done
echo "$header"
echo "$rule"
printf '%s\n' "${rows[@]}"
exit $status
