#!/usr/bin/env bash
# Screenshots of every window, screen, dialog and settings page in the light and the dark theme,
# taken under Xvfb with the bundled fonts. Each library state uses a throwaway data directory and
# QSettings go to a throwaway config directory, so no real notes or window state are touched. The account
# screen, the share dialogs and the signed-in settings page come from a fresh tools/devserver that ui_shots
# starts itself, seeds with a fuller group (a member joined by invite code, an e-mail invitation pending, a
# second device) and signs in to as its owner; without the server those shots are skipped with a message.
# Usage: tools/screenshots/ui-shots.sh [build-dir] [out-dir]
# The build dir needs the ui_shots and norvane-devserver targets. NORV_SHOTS=account (or welcome, library,
# comma-separated) takes only those groups.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
OUT="${2:-$BUILD/screenshots}"
SHOTS="$BUILD/tools/screenshots/ui_shots"
[ -x "$SHOTS" ] || { echo "no program at $SHOTS (build the ui_shots target first)"; exit 1; }
mkdir -p "$OUT"
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
# Sanitized builds: Qt's caches look like leaks at exit.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
export XDG_CONFIG_HOME="$SCRATCH/config" XDG_DATA_HOME="$SCRATCH/data" XDG_CACHE_HOME="$SCRATCH/cache"
export NOTES_DATA_DIR="$SCRATCH/notes"
# Warnings only: the database lines of every library state are noise here.
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-norv.*.info=false}"
xvfb-run -a -s "-screen 0 1600x1000x24" "$SHOTS" "$OUT" >"$SCRATCH/log" 2>&1 || { cat "$SCRATCH/log"; exit 1; }
grep -v '\.png$' "$SCRATCH/log" || true
ls -1 "$OUT"/*.png
