#!/usr/bin/env bash
# Installs, with apt-get, whichever of Morvane's build and test packages are
# missing (the image-format plugins bring GIF; JPEG, PNG, WebP and TIFF are read
# through their own libraries; the translations make Qt's own dialogs speak
# Spanish; desktop-file-utils, shared-mime-info and dpkg-dev check the
# installation and make the Debian package). Extra package names may be given as
# arguments.
set -euo pipefail
packages=(qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n libjpeg62-turbo-dev libpng-dev
  libwebp-dev libtiff-dev pkg-config libgtest-dev libbenchmark-dev cmake ninja-build g++
  desktop-file-utils shared-mime-info dpkg-dev
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
