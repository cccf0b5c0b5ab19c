#!/usr/bin/env bash
# The guide's example program against the server VNX_PGENV names: the answer and its SQL with
# AcceptNewerServers=True, the refusal's text without.   Arguments: PROGRAM LIBRARY EMULATOR
set -uo pipefail
. "$VNX_PGENV"
run() { $3 "$1" "localhost:$VNX_PGPORT/postgres$4" postgres "" "$2" 2>&1; }
out=$(run "$@" ,AcceptNewerServers=True) && grep -qx 'answer = 42' <<<"$out" \
  && grep -qx 'sql: select 41 + 1 as answer' <<<"$out" || { echo "$out"; exit 1; }
out=$(run "$@" "") && { echo "connected without AcceptNewerServers: $out"; exit 1; }
grep -q '^connect failed (0x2000): The Vornex Driver has not been tested with this server version \[PostgreSQL ' \
  <<<"$out" || { echo "$out"; exit 1; }
