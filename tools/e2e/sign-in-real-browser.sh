#!/usr/bin/env bash
# Signs in with a real browser, end to end: starts the reference server with --auto-login, runs the
# application's window with the system browser set to a headless Chromium, and checks that the app
# ends up signed in, that a restart finds the session in the keyring, and that signing out leaves no
# token behind. Everything runs in a private D-Bus session with its own gnome-keyring in a temporary
# home, so the user's own keyring is never touched. Not part of CI.
#   tools/e2e/sign-in-real-browser.sh            (build directory: $NORV_BUILD_DIR, default build-test)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${NORV_BUILD_DIR:-$ROOT/build-test}"

if [ "${NORV_E2E_INNER:-}" != 1 ]; then
    "$ROOT/scripts/setup.sh"
    if ! command -v chromium >/dev/null; then
        echo "e2e: installing chromium"
        SUDO=""
        if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
        $SUDO apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends chromium
    fi
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORV_SANITIZE=ON -DNORV_BUILD_TESTS=ON
    fi
    cmake --build "$BUILD" --target norvane-devserver sign_in_driver
    WORK="$(mktemp -d)"
    export NORV_E2E_INNER=1 NORV_E2E_WORK="$WORK"
    status=0
    # A private session bus; the rest of this script runs inside it.
    dbus-run-session -- "$0" "$@" || status=$?
    rm -rf "$WORK"
    exit $status
fi

WORK="$NORV_E2E_WORK"
SERVER=""
KEYRING=""
cleanup() {
    if [ -f "$WORK/chromium.pids" ]; then
        while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$WORK/chromium.pids"
    fi
    [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null || true
    [ -n "$KEYRING" ] && kill "$KEYRING" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The keyring: its files live in the temporary home; --unlock reads the password of the login keyring,
# which it creates, from standard input.
mkdir -p "$WORK/home/.local/share" "$WORK/profile" "$WORK/bin" "$WORK/data" "$WORK/server"
printf 'norvane-e2e' | HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" \
    gnome-keyring-daemon --foreground --unlock --components=secrets >"$WORK/keyring.log" 2>&1 &
KEYRING=$!
for _ in $(seq 1 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "true"; then
        break
    fi
    sleep 0.1
done

# The server signs the first seeded user in at once, as a user would after typing their password.
"$BUILD/tools/devserver/norvane-devserver" --port 0 --data "$WORK/server" --auto-login ada@example.com \
    >"$WORK/server.out" 2>"$WORK/server.err" &
SERVER=$!
for _ in $(seq 1 100); do
    if grep -q "^listening on " "$WORK/server.out" 2>/dev/null; then break; fi
    sleep 0.1
done
BASE="$(sed -n 's/^listening on //p' "$WORK/server.out" | head -n1)"
[ -n "$BASE" ] || { echo "e2e: the server did not start"; cat "$WORK/server.err"; exit 1; }
echo "e2e: server at $BASE"

# The system browser: a headless Chromium with a fresh profile, started in the background so that
# the application's request to open a page returns at once.
cat >"$WORK/bin/browser" <<SH
#!/bin/sh
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$WORK/profile" "\$1" >>"$WORK/chromium.log" 2>&1 &
echo \$! >>"$WORK/chromium.pids"
SH
chmod +x "$WORK/bin/browser"
ln -s "$WORK/bin/browser" "$WORK/bin/xdg-open"
export PATH="$WORK/bin:$PATH" BROWSER="$WORK/bin/browser"

export NOTES_DATA_DIR="$WORK/data" AUTH_BASE_URL="$BASE/auth" ACCOUNT_API_URL="$BASE/account/v1" \
    SYNC_API_URL="$BASE/notes/v1" ACCOUNT_PORTAL_URL="$BASE/portal"
export ASAN_OPTIONS=detect_leaks=0
# A real display (Xvfb when there is none): the offscreen platform cannot open a browser.
DRIVER=("$BUILD/tools/e2e/sign_in_driver")
if [ -z "${DISPLAY:-}" ]; then DRIVER=(xvfb-run -a "${DRIVER[@]}"); fi

result=0
step() {
    local name="$1" expect="$2"
    if "${DRIVER[@]}" "$name" >"$WORK/$name.out" 2>"$WORK/$name.err"; then
        echo "e2e: $(grep '^driver:' "$WORK/$name.out" | tail -n1) — $expect: ok"
    else
        echo "e2e: $(grep '^driver:' "$WORK/$name.out" | tail -n1) — $expect: FAILED"
        tail -n 20 "$WORK/$name.err"
        result=1
    fi
}
step sign-in "the browser signs the app in"
step restore "a restart finds the session in the keyring"
step sign-out "signing out"
if "${DRIVER[@]}" restore >"$WORK/after.out" 2>&1; then
    echo "e2e: a token survived sign-out: FAILED"
    result=1
else
    echo "e2e: after sign-out a restart is signed out: ok"
fi
echo "e2e: browser requests to the app's listener: $(grep -ci 'listener answered 404' "$WORK/sign-in.err" || true) stray"
exit $result
