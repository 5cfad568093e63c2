#!/usr/bin/env bash
# The inbox viewer in a real display server (Xvfb; under Wine on Windows),
# driven by the keyboard: open a message (marked read), confirm one (posted,
# counted down), a failed confirmation, a change by another writer while the
# window is open, a second start, Escape. Leaves a screenshot in the build
# tree's artifacts folder.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
for tool in Xvfb xdotool import; do command -v "$tool" >/dev/null || fail "$tool is not installed"; done

VIEWER="$INSTALL/nfyDesk/nfyInbox.exe"
cp "$NFY_BUILD_DIR/nfyInbox.exe" "$VIEWER"
ARTIFACTS="$NFY_BUILD_DIR/artifacts"
SHOT="$ARTIFACTS/viewer-$NFY_PLATFORM.png"
mkdir -p "$ARTIFACTS"
template "Messages from IT"

inbox_file "[MsgCount]" "TotalMsgs=3" "UNREADMsgs=3" "RequireUserConfirmation=2" "MSGId=502" \
  "Subject=Please confirm your badge renewal" \
  "[501]" "DownloadedMNTime=12/01/2026 09:15:00" "Subject=Maintenance window tonight" "CreatedBy=IT Operations" \
  "ReadStatus=UnRead" "RequireUserConfirmation=0" \
  "[502]" "DownloadedMNTime=12/07/2026 16:40:12" "Subject=Please confirm your badge renewal" \
  "CreatedBy=Security Office" "ReadStatus=UnRead" "RequireUserConfirmation=1" \
  "[503]" "DownloadedMNTime=12/05/2026 11:02:45" "Subject=New VPN client available" "CreatedBy=Help Desk" \
  "ReadStatus=UnRead" "RequireUserConfirmation=1" "TimeToLive=1" "TimeToLiveDays=30"
mkdir -p "$MESSAGES"
printf 'Your building badge expires on 12/31.\rPlease confirm that you have booked a renewal appointment.\r\rThe Security Office' \
  >"$MESSAGES/502.dat"
printf 'Version 5 of the VPN client is ready.\rIt installs itself tonight.' >"$MESSAGES/503.dat"
flow_start_provider

# ------------------------------------------------------------ the display
XVFB_PID= VIEWER_PID= BUS_PID=
# Ends a process this scenario started: politely, then for sure.
stop_pid() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 1 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
stop_all() {
  stop_pid "$VIEWER_PID"
  stop_pid "$BUS_PID"
  stop_pid "$XVFB_PID"
}
trap 'stop_all; flow_stop_provider; e2e_cleanup' EXIT
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$SANDBOX/display" 2>"$SANDBOX/xvfb.out" &
XVFB_PID=$!
for _ in $(seq 1 100); do [ -s "$SANDBOX/display" ] && break; sleep 0.05; done
[ -s "$SANDBOX/display" ] || fail "Xvfb did not start: $(cat "$SANDBOX/xvfb.out")"
export DISPLAY=":$(tr -d '\n' <"$SANDBOX/display")"
if is_windows; then
  # The Wine processes of the set-up above run without a display; the
  # viewer needs a Wine session that starts on this one.
  WINEPREFIX="$NFY_BUILD_DIR/wineprefix" wineserver -w || true
else
  # A private session bus: one viewer per session is a bus name.
  dbus-daemon --session --nofork --print-address=6 6>"$SANDBOX/bus" &
  BUS_PID=$!
  for _ in $(seq 1 100); do [ -s "$SANDBOX/bus" ] && break; sleep 0.05; done
  export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$SANDBOX/bus")"
  export GSK_RENDERER=cairo GDK_BACKEND=x11 GTK_A11Y=none NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
fi

start_viewer() {
  if is_windows; then
    wine_run "$VIEWER" >>"$SANDBOX/viewer.out" 2>&1 &
  else
    "$VIEWER" >>"$SANDBOX/viewer.out" 2>&1 &
  fi
}

