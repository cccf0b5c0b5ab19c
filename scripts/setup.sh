#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine needs. Safe to run again: it only installs what is
# missing.
#
#   setup.sh              everything to build and test the driver and to make its package,
#                         with the poolers and openssl of the production-topology tests
#   setup.sh demo         only what scripts/demo.sh needs: the next line's packages, and
#                         qemu-user, the i386 libpq and the server
#   setup.sh demo-build   only what compiling the demo needs: the 32-bit compiler, make,
#                         cmake, the libpq headers and msgfmt
set -euo pipefail

packages=(make cmake g++-multilib libpq-dev gettext)
profile=${1:-all}
case "$profile" in
  demo-build) ;;
  demo) packages+=(libpq5:i386 qemu-user postgresql-15) ;;
  all) packages+=(libpq5:i386 qemu-user postgresql-15
                  build-essential googletest locales file binutils lintian
                  clang libclang-rt-14-dev openssl pgbouncer pgpool2) ;;
  *) echo "usage: $0 [demo|demo-build]" >&2; exit 2 ;;
esac
# npm fetches the servers of other major versions for the plain-server tests; a machine with
# a Node.js of its own already has it.
if [ "$profile" = all ] && ! command -v npm >/dev/null; then packages+=(npm); fi

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# The tests need it; the demo does not.
locale_missing() { [ "$profile" = all ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; }

if [ "$(id -u)" -ne 0 ]; then
  if [ -z "$(missing_packages)" ] && ! locale_missing; then exit 0; fi
  echo "setup.sh: installing needs root; missing: $(missing_packages | tr '\n' ' ')$(locale_missing && echo 'locale de_DE.UTF-8')" >&2
  exit 1
fi

# A locale whose decimal separator is a comma, for the locale-independence tests, which fail
# without it. Made first, before the multiarch installation below can end the script.
if locale_missing; then
  if ! command -v locale-gen >/dev/null; then
    apt-get update -qq || echo "setup.sh: some package indexes could not be fetched" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends locales
  fi
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

mapfile -t missing < <(missing_packages)

# The i386 libraries must have the very version of their amd64 twins. When a mirror serves
# one architecture's index of a suite and not the other's (seen with bookworm-security while
# the mirror was syncing), the amd64 candidate runs ahead and apt finds no solution. The
# second try installs from the other suites alone, whose two indexes agree.
install_missing() {
  apt-get install -y -qq --no-remove --no-install-recommends "$@" && return 0
  echo "setup.sh: retrying without the security suite, whose indexes disagree" >&2
  local parts
  parts=$(mktemp -d)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" } !/debian-security/' "$f" > "$parts/$(basename "$f")"
  done
  [ -f /etc/apt/sources.list ] && grep -v debian-security /etc/apt/sources.list > "$parts/main.list"
  apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$parts" \
    install -y -qq --no-remove --no-install-recommends "$@"
  rm -rf "$parts"
}

update() { apt-get update -qq || echo "setup.sh: some package indexes could not be fetched" >&2; }
# Indexes fetched within the hour (by the demo's first call, say) are used as they are, and
# fetched again only if the installation fails with them.
fresh_indexes() {
  [ -z "${need_update:-}" ] &&
    [ -n "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -60 -print -quit 2>/dev/null)" ]
}

# Installing a server or pooler starts its system service on the default port, where it would
# stay: the tests run instances of their own. A policy that refuses every start keeps the
# services down; it goes again afterwards unless the machine had one already.
no_service_starts() {
  [ -e /usr/sbin/policy-rc.d ] && return 0
  printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
  chmod 755 /usr/sbin/policy-rc.d
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
}

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  no_service_starts
  if fresh_indexes; then
    install_missing "${missing[@]}" || { update; install_missing "${missing[@]}"; }
  else
    update
    install_missing "${missing[@]}"
  fi
elif [ -n "${need_update:-}" ]; then
  update
fi
