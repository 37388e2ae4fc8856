#!/usr/bin/env bash
# Two devices of one account, end to end and headless: starts the reference server on a free loopback
# port, runs two instances of the application's state (tools/e2e/two_clients_driver, each with its own
# data folder, signed in to ada@example.com, tokens in memory) through edits on both sides, a server
# restart and every fault switch, then checks that both SQLite databases hold the same library and
# that the last text each device gave each note is either current or in that note's history.
# Prints a report; exits 1 on a mismatch.
#   tools/e2e/two-clients.sh        (build directory: $NORV_BUILD_DIR, default build-test)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${NORV_BUILD_DIR:-$ROOT/build-test}"
DRIVER="$BUILD/tools/e2e/two_clients_driver"
SERVER_BIN="$BUILD/tools/devserver/norvane-devserver"
if [ ! -x "$DRIVER" ] || [ ! -x "$SERVER_BIN" ]; then
    cmake --build "$BUILD" --target two_clients_driver norvane-devserver >/dev/null
fi
for tool in sqlite3 curl python3; do
    command -v "$tool" >/dev/null || { echo "two-clients: $tool is needed (apt-get install $tool)"; exit 2; }
done

WORK="$(mktemp -d)"
SERVER=""
cleanup() {
    [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -p "$WORK/server" "$WORK/a" "$WORK/b"
export QT_QPA_PLATFORM=offscreen NORV_TOKEN_STORE=memory QT_LOGGING_RULES="*.debug=false;*.info=false"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"

start_server() {
    : >"$WORK/server.out"
    "$SERVER_BIN" --port 0 --data "$WORK/server" >"$WORK/server.out" 2>>"$WORK/server.err" &
    SERVER=$!
    for _ in $(seq 1 100); do
        grep -q "^listening on " "$WORK/server.out" 2>/dev/null && break
        sleep 0.1
    done
    BASE="$(sed -n 's/^listening on //p' "$WORK/server.out" | head -n1)"
    [ -n "$BASE" ] || { echo "two-clients: the server did not start"; cat "$WORK/server.err"; exit 2; }
    echo "== server at $BASE"
}

# dev A|B step...
dev() {
    local name="$1"
    shift
    local dir="$WORK/a"
    [ "$name" = B ] && dir="$WORK/b"
    "$DRIVER" --server "$BASE" --data "$dir" --keys "$WORK/keys.json" --written "$WORK/written.tsv" \
        --name "$name" "$@" 2>>"$WORK/driver.err" | sed 's/^/   /' || { echo "two-clients: device $name failed"; exit 2; }
}

fault() { curl -sf -X POST "$BASE/admin/faults" -H 'Content-Type: application/json' -d "$1" >/dev/null; }
clear_faults() { curl -sf -X DELETE "$BASE/admin/faults" >/dev/null; }

started=$(date +%s)
start_server

echo "== edits on both sides"
dev A notebook:travel:Travel create:pack:"Packing list" create:groceries:"Groceries" create:old:"Old plans" \
    create:gone:"To be deleted for good" move:pack:travel attach:pack:ticket sync
dev B sync edit:pack:"Packing list: boots, map" notebook:work:Work create:memo:"Memo from B" move:memo:work \
    attach:memo:slides trash:old sync
dev A sync trash:gone sync
dev A purge:gone restore:old sync
echo "== one note edited on both sides before either syncs"
dev A edit:groceries:"Groceries: milk, eggs (A)"
dev B edit:groceries:"Groceries: bread, jam (B)"
dev A sync
dev B sync

echo "== server restart"
kill "$SERVER"
wait "$SERVER" 2>/dev/null || true
start_server
dev A edit:pack:"Packing list: boots, map, after the restart" sync
dev B sync

N='/notes/v1/*'
for case in "500" "401 storm" "drop" "hang" "malformed JSON" "413"; do
    echo "== fault: $case"
    dev A edit:memo:"Memo, edited by A during: $case"
    dev B create:"note-$case":"Written on B during: $case"
    case "$case" in
    "500") fault "{\"pattern\":\"$N\",\"action\":\"status\",\"status\":500}" ;;
    "401 storm")
        fault "{\"pattern\":\"$N\",\"action\":\"status\",\"status\":401}"
        fault '{"pattern":"/auth/*","action":"status","status":401}'
        ;;
    "drop") fault "{\"pattern\":\"$N\",\"action\":\"drop\"}" ;;
    "hang") fault "{\"pattern\":\"$N\",\"action\":\"hang\"}" ;;
    "malformed JSON") fault "{\"pattern\":\"$N\",\"action\":\"malformed\"}" ;;
    "413") fault "{\"pattern\":\"$N\",\"method\":\"POST\",\"action\":\"status\",\"status\":413}" ;;
    esac
    dev A sync
    dev B sync
    clear_faults
    dev A sync
    dev B sync
