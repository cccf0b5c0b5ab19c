#!/usr/bin/env bash
# The main job: installs what is missing, builds what it runs, starts a throwaway PostgreSQL
# server, loads a small sample schema, runs a scripted session through vnxsql (the 32-bit
# SQL shell, under qemu-i386) that shows queries, parameters, a transaction, BLOBs and
# metadata, and stops the server.
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
tests/server/pgcluster.sh start "$state"
# shellcheck disable=SC1091
. "$state/env"
# The sample schema belongs to the role the shell connects as.
/usr/lib/postgresql/15/bin/psql -X -q -v ON_ERROR_STOP=1 -h "$VNX_PGHOST" -p "$VNX_PGPORT" -U vnx83 \
  -d "$VNX_PGDATABASE" -f scripts/demo/schema.sql

server="127.0.0.1:$VNX_PGPORT/$VNX_PGDATABASE"
vnxsql() { qemu-i386 "$tree/tools/vnxsql/vnxsql" -e -U vnx83 "$server" "$@" 2>&1; }
section() { printf '\n======== %s ========\n\n' "$1"; }

section "vnxsql $server, 32-bit, loading $tree/libdbexpvnx.so"
echo "Every value below is read with the getter its column type selects: getLong, getShort,"
echo "getDouble, getBcd (exact decimals), getString, getDate, getTime, getTimeStamp, getBlob."

section "Queries"
vnxsql -c "select id, name, price, weight, in_stock, added from products order by id;" \
       -c "select id, product_id, customer, placed, pickup, quantity, total_cents from orders order by id;"

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

section "Metadata: tables, columns, indices, a function and its parameters, column descriptions"
vnxsql -c '\dt public.%' -c '\d products' -c '\di orders' -c '\df order_total' \
       -c '\describe select * from orders'

section "Errors: printed with their code and text; the session goes on, and the exit status tells"
vnxsql -c "select * from no_such_table;" -c "select count(*) as orders from orders;" \
  || echo "(vnxsql exit status $?)"

section "The trace (-v): what the driver reports, with its category"
vnxsql -v -c "select current_user as who;"

section "Done"
echo "Try it yourself: $tree/tools/vnxsql/vnxsql --help (run it with qemu-i386)."
