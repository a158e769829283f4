#!/bin/sh
# Installs the Debian packages TIK needs to build, test and run; does nothing when all are present.
set -e
PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev portaudio19-dev libasound2-dev \
libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core fonts-dejavu-extra clang libclang-rt-14-dev \
alsa-utils xvfb xauth libeigen3-dev libpugixml-dev nlohmann-json3-dev desktop-file-utils appstream shared-mime-info man-db groff-base"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -z "$missing" ]; then
  exit 0
fi
echo "Installing:$missing"
SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