done
dev A sync

echo "== checks"
dbA="$(ls "$WORK"/a/*.db)"
dbB="$(ls "$WORK"/b/*.db)"
mismatch=0
check() {
    local label="$1" query="$2"
    if diff <(sqlite3 "$dbA" "$query") <(sqlite3 "$dbB" "$query") >"$WORK/diff.txt"; then
        echo "OK        $label ($(sqlite3 "$dbA" "$query" | wc -l) rows)"
    else
        echo "MISMATCH  $label"
        sed 's/^/    /' "$WORK/diff.txt" | head -20
        mismatch=1
    fi
}
check "notes (text, notebook, trash)" \
    "SELECT id, body, notebook_id, deleted_at IS NOT NULL FROM notes WHERE is_sample = 0 ORDER BY id"
check "notebooks" "SELECT id, name FROM notebooks WHERE deleted_at IS NULL ORDER BY id"
check "attachments" "SELECT id, note_id, filename, size_bytes FROM attachments ORDER BY id"
for side in a b; do
    db="$(ls "$WORK/$side"/*.db)"
    pending=$(sqlite3 "$db" "SELECT (SELECT count(*) FROM notes WHERE sync_status = 'pending')
                             + (SELECT count(*) FROM attachments WHERE sync_status = 'pending')")
    if [ "$pending" = 0 ]; then echo "OK        nothing pending on ${side^^}"; else
        echo "MISMATCH  $pending items still pending on ${side^^}"
        mismatch=1
    fi
    for id in $(sqlite3 "$db" "SELECT id FROM attachments"); do
        if ! cmp -s "$WORK/a/attachments/$id" "$WORK/b/attachments/$id"; then
            echo "MISMATCH  attachment file $id differs or is missing"
            mismatch=1
        fi
    done
done
gone=$(python3 -c "import json;print(json.load(open('$WORK/keys.json'))['gone'])")
if [ -z "$(sqlite3 "$dbA" "SELECT id FROM notes WHERE id = '$gone'")$(sqlite3 "$dbB" "SELECT id FROM notes WHERE id = '$gone'")" ]; then
    echo "OK        the note deleted for good is gone on both"
else
    echo "MISMATCH  the note deleted for good is still there"
    mismatch=1
fi
# The last text each device gave each note: current on both; or taken by the server and later replaced
# there by an edit made on top of it (the server refuses a change to a version its author had not
# seen); or, when it lost to a concurrent edit, kept in the history of the device that wrote it. The
# note deleted for good is left out.
python3 - "$WORK/written.tsv" "$dbA" "$dbB" "$gone" "$BASE" <<'PY' || mismatch=1
import json, sqlite3, sys, urllib.request
path, db_a, db_b, gone, base = sys.argv[1:]
def accepted(note):
    with urllib.request.urlopen(f"{base}/admin/notes/{note}/versions") as r:
        return {v["body"] for v in json.load(r)["versions"]}
last = {}
for line in open(path, encoding="utf-8"):
    device, note, body = line.rstrip("\n").split("\t", 2)
    last[(device, note)] = body
dbs = {"A": sqlite3.connect(db_a), "B": sqlite3.connect(db_b)}
current = replaced = kept = lost = 0
for (device, note), body in sorted(last.items()):
    if note == gone:
        continue
    db = dbs[device]
    if all(d.execute("SELECT 1 FROM notes WHERE id = ? AND body = ?", (note, body)).fetchone() for d in dbs.values()):
        current += 1
    elif body in accepted(note):
        replaced += 1
    elif db.execute("SELECT 1 FROM note_snapshots WHERE note_id = ? AND body = ?", (note, body)).fetchone():
        kept += 1
    else:
        lost += 1
        print(f"MISMATCH  text lost: {device} {note} {body}")
print(f"{'OK       ' if lost == 0 else 'MISMATCH '} texts: {current} current on both, {replaced} edited further on"
      f" top, {kept} lost a concurrent edit and kept in history, {lost} lost")
sys.exit(1 if lost else 0)
PY
echo "== $(($(date +%s) - started)) s"
if [ $mismatch -ne 0 ]; then
    echo "two-clients: MISMATCH"
    exit 1
fi
echo "two-clients: both devices converged"
