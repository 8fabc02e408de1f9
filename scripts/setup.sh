#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velmora needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6printsupport6 libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools gstreamer1.0-alsa gstreamer1.0-pulseaudio
  libcurl4-openssl-dev libjpeg62-turbo-dev libjpeg-turbo-progs libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pyftpdlib python3-openssl openssh-server openssl
  xvfb xauth clang libclang-rt-14-dev clang-format clang-tidy fonts-dejavu-core gcovr
  dpkg-dev desktop-file-utils appstream man-db systemd lintian
  pipewire wireplumber gstreamer1.0-pipewire dbus-x11
  gir1.2-gst-rtsp-server-1.0 python3-gi
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
