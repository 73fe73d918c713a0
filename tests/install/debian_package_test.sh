#!/bin/sh
# Makes the Debian package from the build, installs it with dpkg as a user
# would, measures in a new workspace with the installed tool, checks the
# desktop entry, then removes (purges) the package and checks that nothing of
# it is left. Needs root and dpkg; skipped (77) elsewhere.
#   debian_package_test.sh BUILD_DIR
set -eu
build=$1
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
  echo "skipped: needs root, dpkg and dpkg-shlibdeps"; exit 77
fi
if dpkg-query -W -f='${Status}' fringe-workbench 2>/dev/null | grep -q "ok installed"; then
  echo "skipped: fringe-workbench is installed on this machine already"; exit 77
fi
work=$(mktemp -d)
cleanup() {
  dpkg -P fringe-workbench >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name 'fringe-workbench_*.deb' -print -quit)
[ -n "$deb" ] || { echo "no package made" >&2; cat "$work/cpack.log" >&2; exit 1; }
dpkg-deb --info "$deb" | grep -q 'Depends:.*libqt6' || { echo "the package names no Qt dependency" >&2; exit 1; }

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
files=$(dpkg -L fringe-workbench)
for file in /usr/bin/fringe /usr/bin/fringe-workbench /usr/include/fringe/scan.h \
            /usr/share/applications/fringe-workbench.desktop /usr/share/man/man1/fringe.1.gz; do
  echo "$files" | grep -qx "$file" || { echo "the package lacks $file" >&2; echo "$files" >&2; exit 1; }
done
version=$(/usr/bin/fringe --version)
case "$version" in "fringe "[0-9]*) ;; *) echo "fringe --version printed: $version" >&2; exit 1 ;; esac
/usr/bin/fringe init "$work/w" >/dev/null
/usr/bin/fringe measure --dir "$work/w" --seed 1 >"$work/measure.txt"
grep -q "RMS" "$work/measure.txt" || { echo "fringe measure printed:" >&2; cat "$work/measure.txt" >&2; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/fringe-workbench.desktop
fi
QT_QPA_PLATFORM=offscreen /usr/bin/fringe-workbench --version | grep -q "^simulation " || { echo "fringe-workbench --version failed" >&2; exit 1; }

dpkg -P fringe-workbench >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; exit 1; }
if dpkg-query -W fringe-workbench >/dev/null 2>&1; then echo "dpkg still knows fringe-workbench" >&2; exit 1; fi
for file in $files; do
  [ -d "$file" ] && continue
  if [ -e "$file" ] || [ -L "$file" ]; then echo "left after removal: $file" >&2; exit 1; fi
done
echo "packaged, installed, measured, validated and removed: $(basename "$deb")"
