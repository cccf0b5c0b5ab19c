#!/usr/bin/env bash
# The Debian package as a user receives it: unpacked into a scratch directory (nothing is
# installed), its files where they belong, its libraries the very files the build tested,
# the .tar.gz beside it holding the same files, and its vnxsql, with the library beside it,
# through the shell's live tests.
#
#   unpacked_package_test.sh PACKAGE BUILD_DIR TOOLS_LIVE_TEST [EMULATOR]
set -euo pipefail
deb=$1 build=$2 live_test=$3 emulator=${4:-}

root=$(mktemp -d /tmp/vnx_package.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

status=0
doc=usr/share/doc/dbexpvnx
for f in usr/lib/i386-linux-gnu/libdbexpvnx.so usr/lib/i386-linux-gnu/libdbexpvnx-ml.so usr/bin/vnxsql \
         usr/share/man/man1/vnxsql.1.gz $doc/guide.md $doc/copyright $doc/changelog.gz \
         $doc/examples/dbxdrivers.ini $doc/examples/dbxconnections.ini $doc/examples/connect_and_query.c; do
  [ -f "$root/$f" ] || { echo "missing from the package: /$f"; status=1; }
done
for lib in libdbexpvnx.so libdbexpvnx-ml.so; do
  cmp "$build/$lib" "$root/usr/lib/i386-linux-gnu/$lib" || { echo "/usr/lib/i386-linux-gnu/$lib is not the tested $build/$lib"; status=1; }
done
names() { sed 's|^\./||; s|/$||' | grep . | sort; }
diff <(dpkg-deb --fsys-tarfile "$deb" | tar -t | names) <(tar -tzf "${deb%.deb}.tar.gz" | names) \
  || { echo "the .tar.gz and the package hold different files"; status=1; }
grep -q '^Depends:.*\blibpq5\b' <(dpkg-deb -f "$deb") || { echo "the package does not depend on libpq5"; status=1; }
grep -q '^Depends: libc6 (>= 2\.17), libgcc-s1 | libgcc1,' <(dpkg-deb -f "$deb") \
  || { echo "the package does not ask for the C library the binaries are held to (2.17)"; status=1; }

VNXSQL_PROGRAM="$root/usr/bin/vnxsql" $emulator "$live_test" || status=1
exit $status
