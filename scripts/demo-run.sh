#!/usr/bin/env bash
# One complete run of the built Linux program against the provider simulator,
# in a throw-away sandbox installation. Shows what support staff look at.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/sandbox.sh"
section() { printf '\n\033[1m== %s\033[0m\n' "$1"; }
sandbox_create
# The real inbox viewer, in place of the stand-in the benchmark uses.
cp "$bin/nfyInbox.exe" "$install/nfyDesk/nfyInbox.exe"

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

sandbox_start_provider "$sandbox/messages.txt"

section "Run 1 (provider simulator on 127.0.0.1:$port)"
start=$(date +%s%N)
if [ -t 0 ] && [ -t 1 ]; then
  echo "The popup asks in this terminal."
  env -u DBUS_SESSION_BUS_ADDRESS "$install/nfyDeskNotify" || true
else
  echo "No terminal: the desktop simulator on a private D-Bus answers for the user (a click on the popup)."
  if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    # No display either: the viewer opens on a virtual one.
    Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$sandbox/display" 2>/dev/null &
    sandbox_pids+=($!)
    for _ in $(seq 100); do [ -s "$sandbox/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(tr -d '\n' <"$sandbox/display")"
  fi
  # The viewer that the click opens is closed after a moment with Escape,
  # as a user would close it.
  GTK_A11Y=none dbus-run-session -- bash -c '
    "$0" --answer click --record "$1" > "$2" &
    sim=$!
    for _ in $(seq 100); do grep -q ready "$2" 2>/dev/null && break; sleep 0.05; done
    "$3" || true
    for _ in $(seq 100); do w="$(xdotool search --name "^Messages\$" 2>/dev/null | head -n1)"; [ -n "$w" ] && break; sleep 0.1; done
    if [ -n "$w" ]; then
      echo "The inbox viewer opened (window \"Messages\"); closing it with Escape."
      sleep 2
      xdotool windowfocus --sync "$w" key Escape 2>/dev/null || true
      sleep 0.5
    else
      echo "The inbox viewer did not open a window (no display?)."
    fi
    kill $sim' "$bin/tools/desktop-sim/desktop-sim" "$sandbox/popups.txt" "$sandbox/desktop.out" \
    "$install/nfyDeskNotify" 2>"$sandbox/bus.err"
  section "Popup"
  IFS=$'\t' read -r _ summary body actions timeout <"$sandbox/popups.txt"
  printf 'Header:  %s\nBody:    %s\nActions: %s\nTimeout: %s ms (0: stays until answered)\n' \
    "$summary" "$body" "$actions" "$timeout"
  echo "The user clicked the popup (the program hears CLICK) and the inbox viewer opened."
fi
echo "Run took $(( ($(date +%s%N) - start) / 1000000 )) ms"
sleep 0.3

inbox_ini() { ls "$install"/nfyDesk/DeskInbox/*.ini 2>/dev/null | head -1; }
show_inbox() {
  section "Inbox: $(basename "$(inbox_ini)")"
  tr -d '\r' <"$(inbox_ini)" 2>/dev/null || echo "(none)"
  section "Body files"
  for f in "$install"/nfyDesk/DeskInbox/Messages/*.dat; do
    [ -e "$f" ] || { echo "(none)"; break; }
    printf '%s: %s\n' "$(basename "$f")" "$(tr '\r' '|' < "$f")"
  done
}

section "Inbox viewer log"
cat "$install"/ApplicationLog/nfyDeskLog/nfyInbox_*.txt 2>/dev/null | tr -d '\r' || echo "(not started)"
show_inbox

section "Requests the service received (method | path | query | body)"
sed 's/\t/ | /g' "$sandbox/requests.txt" 2>/dev/null || echo "(none)"

section "Log: $(ls "$install"/ApplicationLog/nfyDeskLog/ | grep -v '^nfyInbox_' | head -1)"
cat "$install"/ApplicationLog/nfyDeskLog/nfyDeskNotify_*.txt | tr -d '\r'

# A week and a day later: message 101 (seven days to live) has run out, and
# the provider recalls 102. The receipt time is moved back instead of waiting.
section "Run 2, eight days later: 101 has expired, the provider recalls 102"
ini="$(inbox_ini)"
received="$(tr -d '\r' <"$ini" | awk '/^\[101\]/{s=1;next} /^\[/{s=0} s && /^DownloadedMNTime=/{print substr($0,18)}')"
aged="$(date -d "$(sed -E 's#^([0-9]{2})/([0-9]{2})/([0-9]{4})#\3-\1-\2#' <<<"$received") 8 days ago" '+%m/%d/%Y %H:%M:%S')"
sed -i "s#^DownloadedMNTime=$received#DownloadedMNTime=$aged#" "$ini"
echo "101 received: $aged (moved back from $received)"
cat >"$sandbox/messages.txt" <<'MSG'
id=102
subject=New security policy
usractid=1
requsrconfirm=true
status=1
MSG
: >"$sandbox/requests.txt"
rm -f "$install"/ApplicationLog/nfyDeskLog/*.txt
"$install/nfyDeskNotify" </dev/null >/dev/null 2>&1 || true
show_inbox

section "Reports the service received in run 2 (status 2: expired, 4: recalled)"
grep 'tfr_wpdcmsendmsgdskupd' "$sandbox/requests.txt" | cut -f4 || echo "(none)"

section "Log of run 2: the clean-up pass"
tr -d '\r' <"$(ls "$install"/ApplicationLog/nfyDeskLog/nfyDeskNotify_*.txt | head -1)" |
  sed -n '/In fncDeleteExpiredMsgs/,$p'