# Waits until a condition (a command) holds, at most $1 tenths of a second.
wait_for() {
  local tenths="$1"
  shift
  for _ in $(seq 1 "$tenths"); do "$@" && return 0; sleep 0.1; done
  "$@"
}
key() { xdotool key --clearmodifiers "$@"; }
value_is() { [ "$(inbox_value "$1" "$2")" = "$3" ]; }
expect_value() { wait_for 50 value_is "$1" "$2" "$3" || fail "[$1] $2: expected [$3], got [$(inbox_value "$1" "$2")]"; }
viewer_log() { cat "$(log_folder)"/nfyInbox_* 2>/dev/null | tr -d '\r' || true; }
log_has() { viewer_log | grep -qF -- "$1"; }
window_id() { xdotool search --name "^Messages from IT\$" 2>/dev/null | head -n1; }
has_window() { [ -n "$(window_id)" ]; }

note "the window opens with its title, the newest message selected"
start_viewer
VIEWER_PID=$!
wait_for 600 has_window || fail "no viewer window: $(cat "$SANDBOX/viewer.out")"
WID="$(window_id)"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 0.5

note "Enter opens the newest message and marks it read"
key Return
expect_value 502 ReadStatus READ
expect_value MsgCount UNREADMsgs 2
assert_eq "$(inbox_value 502 DisplayedToUser)" "$USER_NAME"
[[ "$(inbox_value 502 DisplayedToUserMNTime)" =~ ^[0-9]{2}/[0-9]{2}/[0-9]{4}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] ||
  fail "display time [$(inbox_value 502 DisplayedToUserMNTime)]"

note "Alt+C confirms it: posted, then counted down"
key alt+c
expect_value MsgCount RequireUserConfirmation 1
grep -qF $'/nfydesk/tfr_wpdcmupdateusrstatus.asp\tmmid=77&sid=55&rid=1234&rty=1\t<wpdcmupdateusrstatus><mmid>77</mmid><regid>1234</regid><msgid>502</msgid><usrstatus>1</usrstatus></wpdcmupdateusrstatus>' \
  <<<"$(requests)" || fail "user status request: $(requests)"

note "a confirmation that cannot be posted says so and changes nothing"
flow_stop_provider
key Down
key Return
expect_value 503 ReadStatus READ
expect_value MsgCount UNREADMsgs 1
key alt+c
wait_for 50 log_has "ERR : nfyInbox : The confirmation of message 503 was not sent" ||
  fail "no failed confirmation in the log: $(viewer_log)"
assert_eq "$(inbox_value MsgCount RequireUserConfirmation)" "1" "count after a failed post"
assert_eq "$(inbox_value 503 RequireUserConfirmation)" "1" "message after a failed post"
sleep 0.5
import -window root "$SHOT" || fail "screenshot"
note "screenshot $SHOT"

note "a message stored by another writer while the window is open appears"
printf '[504]\r\nDownloadedMNTime=12/08/2026 10:00:00\r\nSubject=Stored while open\r\nReadStatus=UnRead\r\n' >>"$INBOX"
sleep 0.5
key Home
key Return
expect_value 504 ReadStatus READ

note "a second start brings the open window forward and ends"
start_viewer
SECOND=$!
wait_for 100 bash -c "! kill -0 $SECOND 2>/dev/null" || fail "the second viewer did not end"
kill -0 "$VIEWER_PID" 2>/dev/null || fail "the first viewer ended"
viewer_log | grep -qE "MSG : nfyInbox : (Started again|Already open)" || fail "no hand-over line: $(viewer_log)"

note "Escape closes the window"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
key Escape
wait_for 100 bash -c "! kill -0 $VIEWER_PID 2>/dev/null" || fail "the viewer is still open after Escape"
VIEWER_PID=
assert_nothing_like "$(viewer_log)" "ERR : nfyInbox : Failed"

if is_windows; then
  note "started hidden by the notifier's popup click, the window shows all the same"
  printf 'id=505\nsubject=Brought by the service\nrequsrconfirm=false\nstatus=0\n\n' >"$SANDBOX/messages.txt"
  flow_start_provider --messages "$SANDBOX/messages.txt"
  run_answering CLICK
  visible() { [ -n "$(xdotool search --onlyvisible --name "^Messages from IT\$" 2>/dev/null | head -n1)" ]; }
  wait_for 300 visible || fail "the viewer started by the notifier shows no window"
  WID="$(window_id)"
  xdotool windowfocus --sync "$WID" 2>/dev/null || true
  key Escape
  wait_for 100 bash -c '! xdotool search --name "^Messages from IT\$" >/dev/null 2>&1' || fail "not closed"
fi
