#!/usr/bin/env bash
# Screenshots of the note editor, its bars, a check box after a click and the image lightbox, in the
# light and the dark theme, taken under Xvfb with the real fonts.
# Usage: tools/screenshots/editor-shots.sh [build-dir] [out-dir]
# The build dir needs the editor_demo target (tools/screenshots is part of the build).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
OUT="${2:-$BUILD/screenshots}"
DEMO="$BUILD/tools/screenshots/editor_demo"
[ -x "$DEMO" ] || { echo "no demo at $DEMO (build the editor_demo target first)"; exit 1; }
mkdir -p "$OUT"
for theme in light dark; do
    xvfb-run -a -s "-screen 0 1400x1400x24" "$DEMO" "$OUT" "$theme"
done
# A whole-screen capture as well, to see the window as the X server shows it.
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
xvfb-run -a -s "-screen 0 1400x1400x24" bash -c "
    NORV_DEMO_HOLD_MS=4000 '$DEMO' '$SCRATCH' light &
    pid=\$!
    sleep 4
    import -window root '$OUT/screen-light.png'
    wait \$pid || true
"
ls -1 "$OUT"/*.png
