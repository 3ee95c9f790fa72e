#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config ccache googletest libgtest-dev libbenchmark-dev
          libicu-dev icu-devtools unixodbc unixodbc-dev odbcinst libsqliteodbc clang clang-format
          slapd ldap-utils libldap-2.5-0 libncursesw6 tmux chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  # The tests start their own slapd on a loopback port with a throw-away configuration: the
  # system's directory service is neither configured nor started by the installation.
  echo "slapd slapd/no_configuration boolean true" | $SUDO debconf-set-selections
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
