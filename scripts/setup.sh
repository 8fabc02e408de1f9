#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velmora needs, and the npm
# packages of the tests' S3 store (tests/support/s3, pinned by its package-lock.json).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."

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
  apache2 apache2-utils vsftpd python3-botocore
)
# Node.js runs the tests' S3 store. A Node.js from elsewhere (NodeSource's) brings its own npm,
# which Debian's npm package would conflict with: each is installed only when missing.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# s3rver, installed here and never while building or testing. The lock file's hash, written
# after a finished install, tells the next run that there is nothing to do.
s3=tests/support/s3
stamp=$s3/node_modules/.velmora-lock-sha256
wanted=$(sha256sum "$s3/package-lock.json" | cut -d' ' -f1)
if [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  echo "Installing the npm packages of $s3"
  (cd "$s3" && npm ci --no-audit --no-fund --loglevel=error)
  echo "$wanted" >"$stamp"
fi
