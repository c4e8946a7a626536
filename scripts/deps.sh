#!/usr/bin/env bash
# Installs what Tallyfair needs to build, run and test, from Debian's
# packages. Safe to run again: it installs only what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins
  zlib1g-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth x11-utils xdotool openbox imagemagick fonts-dejavu-core
  php-cli php-cgi php-sqlite3 php-mysql mariadb-server mariadb-client curl
  openssl ca-certificates dbus-daemon
  nginx php-fpm wrk socat iproute2
  dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
