#!/usr/bin/env bash
# `make install` into a scratch DESTDIR: every file in its place, the desktop entry and the
# AppStream metainfo valid, and the installed programs running from the installed data folder.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /opt/quovo >/dev/null
prefix="$root/opt/quovo"
share="$prefix/share"
libdir=$(cd "$prefix" && ls -d lib*/quovo/LibAV | head -1)

for f in bin/quovo bin/quovo-convert share/quovo/quovoformat.ini \
         share/applications/org.quovo.Quovo.desktop share/metainfo/org.quovo.Quovo.metainfo.xml \
         share/icons/hicolor/scalable/apps/quovo.svg share/man/man1/quovo.1 \
         share/man/man1/quovo-convert.1 "$libdir/dvdplugin.so" "$libdir/quovo-dvdinfo"; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
for size in 16 32 48 64 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/quovo.png"
    [ -s "$png" ] || fail "no ${size}px icon"
    head -c 24 "$png" | od -An -tu1 | tr -s ' ' | grep -q "^ 137 80 78 71" || fail "$png is no PNG"
done

desktop-file-validate "$share/applications/org.quovo.Quovo.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/org.quovo.Quovo.metainfo.xml" || fail "metainfo"
grep -q '^MimeType=.*x-content/video-dvd;' "$share/applications/org.quovo.Quovo.desktop" ||
    fail "the desktop is not offered the program for an inserted DVD"

[ "$("$prefix/bin/quovo" --version)" = "quovo 3.300 " ] || fail "quovo --version"
"$prefix/bin/quovo" --help | grep -q '^Usage: quovo' || fail "quovo --help"

# The installed format file is the one read: mark it and look for the mark.
sed -i 's/^FileExt=ac3$/FileExt=ac3installed/I' "$share/quovo/quovoformat.ini"
QUOVO_CONFIG_DIR="$root/config" "$prefix/bin/quovo-convert" --list-formats | grep -q ac3installed ||
    fail "quovo-convert did not read the installed format file"
