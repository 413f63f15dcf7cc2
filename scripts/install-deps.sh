#!/bin/sh
# Installs the Debian packages the build, the program and the tests need, when
# any is missing. Uses sudo when not run as root.
set -eu
pkgs="build-essential cmake pkg-config zlib1g-dev libssl-dev libgtest-dev libgmock-dev
  libbenchmark-dev qt6-base-dev mariadb-server mariadb-client xvfb xdotool imagemagick
  python3-pyftpdlib vsftpd p7zip-full libarchive-tools unzip zip clang libclang-rt-14-dev
  curl iproute2 time clang-format"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends $missing </dev/null
