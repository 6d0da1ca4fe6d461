#!/usr/bin/env bash
# Makes the Debian package of this build with CPack in a temporary folder, unpacks it with
# dpkg-deb (it is never installed), checks that it puts the program and its desktop files
# where a desktop looks for them, and runs lintian, desktop-file-validate and appstreamcli on
# what it holds.   check_package.sh <cpack> <build folder>
set -uo pipefail
cpack=$1 build=$2

missing=()
for tool in dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ "${#missing[@]}" -ne 0 ]; then
    echo "not installed: ${missing[*]} (packages dpkg-dev, lintian, desktop-file-utils, appstream)"
    [ "${CI:-}" = true ] && exit 1
    exit 77 # skipped
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; exit 1; }
deb=$(echo "$work"/orvane_*.deb)
dpkg-deb -x "$deb" "$work/root" || exit 1

rc=0
fail() { echo "FAILED: $*"; rc=1; }
desktop=usr/share/applications/orvane.desktop
metainfo=usr/share/metainfo/com.quarrow.orvane.metainfo.xml
for path in usr/bin/orvane $desktop $metainfo usr/share/man/man1/orvane.1.gz \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/orvane.png \
    usr/share/icons/hicolor/scalable/apps/orvane.svg; do
    [ -f "$work/root/$path" ] || fail "/$path is not in the package"
done
[ -x "$work/root/usr/bin/orvane" ] || fail "/usr/bin/orvane is not executable"
for module in mail-curl.so directory-ldap.so; do
    compgen -G "$work/root/usr/lib/*/orvane/$module" >/dev/null \
        || fail "the module $module is not in /usr/lib/<architecture>/orvane"
done
# Depends: what dpkg-shlibdeps found, after the module it cannot see.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == libsasl2-modules-gssapi-mit,*libqt6widgets6* ]] || fail "Depends lacks the GSSAPI module or the libraries"

echo "== lintian"
lintian --fail-on error --display-level '>=pedantic' "$deb" >"$work/lintian.log" 2>&1 \
    || fail "lintian reports errors"
grep -v 'root privileges' "$work/lintian.log"
echo "== desktop-file-validate"
desktop-file-validate "$work/root/$desktop" || fail "desktop-file-validate"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$work/root/$metainfo" || fail "appstreamcli validate"
exit $rc
