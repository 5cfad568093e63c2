#!/usr/bin/env bash
# The viewer marks a message read while a run's expiry pass waits for the
# service to take the report of another message: the inbox keeps both
# changes, and the unread count stays true to the sections.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
inbox_file "[MsgCount]" "TotalMsgs=2" "UNREADMsgs=2" "RequireUserConfirmation=0" "MSGId=0" "Subject=" \
  "[1]" "DownloadedMNTime=01/02/2020 10:00:00" "Subject=Expired" "UserActionID=1" "TimeToLive=0" \
  "TimeToLiveHrs=1" "MsgStatus=0" "ReadStatus=UnRead" "RequireUserConfirmation=0" \
  "[2]" "DownloadedMNTime=01/02/2020 10:00:00" "Subject=Stays" "UserActionID=1" "TimeToLive=" \
  "MsgStatus=0" "ReadStatus=UnRead" "RequireUserConfirmation=0"
# Every answer takes a while: the report of [1] is still on its way when the
# viewer opens [2].
delay=4000
is_windows && delay=8000
flow_start_provider --fail slow --delay-ms "$delay" --messages /dev/null

run_answering EXIT &
run=$!
for i in $(seq 1 600); do
  requests | grep -q tfr_wpdcmsendmsgdskupd && break
  sleep 0.05
done
requests | grep -q tfr_wpdcmsendmsgdskupd || fail "no report was posted"
note "the report is on its way: the viewer opens message 2"
if is_windows; then
  wine_run "$NFY_BUILD_DIR/tools/ini-writer/ini-writer.exe" mark-read "$(winpath "$INBOX")" 2 || fail "mark-read"
else
  "$NFY_BUILD_DIR/tools/ini-writer/ini-writer" mark-read "$INBOX" 2 || fail "mark-read"
fi
kill -0 "$run" 2>/dev/null || fail "the run ended before the viewer came"
wait "$run"

log="$(run_log)"
assert_line "$log" "MSG : ----Msg ID. 1 [Subject: Expired] has been EXPIRED."
assert_eq "$(inbox_sections)" "MsgCount,2" "sections"
assert_eq "$(inbox_value 2 ReadStatus)" "READ" "read by the viewer"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "0" "unread count"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "1" "total count"
