#!/usr/bin/env bash
# Builds the Debian package as scripts/package does (build_for_package: Release, Debian's
# hardening flags, installed under /usr), twice, in two temporary folders of different names
# and depths, and makes each with CPack. Unpacks the first with dpkg-deb (it is never
# installed), checks that it puts the program and its desktop files where a desktop looks for
# them and what it depends on, and runs lintian, desktop-file-validate and appstreamcli on what
# it holds. Then checks that the two packages hold the same bytes and that no installed file
# names either build folder.   check_package.sh <cpack> <source folder>
set -uo pipefail
cpack=$1
. "$2/scripts/lib.sh"

missing=()
for tool in cmake ninja dpkg-buildflags dpkg-deb dpkg-shlibdeps strings lintian \
    desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ "${#missing[@]}" -ne 0 ]; then
    echo "not installed: ${missing[*]} (packages cmake, ninja-build, dpkg-dev, binutils, lintian, desktop-file-utils, appstream)"
    [ "${CI:-}" = true ] && exit 1
    exit 77 # skipped
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
builds=("$work/build" "$work/elsewhere/deeper/build-package")
debs=()
for build in "${builds[@]}"; do
    mkdir -p "$build"
    log "building the package in $build"
    (build_for_package "$build") >"$build.log" 2>&1 || { tail -n 40 "$build.log"; exit 1; }
    "$cpack" --config "$build/CPackConfig.cmake" -B "$build/package" >"$build/cpack.log" 2>&1 \
        || { cat "$build/cpack.log"; exit 1; }
    debs+=("$(echo "$build"/package/orvane_*.deb)")
done
deb=${debs[0]}
for i in 0 1; do
    dpkg-deb -x "${debs[$i]}" "$work/root$i" && dpkg-deb -e "${debs[$i]}" "$work/control$i" \
        || exit 1
done
root=$work/root0

rc=0
fail() { echo "FAILED: $*"; rc=1; }
desktop=usr/share/applications/orvane.desktop
metainfo=usr/share/metainfo/com.quarrow.orvane.metainfo.xml
for path in usr/bin/orvane usr/bin/orvane-send $desktop $metainfo \
    usr/share/man/man1/orvane.1.gz usr/share/man/man1/orvane-send.1.gz \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/orvane.png \
    usr/share/icons/hicolor/scalable/apps/orvane.svg; do
    [ -f "$root/$path" ] || fail "/$path is not in the package"
done
[ -x "$root/usr/bin/orvane" ] || fail "/usr/bin/orvane is not executable"
for module in mail-curl.so directory-ldap.so mail-oauth.so; do
    compgen -G "$root/usr/lib/*/orvane/$module" >/dev/null \
        || fail "the module $module is not in /usr/lib/<architecture>/orvane"
done

# Depends: what dpkg-shlibdeps found. Recommends: what is loaded at run time and may be left
# out, the GSSAPI module of the Kerberos sign-in among them.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
[[ $depends == *libqt6widgets6* ]] || fail "Depends lacks the Qt libraries"
[[ $depends != *libsasl2-modules-gssapi-mit* ]] || fail "Depends holds the GSSAPI module"
[[ $depends == *libqt6keychain1* ]] || fail "Depends lacks QtKeychain (the OAuth sign-in)"
for package in libsasl2-modules-gssapi-mit qt6-translations-l10n libsecret-1-0; do
    [[ ", $recommends," == *", $package,"* ]] || fail "Recommends lacks $package"
done

echo "== lintian"
lintian --fail-on error --display-level '>=pedantic' "$deb" >"$work/lintian.log" 2>&1 \
    || fail "lintian reports errors"
grep -v 'root privileges' "$work/lintian.log"
echo "== desktop-file-validate"
desktop-file-validate "$root/$desktop" || fail "desktop-file-validate"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/$metainfo" || fail "appstreamcli validate"

echo "== the same bytes from both build folders"
diff -r "$work/root0" "$work/root1" || fail "the installed files differ between the two builds"
diff -r "$work/control0" "$work/control1" || fail "the control files differ between the two builds"
# Text as well as UTF-16 strings, where a path could hide from a plain search.
while IFS= read -r -d '' file; do
    for build in "${builds[@]}"; do
        if strings -a "$file" | grep -qF "$build" || strings -a -el "$file" | grep -qF "$build"; then
            fail "/${file#"$root"/} names the build folder $build"
        fi
    done
done < <(find "$root" -type f -print0)
echo "$(find "$root" -type f | wc -l) files checked; the package is $(stat -c %s "$deb") bytes"
exit $rc
