#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests.
#
#   pgcluster.sh start STATE_DIR [plain MAJOR]
#       initdb, start, load the test roles (and, unless plain, the compatibility shim);
#       writes STATE_DIR/env (sourceable KEY=VALUE lines)
#   pgcluster.sh stop STATE_DIR    stop the server started by "start" and remove its files
#
# The server listens on a unix socket in a fresh temporary directory and on 127.0.0.1 at a
# free port.
#
# Disguised (the default): Debian's server 15, which the driver refuses unless told to
# accept newer servers; each test role gets a search path that puts the "compat" schema
# first, whose version() tells the text set for that role, and the settings of an 8.x
# server, so the driver sees the old server it expects.
# Plain: the server of major version MAJOR (10 to 18, see pgbinaries.sh) as users run it,
# with its defaults; the ordinary test role keeps its name (vnx83) but nothing else.
set -euo pipefail

cmd=${1:-}
state=${2:-}
mode=${3:-disguised}
major=${4:-15}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE_DIR [plain MAJOR]" >&2; exit 2; }
case "$mode" in
  disguised) major=15 ;;
  plain) ;;
  *) echo "usage: $0 start|stop STATE_DIR [plain MAJOR]" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
if [ -n "${VNX_PGBIN:-}" ]; then
  pgbin=$VNX_PGBIN
elif [ "$cmd" = start ]; then
  pgbin=$("$here/pgbinaries.sh" "$major")
fi
psql=/usr/lib/postgresql/15/bin/psql  # Debian's client talks to every server of the matrix

as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    su postgres -s /bin/sh -c "$(printf '%q ' "$@")"
  else
    "$@"
  fi
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

stop() {
  [ -f "$state/env" ] || return 0
  # shellcheck disable=SC1091
  . "$state/env"
  if [ -n "${VNX_PGDATA:-}" ] && [ -f "$VNX_PGDATA/postmaster.pid" ]; then
    as_postgres "${VNX_PGBIN_USED:-/usr/lib/postgresql/15/bin}/pg_ctl" -D "$VNX_PGDATA" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  case "${VNX_PGTMP:-}" in
    /tmp/vnxpg.*) rm -rf "$VNX_PGTMP" ;;
  esac
  rm -f "$state/env"
}

# The compatibility shim and the roles that make Debian's 15 present itself as older
# servers.
disguise() {
  psql_admin -d vnxtest <<'SQL'
set client_min_messages = warning;
-- What an 8.x catalogue offered and 15 no longer does.
create schema compat;
grant usage on schema compat to public;
create function compat.version() returns text language sql stable as $$
  select coalesce(nullif(current_setting('compat.version', true), ''),
                  'PostgreSQL 8.3.23 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.1.2')
$$;
create view compat.pg_attrdef as
  select d.*, pg_catalog.pg_get_expr(d.adbin, d.adrelid) as adsrc from pg_catalog.pg_attrdef d;
-- Attribute -2 was the row oid before 12; now it is xmin, found in every table.
create view compat.pg_attribute as
  select attrelid, attname, atttypid, attstattarget, attlen, attnum, attndims, attcacheoff,
         atttypmod, attbyval, attalign, attstorage, attcompression, attnotnull, atthasdef,
         atthasmissing, attidentity, attgenerated, attisdropped, attislocal, attinhcount,
         attcollation, attacl, attoptions, attfdwoptions
  from pg_catalog.pg_attribute where attnum <> -2;
grant select on compat.pg_attrdef, compat.pg_attribute to public;
SQL

  # One role per server version text the tests need.
  role() {  # name, version text, extra role options
    local name=$1 version=$2 extra=${3:-}
    psql_admin -d postgres <<SQL
create role $name login $extra;
alter role $name set search_path = compat, pg_catalog, public;
alter role $name set compat.version = '$version';
alter role $name set standard_conforming_strings = off;
alter role $name set bytea_output = escape;
alter role $name set escape_string_warning = off;
grant all on database vnxtest to $name;
SQL
  }
  role vnx83 'PostgreSQL 8.3.23 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.1.2 20061115' 'createdb'
  role vnx71 'PostgreSQL 7.1.3 on i686-pc-linux-gnu, compiled by GCC 2.96'
  role vnx70 'PostgreSQL 7.0.3 on i686-pc-linux-gnu, compiled by gcc egcs-2.91.66'
  role vnx84 'PostgreSQL 8.4.0 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.3.2'
  role vnxedb 'EnterpriseDB 8.3.0.12 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.1.2 20070626'
  role vnxunk 'Ingres 9.2.0 on i686-pc-linux-gnu'
  # The concurrency test's own role: its backends are counted when it ends.
  role vnx_stress 'PostgreSQL 8.3.23 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.1.2 20061115'
  # A password with a blank and a single quote, checked with scram over TCP.
  role vnx_scram 'PostgreSQL 8.3.23 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.1.2 20061115' \
    "password 'p w''d'"
}

