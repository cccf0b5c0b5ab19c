#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build and test the driver.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake g++-multilib
  libpq5:i386 libpq-dev
  qemu-user
  googletest
  postgresql-15
  gettext
  locales
  file binutils
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

if [ "$(id -u)" -ne 0 ]; then
  if [ -z "$(missing_packages)" ]; then exit 0; fi
  echo "setup.sh: packages are missing and installing them needs root: $(missing_packages | tr '\n' ' ')" >&2
  exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

mapfile -t missing < <(missing_packages)

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-remove --no-install-recommends "${missing[@]}"
elif [ -n "${need_update:-}" ]; then
  apt-get update -qq
fi

# A locale whose decimal separator is a comma, for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
