#!/usr/bin/env bash
# Starts the built app under Xvfb with a throwaway data directory and writes a PNG of the screen.
# Usage: tools/screenshots/shoot.sh [build-dir] [out.png] [extra app args...]
# Environment: NOTES_DATA_DIR to use a prepared library; SHOT_DELAY seconds to wait (default 3).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
OUT="${2:-$ROOT/build/screenshot.png}"
shift $(( $# > 2 ? 2 : $# )) || true
APP="$BUILD/src/app/norvane-notes"
[ -x "$APP" ] || { echo "no app at $APP (build it first)"; exit 1; }
DATA="${NOTES_DATA_DIR:-$(mktemp -d)}"
export NOTES_DATA_DIR="$DATA"
export NORV_INSTANCE_KEY="norv-shot-$$"
DELAY="${SHOT_DELAY:-3}"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
    '$APP' $* &
    pid=\$!
    sleep $DELAY
    import -window root '$OUT'
    kill \$pid 2>/dev/null || true
    wait \$pid 2>/dev/null || true
"
echo "wrote $OUT"
