#!/usr/bin/env bash
# Every vnxsql example of the user's guide and every Database= entry of the guide and the
# registration samples, run against the test server as written (only the port and socket
# directory are the test server's): a name with AcceptNewerServers=True works, one without
# meets the refusal and the line naming the option.
#
#   guide_examples_test.sh SOURCE_DIR VNXSQL [EMULATOR]      (VNX_PGENV names the server)
set -uo pipefail
src=$1 vnxsql=$2 emulator=${3:-}
# shellcheck disable=SC1090
. "$VNX_PGENV"
status=0
while IFS= read -r args; do
  args=${args//localhost:5432/localhost:$VNX_PGPORT}
  out=$(eval "$emulator \"\$vnxsql\" $args" 2>&1 </dev/null)
  rc=$?
  case "$args:$rc" in
    *AcceptNewerServers=True*:0) ;;
    *AcceptNewerServers=True*) echo "failed ($rc): vnxsql $args"$'\n'"$out"; status=1 ;;
    *:2) grep -q 'add AcceptNewerServers=True' <<<"$out" || { echo "no hint: vnxsql $args"$'\n'"$out"; status=1; } ;;
    *) echo "not refused ($rc): vnxsql $args"$'\n'"$out"; status=1 ;;
  esac
done < <(sed -n 's/^    vnxsql //p' "$src/docs/guide.md"
         sed -n 's/^\(    \)\{0,1\}Database=\(.*\)/-U postgres \2 -c "select 1;"/p' "$src/docs/guide.md" "$src"/packaging/examples/*.ini)
exit $status
