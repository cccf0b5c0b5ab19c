#!/usr/bin/env bash
# A production set-up on one machine, for the connection tests: a local certificate authority,
# a primary with TLS and SCRAM, a streaming hot standby, pgbouncer and pgpool-II, all on
# 127.0.0.1 at free ports.
#
#   topology.sh start STATE_DIR     start everything; writes STATE_DIR/env (KEY=VALUE lines)
#   topology.sh promote STATE_DIR   stop the primary at once and promote the standby
#   topology.sh stop STATE_DIR      stop what "start" started and remove its files
#
# Roles, all with the password VNX_TOPO_PASSWORD but the last: vnx_app (SCRAM, with or
# without TLS), vnx_tls (SCRAM over TLS only), vnx_plain (SCRAM without TLS only), vnx_cert
# (its client certificate, over TLS only). Database vnxtopo, owned by vnx_app, whose own
# DateStyle is 'SQL, DMY', so that a session that never set it reads dates as 05/03/2024.
# pgbouncer pools vnxtopo per transaction and vnxtopo_session per session; pgpool-II spreads
# sessions over primary and standby. A libpq service file names the primary with verify-full.
set -euo pipefail

cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|promote|stop STATE_DIR" >&2; exit 2; }
pgbin=/usr/lib/postgresql/15/bin
password=topo-secret-1

as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/sh -c "$(printf '%q ' "$@")"; else "$@"; fi
}
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
sql() { "$pgbin/psql" -X -q -At -v ON_ERROR_STOP=1 "$@"; }
# Waits up to 10 s for a server or pooler to answer the connection string $1.
answers() {
  for _ in $(seq 100); do PGPASSWORD=$password sql "$1" -c 'select 1' >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
# Runs "$@" with $port set to a free port, trying another when someone took it first.
on_free_port() {
  for _ in 1 2 3 4 5; do
    port=$(( 20000 + RANDOM % 30000 ))
    if ! port_in_use "$port" && "$@"; then return 0; fi
  done
  echo "topology: $1 did not start" >&2
  return 1
}
pid_of() { head -n1 "$1" | tr -dc 0-9; }

# Ends the process of a pid file with signal $2 while it is ours: its command line names our
# directory $3. That also tells a pid gone to another process since a run that died, and an
# exited process left unreaped (a zombie's command line is empty).
end_process() {
  local pid
  pid=$(pid_of "$1" 2>/dev/null) || return 0
  grep -qsF "$3" "/proc/$pid/cmdline" || return 0
  kill "-$2" "$pid" 2>/dev/null || true
  for _ in $(seq 50); do grep -qsF "$3" "/proc/$pid/cmdline" || return 0; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
}

stop() {
  [ -f "$state/env" ] || return 0
  # shellcheck disable=SC1091
  . "$state/env"
  local tmp=${VNX_TOPO_TMP:-} d
  case "$tmp" in /tmp/vnxtopo.*) ;; *) rm -f "$state/env"; return 0 ;; esac
  end_process "$tmp/pgpool/pgpool.pid" QUIT "$tmp"  # immediate shutdown
  end_process "$tmp/pgbouncer/pgbouncer.pid" TERM "$tmp"
  for d in "$tmp/standby" "$tmp/primary"; do
    [ ! -f "$d/postmaster.pid" ] || as_postgres "$pgbin/pg_ctl" -D "$d" -m immediate -w stop >/dev/null 2>&1 || true
  done
  rm -rf "$tmp" "$state/env"
}

