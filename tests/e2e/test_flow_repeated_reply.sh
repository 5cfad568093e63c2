#!/usr/bin/env bash
# A service that sends the same messages on every run: after each run the
# summary counts are what the sections say, through three equal replies, a
# recall of one message, and a message the user read that comes once more,
# first as it was, then changed. A reply that changes nothing replaces no
# file: the inbox and the bodies stay the very files they were.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin

replies() {
  printf 'id=501\nsubject=First\ncontent=One\nusractid=1\nstatus=%s\n\n' "$1"
  printf 'id=502\nsubject=Second\ncontent=Two\nusractid=1\nstatus=0\n'
}
# The counts the sections give: every message section, and those unread.
counts_match() {
  local sections unread
  sections="$(inbox_sections | tr ',' '\n' | grep -vcx MsgCount || true)"
  unread="$(tr -d '\r' <"$INBOX" | awk '/^\[/ { s = $0 } s != "[MsgCount]" && tolower($0) == "readstatus=unread"' | grep -c . || true)"
  assert_eq "$(inbox_value MsgCount TotalMsgs)" "$sections" "$1: TotalMsgs against $(inbox_sections)"
  assert_eq "$(inbox_value MsgCount UNREADMsgs)" "$unread" "$1: UNREADMsgs"
}

# Each file of the inbox as its identity (inode), size and change time.
files_state() { stat -c '%n %i %s %Y.%Z' "$INBOX" "$MESSAGES"/*.dat; }

replies 0 >"$SANDBOX/messages.txt"
flow_start_provider --messages "$SANDBOX/messages.txt"
for run in 1 2 3; do
  run_answering EXIT
  assert_eq "$(inbox_sections)" "MsgCount,501,502" "sections after run $run"
  counts_match "run $run"
  if [ "$run" = 1 ]; then
    received="$(inbox_value 501 DownloadedMNTime)"
    before="$(files_state)"
    sleep 1.1  # a file written again would get a later time
  else
    assert_eq "$(files_state)" "$before" "inbox files after run $run"
  fi
done
assert_eq "$(inbox_value 501 DownloadedMNTime)" "$received" "the receipt time of a message that came again"
assert_line "$(run_log)" "MSG : Message 501 is in the inbox as the reply has it; it is not written again"
# The clean-up pass of the last run: messages that came again as they are
# stored are counted, not logged one by one.
last_run="$(run_log | awk '/^\*\*\*\*\*\*\*\*\*\*/ { run = "" } { run = run $0 "\n" } END { printf "%s", run }')"
assert_no_line "$last_run" "MSG : ----------------MSG ID [501]-------------------------------"
assert_line "$last_run" "MSG : Messages stored by earlier runs that stay: 2; none has a time to live"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "2"
assert_eq "$(popup_headers | tail -n 1)" \
  "You have total 2 messages from your service provider for your reference. Click for view all messages."

note "the service recalls 501"
replies 1 >"$SANDBOX/messages.txt"
run_answering EXIT
assert_eq "$(inbox_sections)" "MsgCount,502" "sections after the recall"
counts_match "recall"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "1"

note "the user reads 502 (it asks for an action, so it stays); the service sends it again as it was, then changed"
awk -v RS='\r\n' -v ORS='\r\n' '
  /^\[/ { sec = $0 }
  sec == "[502]" && /^ReadStatus=/ { $0 = "ReadStatus=READ" }
  sec == "[MsgCount]" && /^UNREADMsgs=/ { $0 = "UNREADMsgs=0" }
  { print }' "$INBOX" >"$INBOX.new" && mv "$INBOX.new" "$INBOX"
replies 0 | sed -n '/^id=502/,$p' >"$SANDBOX/messages.txt"
run_answering EXIT
assert_eq "$(inbox_value 502 ReadStatus)" "READ" "the message came again as it was"
counts_match "read"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "0"
replies 0 | sed -n '/^id=502/,$p' | sed 's/^content=Two$/content=Two, amended/' >"$SANDBOX/messages.txt"
run_answering EXIT
assert_eq "$(inbox_value 502 ReadStatus)" "UnRead" "the message came again changed"
assert_eq "$(tr -d '\r' <"$MESSAGES/502.dat")" "Two, amended"
counts_match "changed"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "1"
