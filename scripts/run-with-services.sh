#!/usr/bin/env bash
# Builds the app and the loopback service stand-in (tools/devserver), starts the server on a free port and then
# the app pointed at it. The server keeps its state in $NORV_SERVICES_DATA (default /tmp/norvane-services), the
# app its library in $NOTES_DATA_DIR (default: a folder inside that one, so a real library is never touched).
# NORV_AUTO_LOGIN=ada@example.com makes the login page sign that user in without a form.
# Extra arguments go to the app, e.g. scripts/run-with-services.sh --new-note
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -z "${NORV_PRIVATE_KEYRING:-}" ]; then
    "$ROOT/scripts/setup.sh"
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORV_BUILD_TESTS=OFF
    cmake --build "$ROOT/build" --target norvane-notes norvane-devserver
fi

DATA="${NORV_SERVICES_DATA:-${TMPDIR:-/tmp}/norvane-services}"

# The app keeps its sign-in in the Secret Service. Without one on the session bus (a bare session, a
# container) it would last one run only, so this script then runs itself in a private session bus with its own
# gnome-keyring, whose keyring lives beside the server's data: a restart finds the session again.
secret_service_running() {
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || return 1
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"
}
KEYRING_PID=""
if [ -z "${NORV_PRIVATE_KEYRING:-}" ] && ! secret_service_running; then
    echo "services: no Secret Service running; starting a private session bus with gnome-keyring"
    NORV_PRIVATE_KEYRING=1 exec dbus-run-session -- "$0" "$@"
fi
if [ -n "${NORV_PRIVATE_KEYRING:-}" ]; then
    mkdir -p "$DATA/keyring/run"
    chmod 700 "$DATA/keyring/run"
    # --unlock reads the password of the login keyring (created on the first run) from standard input.
    printf 'norvane-dev' | XDG_DATA_HOME="$DATA/keyring" XDG_RUNTIME_DIR="$DATA/keyring/run" \
        gnome-keyring-daemon --foreground --unlock --components=secrets >"$DATA/keyring/daemon.log" 2>&1 &
    KEYRING_PID=$!
    for _ in $(seq 1 50); do
        if secret_service_running; then break; fi
        sleep 0.1
    done
fi
SERVER_ARGS=(--port "${NORV_SERVICES_PORT:-0}" --data "$DATA/server" --verbose)
if [ -n "${NORV_AUTO_LOGIN:-}" ]; then SERVER_ARGS+=(--auto-login "$NORV_AUTO_LOGIN"); fi

# The server's first line names its address.
coproc SERVER { exec "$ROOT/build/tools/devserver/norvane-devserver" "${SERVER_ARGS[@]}"; }
SERVER_PID_COPY=$SERVER_PID
trap 'kill "$SERVER_PID_COPY" ${KEYRING_PID:+"$KEYRING_PID"} 2>/dev/null || true' EXIT
read -r FIRST_LINE <&"${SERVER[0]}"
BASE="${FIRST_LINE#listening on }"
echo "services: $BASE (seeded users in tools/devserver/README.md)"

export AUTH_BASE_URL="$BASE/auth"
export AUTH_REALM_SLUG="norvane"
export ACCOUNT_API_URL="$BASE/account/v1"
export SYNC_API_URL="$BASE/notes/v1"
export ACCOUNT_PORTAL_URL="$BASE/portal"
export UPDATE_BASE_URL="$BASE/updates/notes/stable"
export NOTES_DATA_DIR="${NOTES_DATA_DIR:-$DATA/app}"

APP="$ROOT/build/src/app/norvane-notes"
# Without a display (a server or a container) the app still runs under a virtual one.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    xvfb-run -a "$APP" "$@"
else
    "$APP" "$@"
fi
