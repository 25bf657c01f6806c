#!/usr/bin/env bash
# Builds the Debian package from a build directory and inspects it: the files it installs,
# its control data with the computed dependencies, and the desktop entry and AppStream
# metainfo as the desktop's own validators see them.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}

contents=$(dpkg-deb -c "$deb")
for f in usr/bin/larkpad usr/bin/lkp \
         usr/share/applications/io.github.larkpad.larkpad.desktop \
         usr/share/mime/packages/larkpad.xml \
         usr/share/icons/hicolor/scalable/apps/larkpad.svg \
         usr/share/icons/hicolor/scalable/mimetypes/application-x-larkpad.svg \
         usr/share/metainfo/io.github.larkpad.larkpad.metainfo.xml; do
  grep -Eq " \./$f\$" <<<"$contents" || fail "$f is not in the package"
done
grep -Eq '^-rwxr-xr-x .* \./usr/bin/larkpad$' <<<"$contents" || fail "larkpad is not executable"

info=$(dpkg-deb -I "$deb")
grep -q '^ Package: larkpad$' <<<"$info" || fail "package name"
grep -q '^ Version: 0\.10\.2$' <<<"$info" || fail "package version"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for lib in libc6 libqt6widgets6 libqt6svg6 zlib1g; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/io.github.larkpad.larkpad.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.larkpad.larkpad.metainfo.xml" ||
  fail "appstreamcli validate"
# The mime package as the system would compile it: the type and its glob.
XDG_DATA_DIRS="$work/root/usr/share" update-mime-database "$work/root/usr/share/mime" 2>"$work/mime.log" && ! [ -s "$work/mime.log" ] ||
  { cat "$work/mime.log" >&2; fail "update-mime-database"; }
grep -qx 'application/x-larkpad:\*\.lkp' "$work/root/usr/share/mime/globs" || fail "no *.lkp glob"
echo "package ok: $(basename "$deb")"
