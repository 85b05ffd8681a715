#!/usr/bin/env bash
# Installation checks, run by CTest:
#   install_test.sh files BUILD SOURCE   install into a scratch prefix and check what landed
#   install_test.sh deb BUILD SOURCE     build the Debian package and check what it unpacks
# The build's install_manifest.txt (which the README's uninstall line reads) is
# left as it was.
set -euo pipefail
mode=$1 build=$2 source=$3
scratch=$(mktemp -d)
manifest=$build/install_manifest.txt
[ -e "$manifest" ] && cp -p "$manifest" "$scratch/manifest"
restore() {
  if [ -e "$scratch/manifest" ]; then cp -p "$scratch/manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$scratch"
}
trap restore EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The MIME type the system's database gives a file name pattern.
mime_of() { awk -F: -v glob="$1" '!/^#/ && $2 == glob { print $1; exit }' /usr/share/mime/globs; }

# Checks an installed tree: ROOT holds bin/ and share/.
check_tree() {
  local root=$1
  for program in morvane morvane-lote; do
    [ -x "$root/bin/$program" ] || fail "$root/bin/$program is missing or not executable"
  done
  local desktop=$root/share/applications/morvane.desktop
  local icon=$root/share/icons/hicolor/scalable/apps/morvane.svg
  local page=$root/share/man/man1/morvane-lote.1.gz
  for f in "$desktop" "$icon" "$page"; do [ -s "$f" ] || fail "$f is missing or empty"; done
  [ -s "$desktop" ] || return 0

  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  local key
  for key in 'Exec=morvane %f' 'Icon=morvane' 'Terminal=false' 'Type=Application'; do
    grep -qxF "$key" "$desktop" || fail "the desktop entry lacks '$key'"
  done
  # Every extension of the formats table (toolkit/formats.cpp: {"name",
  # {"ext", ...}, ...}) must be one the desktop can hand to the program.
  local patterns
  patterns=$(grep -oE '^ *\{"[a-z]+", \{[^}]*\}' "$source/toolkit/formats.cpp" |
    sed 's/^[^{]*{[^{]*{//; s/[",}]/ /g' | xargs -n1 | sort -u | sed 's/^/*./')
  [ -n "$patterns" ] || fail "no extensions found in the formats table of toolkit/formats.cpp"
  local listed glob type
  listed=";$(sed -n 's/^MimeType=//p' "$desktop")"
  for glob in $patterns; do
    type=$(mime_of "$glob")
    [ -n "$type" ] || { fail "the MIME database knows no type for $glob"; continue; }
    [[ $listed == *";$type;"* ]] || fail "MimeType lacks $type ($glob)"
  done

  if [ -s "$icon" ] && ! { grep -q '<svg' "$icon" && grep -q '</svg>' "$icon"; }; then
    fail "$icon is not a whole SVG picture"
  fi

  [ -s "$page" ] || return 0
  local text
  text=$(gzip -dc "$page")
  grep -q '^\.SH NOMBRE$' <<<"$text" || fail "the manual page has no NOMBRE section"
  grep -q '^morvane\\-lote \\- restaura ' <<<"$text" || fail "the manual page's NOMBRE line is not the expected one"
  # Every option the program's help lists (its lines start "  -") is in the
  # page, set in bold.
  local option
  for option in $("$root/bin/morvane-lote" --ayuda | grep -E '^  -' |
    grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
    grep -qF "\\fB${option//-/\\-}\\fR" <<<"$text" || fail "the manual page lacks $option"
  done
}

case $mode in
  files)
    command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate is missing (scripts/deps.sh installs it)" >&2; exit 1; }
    cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
    check_tree "$scratch/prefix"
    ;;
  deb)
    if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
      echo "dpkg-deb or dpkg-shlibdeps missing: the package is not checked"
      exit 77
    fi
    cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
      { cat "$scratch/cpack.log" >&2; exit 1; }
    debs=("$scratch"/out/morvane_*.deb)
    [ -f "${debs[0]}" ] || { fail "cpack made no morvane_*.deb"; exit 1; }
    dpkg-deb -x "${debs[0]}" "$scratch/root"
    check_tree "$scratch/root/usr"
    depends=$(dpkg-deb -f "${debs[0]}" Depends)
    for package in libqt6widgets6 qt6-image-formats-plugins; do
      [[ $depends == *"$package"* ]] || fail "the package does not depend on $package (Depends: $depends)"
    done
    ;;
  *)
    echo "usage: $0 files|deb BUILD SOURCE" >&2
    exit 2
    ;;
esac
((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
