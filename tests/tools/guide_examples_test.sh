#!/usr/bin/env bash
# Every vnxsql example and Database= entry of the user's guide and the registration samples,
# as written but for the port, against the server VNX_PGENV names: with AcceptNewerServers=True
# it works; without, it meets the refusal and the line naming the option.
#   guide_examples_test.sh SOURCE_DIR VNXSQL EMULATOR
set -uo pipefail
src=$1 vnxsql=$2 emulator=$3 status=0
. "$VNX_PGENV"
while IFS= read -r args; do
  args=${args//localhost:5432/localhost:$VNX_PGPORT}
  out=$(eval "$emulator \"\$vnxsql\" $args" 2>&1 </dev/null)
  case "$args:$?" in
    *AcceptNewerServers=True*:0) ;;
    *:2) [[ $args != *AcceptNewerServers=True* && $out == *"add AcceptNewerServers=True"* ]] || status=1 ;;
    *) status=1 ;;
  esac
  [ $status = 0 ] || { echo "vnxsql $args"$'\n'"$out"; exit 1; }
done < <(sed -n 's/^    vnxsql //p' "$src/docs/guide.md"
         sed -n 's/^\(    \)\{0,1\}Database=\(.*\)/-U postgres \2 -c "select 1;"/p' "$src/docs/guide.md" "$src"/packaging/examples/*.ini)
