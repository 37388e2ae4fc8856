#!/usr/bin/env bash
# Sets up the machine, builds the application (release build) and starts it.
# Extra arguments go to the application, e.g. scripts/run.sh --new-note
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORV_BUILD_TESTS=OFF
cmake --build "$ROOT/build" --target norvane-notes
# Without a display (a server or a container) the app still runs under a virtual one.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a "$ROOT/build/src/app/norvane-notes" "$@"
fi
exec "$ROOT/build/src/app/norvane-notes" "$@"
