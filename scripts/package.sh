#!/usr/bin/env bash
# Installs what is missing, builds Morvane (release) into build/ and makes its
# Debian package with CPack; prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target morvane morvane-lote morvane-lote-manpage
# CPack installs into a staging folder of its own but rewrites the build's
# install manifest, which uninstalling a `cmake --install` reads: keep it.
manifest=build/install_manifest.txt
saved=$(mktemp)
had_manifest=false
if [ -e "$manifest" ]; then cp -p "$manifest" "$saved" && had_manifest=true; fi
restore() {
  if $had_manifest; then cp -p "$saved" "$manifest"; else rm -f "$manifest"; fi
  rm -f "$saved"
}
trap restore EXIT
rm -f build/package/morvane_*.deb
log=build/package/cpack.log
mkdir -p build/package
cpack --config build/CPackConfig.cmake -B build/package >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
realpath build/package/morvane_*.deb
