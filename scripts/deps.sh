#!/usr/bin/env bash
# Installs, with apt-get, whichever of Morvane's build and test packages are
# missing (the image-format plugins bring TIFF and WebP). Extra package names may
# be given as arguments.
set -euo pipefail
packages=(qt6-base-dev qt6-image-formats-plugins libgtest-dev libbenchmark-dev cmake ninja-build g++
  parallel "$@")  # parallel: the batch test runs the README's line for several machines
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
