#!/usr/bin/env bash
# Installs, with apt-get, whichever of Morvane's build and test packages are
# missing (the image-format plugins bring WebP and GIF, libtiff TIFF, the translations Qt's own
# dialogs in Spanish; desktop-file-utils,
# shared-mime-info and dpkg-dev check the installation and make the Debian
# package). Extra package names may be given as arguments.
set -euo pipefail
packages=(qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n libtiff-dev libgtest-dev libbenchmark-dev
  cmake ninja-build g++ desktop-file-utils shared-mime-info dpkg-dev "$@")
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
