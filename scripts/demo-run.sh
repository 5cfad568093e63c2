#!/usr/bin/env bash
# One complete run of the built Linux program against the provider simulator,
# in a throw-away sandbox installation. Shows what support staff look at.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/linux"
sandbox="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$sandbox"
}
trap cleanup EXIT

section() { printf '\n\033[1m== %s\033[0m\n' "$1"; }

install="$sandbox/install"
mkdir -p "$install/nfyDesk/DeskCom" "$install/Configuration" "$sandbox/registry"
cp "$bin/nfyDeskNotify" "$install/"
cp "$bin/tools/test-viewer/test-viewer" "$install/nfyDesk/nfyInbox.exe"
export NFY_VIEWER_RECORD="$sandbox/viewer.txt"

# The agent's registry key, in the file-backed store.
cat > "$sandbox/registry/HKEY_LOCAL_MACHINE.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]
"InstallationPath"="$install/"
"RegID"="1234"
"siteid"="55"
"MemberID"="77"
"Type"="1"
REG
export NFY_REGISTRY_ROOT="$sandbox/registry"

cat > "$install/nfyDesk/DeskCom/nfyDeskMenu.xml" <<'XML'
<?xml version="1.0"?>
<nfydesk>
  <dcmgetclientcommtemplate>
    <desksmsmsg>Messages from your IT service provider are waiting in your inbox.</desksmsmsg>
    <inboxtitle>You have new messages from your service provider for your reference. Click for view all messages.</inboxtitle>
  </dcmgetclientcommtemplate>
</nfydesk>
XML

# Sample messages; the second asks the user to confirm it.
cat > "$sandbox/messages.txt" <<'MSG'
id=101
subject=Planned maintenance on Saturday
content=Your workstation will restart on Saturday at 22:00.\nPlease save your work.
usractid=0
requsrconfirm=false
timetolive=1
timetolivedays=7
createdby=Service desk
status=0
dcdwntime=12/08/2026 08:00:00

id=102
subject=New security policy
content=Please read and confirm the new password policy.
usractid=1
requsrconfirm=true
timetolive=0
timetolivehrs=48
createdby=Security team
status=0
dcdwntime=12/08/2026 08:05:00
MSG

"$bin/tools/provider-sim/provider-sim" --port 0 --messages "$sandbox/messages.txt" \
  --record "$sandbox/requests.txt" > "$sandbox/provider.out" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$sandbox/provider.out" 2>/dev/null && break; sleep 0.05; done
port="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$sandbox/provider.out" | head -1)"
printf '[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n' \
  "$port" "$port" > "$install/Configuration/nfyEndpoints.ini"

section "Run (provider simulator on 127.0.0.1:$port)"
start=$(date +%s%N)
if [ -t 0 ] && [ -t 1 ]; then
  echo "The popup asks in this terminal."
  env -u DBUS_SESSION_BUS_ADDRESS "$install/nfyDeskNotify" || true
else
  echo "No terminal: the desktop simulator on a private D-Bus answers for the user (OK)."
  dbus-run-session -- bash -c '
    "$0" --answer ok --record "$1" > "$2" &
    sim=$!
    for _ in $(seq 100); do grep -q ready "$2" 2>/dev/null && break; sleep 0.05; done
    "$3" || true
    kill $sim' "$bin/tools/desktop-sim/desktop-sim" "$sandbox/popups.txt" "$sandbox/desktop.out" \
    "$install/nfyDeskNotify"
  section "Popup (summary | body | actions | timeout)"
  cut -f2- "$sandbox/popups.txt" | sed 's/\t/ | /g'
fi
echo "Run took $(( ($(date +%s%N) - start) / 1000000 )) ms"
sleep 0.3

section "Inbox viewer"
cat "$sandbox/viewer.txt" 2>/dev/null || echo "(not started)"

section "Inbox: $(ls "$install"/nfyDesk/DeskInbox/*.ini 2>/dev/null | xargs -r -n1 basename)"
cat "$install"/nfyDesk/DeskInbox/*.ini 2>/dev/null | tr -d '\r' || echo "(none)"

section "Body files"
for f in "$install"/nfyDesk/DeskInbox/Messages/*.dat; do
  [ -e "$f" ] || { echo "(none)"; break; }
  printf '%s: %s\n' "$(basename "$f")" "$(tr '\r' '|' < "$f")"
done

section "Requests the service received (method | path | query | body)"
sed 's/\t/ | /g' "$sandbox/requests.txt" 2>/dev/null || echo "(none)"

section "Log: $(ls "$install"/ApplicationLog/nfyDeskLog/ | head -1)"
cat "$install"/ApplicationLog/nfyDeskLog/*.txt | tr -d '\r'
