#!/usr/bin/env bash
# Each way of closing the popup, the header for one and for several unread
# messages, and a custom title.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
message() { printf 'id=%s\nsubject=Subject %s\nrequsrconfirm=%s\nstatus=0\n\n' "$1" "$1" "${2:-false}"; }
fresh() {
  rm -rf "$(log_folder)" "$DATA/nfyDesk/DeskInbox" "$SANDBOX/requests.txt" "$SANDBOX/popups.txt"
  mkdir -p "$MESSAGES"
}

note "OKCLICK confirms the message awaiting confirmation, then opens the viewer"
message 201 true >"$SANDBOX/messages.txt"
flow_start_provider --messages "$SANDBOX/messages.txt"
run_answering OKCLICK
log="$(run_log)"
assert_eq "$(popup_headers)" "You have total 1 message from your service provider for your reference. Click for view all messages."
is_windows && { grep -q 'DisplayTimeSeconds=0' "$SANDBOX/popups.txt" || fail "display time: $(cat "$SANDBOX/popups.txt")"; }
is_windows || { grep -q '\bok\b' <<<"$(cut -f4 "$SANDBOX/popups.txt")" || fail "no OK action: $(cat "$SANDBOX/popups.txt")"; }
grep -qF $'/nfydesk/tfr_wpdcmupdateusrstatus.asp\tmmid=77&sid=55&rid=1234&rty=1\t<wpdcmupdateusrstatus><mmid>77</mmid><regid>1234</regid><msgid>201</msgid><usrstatus>1</usrstatus></wpdcmupdateusrstatus>' \
  <<<"$(requests)" || fail "user status request: $(requests)"
assert_line "$log" "MSG : User clicked on OK button"
assert_eq "$(inbox_value MsgCount RequireUserConfirmation)" "0"
assert_viewer_started

for pair in "EXIT:MSG : User clicked on the EXIT button of the popup" "AUTOCLOSE:MSG : Popup timeout."; do
  answer="${pair%%:*}" line="${pair#*:}"
  note "$answer ends the run"
  fresh
  { message 301; message 302; message 303; } >"$SANDBOX/messages.txt"
  run_answering "$answer"
  log="$(run_log)"
  assert_eq "$(popup_headers)" "You have total 3 messages from your service provider for your reference. Click for view all messages."
  assert_ends_with "$log" "$line" "MSG : Application Ended."
  assert_eq "$(tr -d '\r' <"$SANDBOX/viewer.txt")" "" "viewer record"
done

note "a custom title is the header"
fresh
template "  Read your messages now  "
message 401 >"$SANDBOX/messages.txt"
run_answering EXIT
assert_eq "$(popup_headers)" "Read your messages now"

if is_windows; then
  note "an answer the program does not know: the flow returns"
  fresh
  run_answering ""
  log="$(run_log)"
  assert_nothing_like "$log" "MSG : Application Ended."
  assert_nothing_like "$log" "ERR :"
fi