start() {
  mkdir -p "$state"
  stop
  tmp=$(mktemp -d /tmp/vnxpg.XXXXXX)
  chmod 755 "$tmp"
  [ "$(id -u)" -eq 0 ] && chown postgres "$tmp"
  data="$tmp/data"
  if [ "$(id -u)" -eq 0 ] && ! su postgres -s /bin/sh -c "test -x '$pgbin/postgres'"; then
    # The cache lies where the server's own user cannot reach (a checkout under /root):
    # the server runs from a copy beside its data.
    cp -a "$pgbin/.." "$tmp/server"
    pgbin="$tmp/server/bin"
  fi

  as_postgres "$pgbin/initdb" -D "$data" -U postgres -A trust -E UTF8 --locale=C >"$tmp/initdb.log" 2>&1 \
    || { cat "$tmp/initdb.log" >&2; exit 1; }

  cat >"$data/pg_hba.conf" <<'HBA'
local all all trust
host all vnx_scram 127.0.0.1/32 scram-sha-256
host all vnx_scram ::1/128 scram-sha-256
host all all 127.0.0.1/32 trust
host all all ::1/128 trust
HBA

  local port started=""
  for _ in $(seq 1 20); do
    port=$(( 20000 + RANDOM % 30000 ))
    port_in_use "$port" && continue
    cat >>"$data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$tmp'
max_connections = 60
fsync = off
synchronous_commit = off
full_page_writes = off
password_encryption = 'scram-sha-256'
CONF
    if as_postgres "$pgbin/pg_ctl" -D "$data" -l "$tmp/server.log" -w -t 30 start >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  [ -n "$started" ] || { cat "$tmp/server.log" >&2 || true; rm -rf "$tmp"; exit 1; }

  # From here on a failure must not leave the server running.
  trap 'stop' ERR
  cat >"$state/env" <<ENV
VNX_PGTMP=$tmp
VNX_PGDATA=$data
VNX_PGHOST=$tmp
VNX_PGPORT=$port
VNX_PGDATABASE=vnxtest
VNX_PGBIN_USED=$pgbin
VNX_PGMODE=$mode
VNX_PGMAJOR=$major
ENV

  psql_admin() { "$psql" -X -q -v ON_ERROR_STOP=1 -h "$tmp" -p "$port" -U postgres "$@"; }
  psql_admin -d postgres -c "create database vnxtest"
  psql_admin -d vnxtest <<'SQL'
set client_min_messages = warning;
grant create on schema public to public;

-- A base type named "lo" holding large-object identifiers (a domain would report oid).
create type public.lo;
create function public.lo_in(cstring) returns public.lo as 'oidin' language internal immutable strict;
create function public.lo_out(public.lo) returns cstring as 'oidout' language internal immutable strict;
create type public.lo (input = public.lo_in, output = public.lo_out, internallength = 4,
                       passedbyvalue, alignment = int4);
create cast (oid as public.lo) without function as implicit;
create cast (public.lo as oid) without function as implicit;
SQL

  if [ "$mode" = plain ]; then
    psql_admin -d postgres <<'SQL'
create role vnx83 login createdb;
grant all on database vnxtest to vnx83;
create role vnx_stress login;
grant all on database vnxtest to vnx_stress;
-- A password with a blank and a single quote, checked with scram over TCP.
create role vnx_scram login password 'p w''d';
SQL
  else
    disguise
  fi
  # What the tests compare with: the server's own version text.
  echo "VNX_PGVERSION=$(psql_admin -d postgres -A -t -c 'show server_version' | awk '{print $1}')" >>"$state/env"
  trap - ERR
  echo "pgcluster: started on port $port, socket directory $tmp"
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR [plain MAJOR]" >&2; exit 2 ;;
esac
