#!/usr/bin/env bash
# Debian 11's (bullseye) i386 C library, its development files and its libpq 13, unpacked
# into a folder of their own; nothing is installed.
#
#   bullseye-root.sh DIR
#
# The i386 tree compiles and links the shipped binaries against it (glibc 2.31, where every
# symbol they use has a version of 2.17 or older), and its live test runs vnxsql on it under
# qemu-i386 -L DIR. The packages are the final ones of bullseye's main suite, fetched by
# their pool paths and checked against their SHA-256 with apt's own downloader (no curl,
# nothing of the system's apt state touched). VNX_DEBIAN_MIRRORS overrides where from.
# Safe to run again, and from two builds at once: it does nothing once DIR is complete.
set -euo pipefail

dir=${1:-}
[ -n "$dir" ] || { echo "usage: $0 DIR" >&2; exit 2; }
mirrors=${VNX_DEBIAN_MIRRORS:-http://deb.debian.org/debian http://archive.debian.org/debian}

# The C library and its headers (with the kernel's), libgcc_s, and libpq with every library
# it loads.
packages='
g/glibc/libc6_2.31-13+deb11u11_i386.deb 8198abd817cbcd615ce3207fb924317b53cc0b522bfe57d689757de13fe00d66
g/glibc/libc6-dev_2.31-13+deb11u11_i386.deb 7d10b944894d2b6ccab08ccf51aae6cef6c5f5773f36696e6d9f34c21e0365b4
l/linux/linux-libc-dev_5.10.223-1_i386.deb e57d6065a43e763e54a0a80afd66fa2371bcdc3b035f9f4463816e9c6fc26049
g/gcc-10/libgcc-s1_10.2.1-6_i386.deb 0a52edec5d626f8d9acf1998248d276760aff3950f44a308d27d4a2a488fe18d
p/postgresql-13/libpq5_13.16-0+deb11u1_i386.deb 1729bf417098cf24042b68393511076222849bd1ca4a9d3a2170f192a85a5090
o/openssl/libssl1.1_1.1.1w-0+deb11u1_i386.deb 8ce2c3fde828251f77332aa7458df91ec0c3fff99d75c11aba6a18692dadbfb9
k/krb5/libgssapi-krb5-2_1.18.3-6+deb11u5_i386.deb e09d9ea43c808912d04df100e2320f7e082276aa237eec875c836f44b35567fe
k/krb5/libkrb5-3_1.18.3-6+deb11u5_i386.deb 3a1ba7143428f4670f7d01524486f949eb867794cda5f1cc79124d077584d7ea
k/krb5/libk5crypto3_1.18.3-6+deb11u5_i386.deb 293dab1d349f761ffc74c39b27f308c962456ee1eeb523fbc03c793a12abba22
k/krb5/libkrb5support0_1.18.3-6+deb11u5_i386.deb d29cc409b365aedc4bad27b5bee9a83e4e462452b3835206b5e8fdfdfc4cbeac
e/e2fsprogs/libcom-err2_1.46.2-2_i386.deb 2d15b4b4f4a0cbd925c45f707fe5b446eabe4251e2c2db0eb37ba58458838e59
k/keyutils/libkeyutils1_1.6.1-2_i386.deb 2b9d2e9fcb3e0910a2bc767bd58c50741b1f56c5b5a38a1f1d4e2fc4e696d6d3
o/openldap/libldap-2.4-2_2.4.57+dfsg-3+deb11u1_i386.deb 57fb9c537059cfcde023e6b3ad1c4dd7ed7d7f54a0aba2c4f3d1390b90c944ab
c/cyrus-sasl2/libsasl2-2_2.1.27+dfsg-2.1+deb11u1_i386.deb e24c221e4102b47c0ac9a24198f5088ec7a46c453ff748609fb87ed3aba393d7
g/gnutls28/libgnutls30_3.7.1-5+deb11u5_i386.deb 413c01492f2c77c53582b124e4f8b7ac3b6504905f2961a107c4891053ec3591
n/nettle/libhogweed6_3.7.3-1_i386.deb a29b294d87481ac2253021059ce4b3b57fd6436b47ce8a5ad092e403a583efea
n/nettle/libnettle8_3.7.3-1_i386.deb 442c0f3bb252abd1dc0d2104d5210da5b1d1a46984136705bdac188e2e9ce995
g/gmp/libgmp10_6.2.1+dfsg-1+deb11u1_i386.deb e994f69da51943872e79ef22ab2d13638ec51cbaad1768bd0c94a71594b96f81
libi/libidn2/libidn2-0_2.3.0-5_i386.deb 6df84c347ad345da97eedd93cc881c48adf39d14f412b46a2121bc0ce593710e
libu/libunistring/libunistring2_0.9.10-4_i386.deb 7a6bee28f99c4b8f586edb20ce66434d679f6d51278f5a2b39bfb62a7f770ae8
p/p11-kit/libp11-kit0_0.23.22-1_i386.deb c752e4216c77c4431c740b203d62d1f8301376f8ea13e8b420b246ba3f977872
libf/libffi/libffi7_3.3-6_i386.deb 5a0648df38b9b4228f25de2d7c28288a4743425bcb1a907398200b1a5a73a7af
libt/libtasn1-6/libtasn1-6_4.16.0-2+deb11u1_i386.deb 0d4f6cb12b0d0a796dcf4f936f4e8f780865059ac51a4e50d5758fc24d17c392
'
stamp=$(sha256sum <"$0" | cut -c1-16)  # any change here makes the folder anew

mkdir -p "$(dirname "$dir")"
exec 9>"$dir.lock"
flock 9
[ "$(cat "$dir/.complete" 2>/dev/null)" = "$stamp" ] && exit 0

work=$(mktemp -d "$dir.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
fetched=""
for mirror in $mirrors; do
  args=()
  while read -r path sum; do
    [ -n "$path" ] && args+=("$mirror/pool/main/$path" "$work/${path##*/}" "SHA256:$sum")
  done <<<"$packages"
  echo "bullseye-root: fetching Debian 11's i386 C library and libpq 13 from $mirror" >&2
  if /usr/lib/apt/apt-helper -o APT::Sandbox::User="$(id -un)" download-file "${args[@]}" >/dev/null; then
    fetched=1
    break
  fi
done
[ -n "$fetched" ] || { echo "bullseye-root: the packages could not be fetched" >&2; exit 1; }

mkdir "$work/root"
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/root"; done
# /lib merged into /usr/lib, as on the running system: qemu-i386 -L looks a file up in the
# folder first and on the system after, and the loader tries /lib before /usr/lib, so an
# unmerged folder would lend it the system's libraries found under /lib.
cp -a "$work/root/lib/." "$work/root/usr/lib/"
rm -rf "$work/root/lib"
ln -s usr/lib "$work/root/lib"
# The development links point at /lib/...: made relative, they stay inside the folder
# instead of reaching the running system's libraries.
find "$work/root" -type l -lname '/*' | while read -r link; do
  ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$work/root$(readlink "$link")")" "$link"
done
# An empty loader cache: under qemu-i386 -L the loader searches its own folders instead of
# reading the running system's cache.
mkdir -p "$work/root/etc"
: >"$work/root/etc/ld.so.cache"
echo "$stamp" >"$work/root/.complete"
rm -rf "$dir"
mv "$work/root" "$dir"
