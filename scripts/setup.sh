#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          libqscintilla2-qt6-dev
          libsqlite3-dev sqlite3 libgtest-dev xvfb xauth
          fonts-dejavu-core
          rapidjson-dev libyaml-cpp-dev libtomlplusplus-dev libdtl-dev libgit2-dev libdeflate-dev
          desktop-file-utils appstream lintian man-db file dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
