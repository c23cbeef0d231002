#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with. Safe to run again: it only
# calls apt-get when a package is missing, and runs apt-get update once in that case.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  qt6-base-dev libgl-dev
  libhidapi-dev libtinyxml2-dev libcurl4-openssl-dev libudev-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wqy-microhei xvfb xauth imagemagick python3-pyftpdlib
  desktop-file-utils appstream dpkg-dev shared-mime-info
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
