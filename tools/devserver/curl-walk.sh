#!/usr/bin/env bash
# Walks every service with curl alone against a fresh server: sign-in through the login redirect, refresh,
# push, pull from a second account before and after sharing, attachment upload and download, latest.json.
# Usage: tools/devserver/curl-walk.sh [path/to/norvane-devserver]
set -euo pipefail
SRV="${1:-build-test/tools/devserver/norvane-devserver}"
DIR="$(mktemp -d)"
coproc S { exec "$SRV" --port 0 --data "$DIR/server"; }
trap 'kill $S_PID; rm -rf "$DIR"' EXIT
read -r LINE <&"${S[0]}"; B=${LINE#listening on }; echo "$LINE"
API=$B/auth/api/v1/realms/norvane; N=$B/notes/v1
json() { python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }
login() {  # sign in through the login page; prints the redirect Location
  curl -s -o /dev/null -w '%{redirect_url}' \
    "$B/auth/norvane/account/login?client_id=0123456789abcdef0123456789abcdef&redirect_uri=http%3A%2F%2Flocalhost%3A19876%2Fcallback&state=s1" \
    --data-urlencode "email=$1" --data-urlencode "password=$2"
}
LOC=$(login ada@example.com ada-secret-1); echo "1 redirect: ${LOC:0:90}..."
ADA=$(echo "$LOC" | sed 's/.*access_token=\([^&]*\).*/\1/'); ADA_RT=$(echo "$LOC" | sed 's/.*refresh_token=\([^&]*\).*/\1/')
LOC=$(login ben@example.com ben-secret-1); BEN=$(echo "$LOC" | sed 's/.*access_token=\([^&]*\).*/\1/')
echo "2 refresh:"; R=$(curl -s -X POST -H 'Content-Type: application/json' -d "{\"refresh_token\":\"$ADA_RT\"}" $API/auth/token/refresh)
echo "$R" | json '.keys()'; ADA=$(echo "$R" | json '["access_token"]')
echo "3 push:"; curl -s -X POST -H "Authorization: Bearer $ADA" -H 'Content-Type: application/json' \
  -d '{"changes":[{"entity_type":"note","entity_id":"11111111-2222-4333-8444-555555555555","action":"update","version":1,"data":{"body":"[{\"insert\":\"Curl note\\n\"}]","created_at":1764979200000,"updated_at":1764979200000,"modified_at":1764979200000}}]}' $N/sync/push; echo
echo "4 Ben pulls before the share:"; curl -s -H "Authorization: Bearer $BEN" $N/sync/pull; echo
echo "5 share:"; curl -s -X POST -H "Authorization: Bearer $ADA" -H 'Content-Type: application/json' \
  -d '{"account_id":"1d000000-0000-4000-8000-00000000000b","auth_user_id":"1d000000-0000-4000-8000-00000000000b","permission":"edit"}' \
  $N/shares/notes/11111111-2222-4333-8444-555555555555; echo
echo "6 Ben pulls after the share:"; curl -s -H "Authorization: Bearer $BEN" $N/sync/pull; echo
echo "7 upload:"; printf 'attachment bytes\n' > "$DIR/a.txt"
curl -s -H "Authorization: Bearer $ADA" -F note_id=11111111-2222-4333-8444-555555555555 -F id=aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee \
  -F "file=@$DIR/a.txt;type=text/plain" $N/attachments; echo
echo "8 download (as Ben):"; curl -s -H "Authorization: Bearer $BEN" $N/attachments/aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee
echo "9 latest.json:"; curl -s $B/updates/notes/stable/latest.json | json '["artifacts"]["windows-x64"]["version"]'
