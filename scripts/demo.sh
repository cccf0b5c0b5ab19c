#!/usr/bin/env bash
# The main job: installs what is missing, builds what it runs, starts a throwaway PostgreSQL
# 15 server as users run it (its defaults: UTF8, standard_conforming_strings on, bytea in
# hex), loads a small sample schema, runs a scripted session through vnxsql (the 32-bit SQL
# shell, under qemu-i386, on a UTF-8 terminal) that shows queries, parameters, a
# transaction, BLOBs, metadata and a procedure called with CALL, and stops the server.
#
# VNX_DEMO_TREE=build/<tree> runs the session against an i386 tree that is already built,
# skipping the installation and the builds.
set -euo pipefail
cd "$(dirname "$0")/.."

tree=${VNX_DEMO_TREE:-}
if [ -z "$tree" ]; then
  # Only the demo's own packages, and only the i386 libraries and vnxsql: no tests. The
  # compiling starts once the compilers are in, while the server and qemu-user install.
  scripts/setup.sh demo-build
  setsid scripts/build.sh demo-compile &  # a process group of its own, ended with the script
  compiling=$!
  trap 'kill -- -$compiling 2>/dev/null || true' EXIT
  scripts/setup.sh demo
  wait $compiling
  trap - EXIT
  scripts/build.sh demo
  tree=build/i386
fi

state=$(mktemp -d)
trap 'tests/server/pgcluster.sh stop "$state" >/dev/null; rm -rf "$state"' EXIT
tests/server/pgcluster.sh start "$state" plain 15
# shellcheck disable=SC1091
. "$state/env"
psql=(/usr/lib/postgresql/15/bin/psql -X -q -v ON_ERROR_STOP=1 -h "$VNX_PGHOST" -p "$VNX_PGPORT" -d "$VNX_PGDATABASE")
"${psql[@]}" -U postgres -c "create role demo login; grant all on database $VNX_PGDATABASE to demo;"
# The sample schema belongs to the role the shell connects as.
"${psql[@]}" -U demo -f scripts/demo/schema.sql

# Today's servers are reached with AcceptNewerServers=True; a UTF-8 terminal then gets every
# text as the server has it.
server="127.0.0.1:$VNX_PGPORT/$VNX_PGDATABASE,AcceptNewerServers=True"
export LC_ALL=C.UTF-8
vnxsql() { qemu-i386 "$tree/tools/vnxsql/vnxsql" -e -U demo "$server" "$@" 2>&1; }
section() { printf '\n======== %s ========\n\n' "$1"; }

section "vnxsql $server, 32-bit, loading $tree/libdbexpvnx.so"
echo "Every value below is read with the getter its column type selects: getLong, getShort,"
echo "getDouble, getBcd (exact decimals), getString, getDate, getTime, getTimeStamp, getBlob."
vnxsql -c "select current_setting('server_version') as server, current_setting('server_encoding') as encoding;"

section "Without AcceptNewerServers the driver stays with the servers it was first made for (7.1 to 8.3)"
qemu-i386 "$tree/tools/vnxsql/vnxsql" -U demo "127.0.0.1:$VNX_PGPORT/$VNX_PGDATABASE" -c "select 1;" 2>&1 \
  || echo "(vnxsql exit status $?)"

section "Queries: an identity key, jsonb and uuid columns, text beyond Latin-1 passed through as UTF-8"
vnxsql -c "select id, name, price, weight, in_stock, added, details from products order by id;" \
       -c "select id, ref, product_id, customer, placed, pickup, quantity, total_cents from orders order by id;"

section "Parameters: typed values for the \"?\" markers, given with -p"
vnxsql -p num:10 -p bool:true \
       -c "select name, price from products where price < ? and in_stock = ?;" \
       -p int:3 -p "O'Hara" -p "ts:2024-05-08 09:30:00.25" -p null -p int2:4 -p int8:1596 \
       -c "insert into orders (product_id, customer, placed, pickup, quantity, total_cents)
             values (?, ?, ?, ?, ?, ?);" \
       -p "O'Hara" -c "select id, customer, placed, pickup, quantity, total_cents from orders where customer = ?;" \
       -p int:1 -p int:3 -c "select order_total(?, ?) as total;"

section "A transaction: \\begin, changes, \\rollback"
vnxsql -c '\begin' \
       -c "update products set price = price * 2;" \
       -c "select name, price from products order by id;" \
       -c '\rollback' \
       -c "select name, price from products order by id;"

section "BLOBs: a memo (text), a bytea and a large object, through getBlobSize and getBlob"
vnxsql -c "select name, description, picture from products order by id;" \
       -c "select id, customer, invoice from orders where invoice is not null;"

section "Metadata: tables, columns (the identity column is auto-increment), indices, a function, column descriptions"
vnxsql -c '\dt public.%' -c '\d products' -c '\di orders' -c '\df order_total' \
       -c '\describe select * from orders'

section "A procedure, called with CALL by the command's stored-procedure mode; its OUT parameters through getParameter"
vnxsql -c '\df place_order' \
       -v -p int:4 -p "Ümit" -p int2:2 -c '\call place_order' 2>&1 | grep -v "^trace [^1]"
vnxsql -c "select id, customer, quantity, total_cents from orders where customer = 'Ümit';"

section "Errors: printed with their code and text; the session goes on, and the exit status tells"
vnxsql -c "select * from no_such_table;" -c "select count(*) as orders from orders;" \
  || echo "(vnxsql exit status $?)"

section "The trace (-v): what the driver reports, with its category"
vnxsql -v -c "select current_user as who;"

section "Done"
echo "Try it yourself: $tree/tools/vnxsql/vnxsql --help (run it with qemu-i386)."
