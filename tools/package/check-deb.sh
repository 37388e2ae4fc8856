#!/usr/bin/env bash
# Builds the Debian package, unpacks it into an empty directory root (no system install) and checks that what it
# installs works: the program answers --version, the desktop entry and metadata validate, and the entry's
# "New Note" action, run under Xvfb, opens a note window.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${NORV_PACKAGE_BUILD_DIR:-$ROOT/build-package}"
"$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORV_BUILD_TESTS=OFF -DNORV_BUILD_BENCH=OFF
cmake --build "$BUILD" --target norvane-notes desktop_icons
(cd "$BUILD" && cpack -G DEB)
DEB="$(ls -t "$BUILD"/norvane-notes_*.deb | head -1)"
echo "package: $DEB"
dpkg-deb --field "$DEB" Package Version Depends

DEST="$(mktemp -d)"
trap 'rm -rf "$DEST"' EXIT
dpkg-deb -x "$DEB" "$DEST"
for f in usr/bin/norvane-notes usr/share/applications/app.norvane.Notes.desktop \
         usr/share/metainfo/app.norvane.Notes.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/app.norvane.Notes.svg \
         usr/share/icons/hicolor/16x16/apps/app.norvane.Notes.png \
         usr/share/icons/hicolor/512x512/apps/app.norvane.Notes.png; do
    [ -e "$DEST/$f" ] || { echo "missing from the package: $f"; exit 1; }
done
"$DEST/usr/bin/norvane-notes" --version
desktop-file-validate "$DEST/usr/share/applications/app.norvane.Notes.desktop"
appstreamcli validate --no-net "$DEST/usr/share/metainfo/app.norvane.Notes.metainfo.xml"

# The "New Note" action's command line, with the installed program first on the search path.
ACTION="$(sed -n '/^\[Desktop Action new-note\]/,/^\[/s/^Exec=//p' "$DEST/usr/share/applications/app.norvane.Notes.desktop")"
echo "New Note action: $ACTION"
DATA="$DEST/data"
mkdir -p "$DATA"
export PATH="$DEST/usr/bin:$PATH" NOTES_DATA_DIR="$DATA" NORV_INSTANCE_KEY="norv-package-check-$$"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
    $ACTION & pid=\$!
    for i in \$(seq 1 40); do
        if xwininfo -root -tree 2>/dev/null | grep -q '\"Untitled'; then found=1; break; fi
        sleep 0.5
    done
    xwininfo -root -tree | grep -E '\"(Untitled|Norvane)' || true
    kill \$pid 2>/dev/null; wait \$pid 2>/dev/null || true
    [ -n \"\${found:-}\" ] || { echo 'no note window opened'; exit 1; }
"
echo "package check: OK"
