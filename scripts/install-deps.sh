#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need. Idempotent: packages
# already present are left alone, and apt is only asked when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
    libavdevice-dev ffmpeg-doc
    libsdl2-dev libdvdread-dev libdvdnav-dev libsimpleini-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dvdauthor genisoimage zzuf xvfb xauth
    desktop-file-utils appstream
    dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0 imagemagick
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

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
