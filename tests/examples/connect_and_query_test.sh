#!/usr/bin/env bash
# The user's guide's example program against the test server: with a current server's name
# it prints the answer and the SQL it sent; without AcceptNewerServers=True it reports the
# driver's refusal through getErrorMessageLen and getErrorMessage.
#
#   connect_and_query_test.sh PROGRAM LIBRARY [EMULATOR]     (VNX_PGENV names the server)
set -euo pipefail
program=$1 library=$2 emulator=${3:-}
# shellcheck disable=SC1090
. "$VNX_PGENV"
name=localhost:$VNX_PGPORT/postgres
run() { $emulator "$program" "$1" postgres "" "$library" 2>&1; }

out=$(run "$name,AcceptNewerServers=True") && grep -qx 'answer = 42' <<<"$out" \
  && grep -qx 'sql: select 41 + 1 as answer' <<<"$out" || { echo "$out"; exit 1; }
if out=$(run "$name"); then echo "connected without AcceptNewerServers: $out"; exit 1; fi
grep -q '^connect failed (0x2000): The Vornex Driver has not been tested with this server version \[PostgreSQL ' <<<"$out" \
  || { echo "$out"; exit 1; }
