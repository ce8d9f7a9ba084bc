#!/usr/bin/env bash
# Installs every package the project needs (Debian 12) and builds it with CMake into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config
          qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins libpoppler-qt6-dev
          libtiff-dev libpng-dev
          libsqlite3-dev sqlite3 googletest libgtest-dev
          fonts-dejavu-core xdg-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
