#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev libgl-dev libcurl4-openssl-dev libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libcpp-httplib-dev libcli11-dev
  xvfb xauth xdotool fonts-dejavu-core desktop-file-utils clang curl ca-certificates)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" = 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
