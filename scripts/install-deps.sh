#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Varnex.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-serialport-dev qt6-svg-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  libboost-math-dev libfftw3-dev
  libmicrohttpd-dev prometheus prometheus-alertmanager prometheus-node-exporter
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libgl-dev libxkbcommon-dev
  fonts-dejavu-core fontconfig
  xvfb xauth
  clang libclang-rt-dev
  dpkg-dev file desktop-file-utils appstream man-db
  ser2net
  lintian dbus-daemon systemd
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