certificates() {
  local t=$tmp/tls ca
  mkdir "$t"
  ossl() { openssl "$@" 2>>"$t/openssl.log"; }
  for ca in ca wrong-ca; do  # the second one signed nothing here: a client that trusts it must refuse
    ossl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=vnx-test-$ca" -keyout "$t/$ca.key" -out "$t/$ca.crt"
  done
  sign() {  # name, subject, extension
    ossl req -new -newkey rsa:2048 -nodes -subj "$2" -keyout "$t/$1.key" -out "$t/$1.csr"
    ossl x509 -req -in "$t/$1.csr" -CA "$t/ca.crt" -CAkey "$t/ca.key" -set_serial "$RANDOM" -days 30 \
      -extfile <(echo "$3") -out "$t/$1.crt"
  }
  sign server /CN=localhost subjectAltName=DNS:localhost,IP:127.0.0.1
  sign client /CN=vnx_cert extendedKeyUsage=clientAuth
  chmod 600 "$t"/*.key
  [ "$(id -u)" -ne 0 ] || chown postgres "$t/server.key"
}

start_server() {  # data directory name; its port in $port
  echo "port = $port" >>"$tmp/$1/postgresql.conf"
  as_postgres "$pgbin/pg_ctl" -D "$tmp/$1" -l "$tmp/$1.log" -w -t 30 start >/dev/null 2>&1
}

# Transaction pooling on two server connections, so that what one client leaves on a server
# connection is soon seen by another. A client waits at most 15 s for a server connection.
# Of the start-up parameters pgbouncer does not track it lets through only
# extra_float_digits, which it drops, as most installations do; "options" is refused.
start_bouncer() {
  local b=$tmp/pgbouncer
  cat >"$b/pgbouncer.ini" <<INI
[databases]
vnxtopo = host=127.0.0.1 port=$primary_port dbname=vnxtopo
vnxtopo_session = host=127.0.0.1 port=$primary_port dbname=vnxtopo pool_mode=session
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir =
auth_type = scram-sha-256
auth_file = $b/userlist.txt
pidfile = $b/pgbouncer.pid
logfile = $b/pgbouncer.log
pool_mode = transaction
default_pool_size = 2
query_wait_timeout = 15
ignore_startup_parameters = extra_float_digits
INI
  as_postgres /usr/sbin/pgbouncer -d -q "$b/pgbouncer.ini" && answers "host=127.0.0.1 port=$port dbname=vnxtopo user=vnx_app"
}

# One child process per client: past 15 at once a client is refused, not kept waiting. Nodes
# never fail over on their own (a test that stops or pauses a server would leave pgpool with
# one node for the tests after it); sessions named vnx_to_standby read from the standby.
start_pgpool() {
  local p=$tmp/pgpool n ports=("$primary_port" "$standby_port")
  cat >"$p/pgpool.conf" <<CONF
backend_clustering_mode = 'streaming_replication'
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$p'
pcp_listen_addresses = ''
pcp_socket_dir = '$p'
pid_file_name = '$p/pgpool.pid'
logdir = '$p'
logging_collector = on
log_directory = '$p'
num_init_children = 16
reserved_connections = 1
load_balance_mode = on
app_name_redirect_preference_list = 'vnx_to_standby:standby'
sr_check_user = 'postgres'
failover_on_backend_error = off
CONF
  for n in 0 1; do
    printf 'backend_%s%s = %s\n' hostname $n "'127.0.0.1'" port $n "${ports[n]}" weight $n 1 \
      flag $n "'DISALLOW_TO_FAILOVER'"
  done >>"$p/pgpool.conf"
  as_postgres /usr/sbin/pgpool -f "$p/pgpool.conf" -F "$p/pcp.conf" -a "$p/pool_hba.conf" \
    && answers "host=127.0.0.1 port=$port dbname=vnxtopo user=vnx_app"
}

start() {
  for tool in openssl /usr/sbin/pgbouncer /usr/sbin/pgpool; do
    command -v "$tool" >/dev/null || { echo "topology: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  done
  mkdir -p "$state"
  stop
  tmp=$(mktemp -d /tmp/vnxtopo.XXXXXX)
  chmod 755 "$tmp"
  echo "VNX_TOPO_TMP=$tmp" >"$state/env"
  # From here on every way out but success shows the logs' ends and stops what has started.
  trap 'tail -n 5 "$tmp"/*.log "$tmp"/pg*/*.log >&2 2>/dev/null || true; stop' EXIT
  trap 'exit 1' INT TERM HUP
  certificates
  mkdir "$tmp/pgbouncer" "$tmp/pgpool"
  [ "$(id -u)" -ne 0 ] || chown postgres "$tmp" "$tmp/pgbouncer" "$tmp/pgpool"

  as_postgres "$pgbin/initdb" -D "$tmp/primary" -U postgres -A trust -E UTF8 --locale=C >"$tmp/initdb.log" 2>&1 \
    || { cat "$tmp/initdb.log" >&2; exit 1; }
  cat >"$tmp/primary/pg_hba.conf" <<'HBA'
local all all trust
hostssl all vnx_cert 127.0.0.1/32 cert
hostssl all vnx_tls 127.0.0.1/32 scram-sha-256
hostnossl all vnx_plain 127.0.0.1/32 scram-sha-256
host all vnx_app 127.0.0.1/32 scram-sha-256
host all postgres 127.0.0.1/32 trust
host replication postgres 127.0.0.1/32 trust
HBA
  cat >>"$tmp/primary/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$tmp'
max_connections = 80
fsync = off
synchronous_commit = off
full_page_writes = off
wal_level = replica
password_encryption = 'scram-sha-256'
ssl = on
ssl_cert_file = '$tmp/tls/server.crt'
ssl_key_file = '$tmp/tls/server.key'
ssl_ca_file = '$tmp/tls/ca.crt'
CONF
  on_free_port start_server primary
  primary_port=$port
  sql -h "$tmp" -p "$primary_port" -U postgres -d postgres <<SQL
create role vnx_app login password '$password';
create role vnx_tls login password '$password';
create role vnx_plain login password '$password';
create role vnx_cert login;
create database vnxtopo owner vnx_app;
alter database vnxtopo set datestyle = 'SQL, DMY';
SQL
  as_postgres "$pgbin/pg_basebackup" -D "$tmp/standby" -R -c fast -h 127.0.0.1 -p "$primary_port" -U postgres
  on_free_port start_server standby
  standby_port=$port

  echo "\"vnx_app\" \"$password\"" >"$tmp/pgbouncer/userlist.txt"
  on_free_port start_bouncer
  bouncer_port=$port
  echo "vnx_app:TEXT$password" >"$tmp/pgpool/pool_passwd"
  touch "$tmp/pgpool/pcp.conf" "$tmp/pgpool/pool_hba.conf"
  on_free_port start_pgpool
  pgpool_port=$port

  printf '[vnx_topo]\nhost=localhost\nport=%s\ndbname=vnxtopo\nuser=vnx_tls\npassfile=%s\nsslmode=verify-full\nsslrootcert=%s\n' \
    "$primary_port" "$tmp/pgpass" "$tmp/tls/ca.crt" >"$tmp/pg_service.conf"
  echo "*:*:*:*:$password" >"$tmp/pgpass"
  chmod 600 "$tmp/pgpass"
  local kv
  for kv in PGBIN="$pgbin" PRIMARY_DATA="$tmp/primary" STANDBY_DATA="$tmp/standby" PRIMARY_PORT="$primary_port" \
    STANDBY_PORT="$standby_port" BOUNCER_PORT="$bouncer_port" PGPOOL_PORT="$pgpool_port" DATABASE=vnxtopo \
    BOUNCER_SESSION_DATABASE=vnxtopo_session PGPOOL_STANDBY_APPNAME=vnx_to_standby USER=vnx_app TLS_USER=vnx_tls \
    PLAIN_USER=vnx_plain CERT_USER=vnx_cert PASSWORD="$password" CA="$tmp/tls/ca.crt" WRONG_CA="$tmp/tls/wrong-ca.crt" \
    CLIENT_CERT="$tmp/tls/client.crt" CLIENT_KEY="$tmp/tls/client.key" SERVICEFILE="$tmp/pg_service.conf" \
    SERVICE=vnx_topo PASSFILE="$tmp/pgpass"; do
    echo "VNX_TOPO_$kv"
  done >>"$state/env"
  trap - EXIT INT TERM HUP
  echo "topology: primary $primary_port, standby $standby_port, pgbouncer $bouncer_port, pgpool $pgpool_port"
}

promote() {
  # shellcheck disable=SC1091
  . "$state/env"
  as_postgres "$pgbin/pg_ctl" -D "$VNX_TOPO_PRIMARY_DATA" -m immediate -w stop >/dev/null
  as_postgres "$pgbin/pg_ctl" -D "$VNX_TOPO_STANDBY_DATA" -w -t 30 promote >/dev/null
  [ "$(sql -h 127.0.0.1 -p "$VNX_TOPO_STANDBY_PORT" -U postgres -d postgres \
       -c 'select pg_is_in_recovery()')" = f ] || { echo "topology: the standby is still read-only" >&2; exit 1; }
}

case "$cmd" in
  start) start ;;
  promote) promote ;;
  stop) stop ;;
  *) echo "usage: $0 start|promote|stop STATE_DIR" >&2; exit 2 ;;
esac
