#!/usr/bin/env bash
# Two new messages against an inbox that holds 3 messages, 1 unread: stored,
# counted and announced; a click opens the viewer. The same reply again with
# the messages recalled removes both, reports each and shows no popup.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
inbox_file "[MsgCount]" "TotalMsgs=3" "UnReadMsgs=1" "RequireUserConfirmation=0" "MSGId=0" "Subject=" \
  "[91]" "ReadStatus=UnRead" "[92]" "ReadStatus=READ" "[93]" "ReadStatus=READ"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=101
subject=First
content=Line one\nLine two
usractid=0
timetolive=1
timetolivedays=7
createdby=desk
status=0
dcdwntime=07/15/2017 13:00:00

id=102
subject=Second
content=Other body
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"
run_answering CLICK

log="$(run_log)"
assert_eq "$(inbox_sections)" "MsgCount,91,92,93,101,102" "sections"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "5"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "3"
assert_eq "$(inbox_value 101 Subject)" "First"
assert_eq "$(inbox_value 101 ReadStatus)" "UnRead"
assert_eq "$(inbox_value 101 MsgStatus)" "0"
assert_eq "$(inbox_value 101 TimeToLiveDays)" "7"
assert_eq "$(inbox_value 101 DownloadedDCTime)" "07/15/2017 13:00:00"
assert_eq "$(inbox_value 101 Download_InformedToUser)" "$USER_NAME"
grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$' <<<"$(inbox_value 102 DownloadedMNTime)" ||
  fail "receipt time [$(inbox_value 102 DownloadedMNTime)]"
assert_eq "$(cat "$MESSAGES/101.dat")" $'Line one\rLine two' "body file (line feeds removed)"
assert_eq "$(cat "$MESSAGES/102.dat")" "Other body"
assert_eq "$(popup_headers)" "You have total 3 messages from your service provider for your reference. Click for view all messages."
assert_lines_in_a_row "$log" \
  "MSG : Total existing messages            = 3" \
  "MSG : Total Unread messages              = 1" \
  "MSG : Require User Confirmation messages = 0" \
  "MSG : Message Id                         = 0" \
  "MSG : Subject                            = "
assert_line "$log" "MSG : Webposting Source :: http://127.0.0.1:$PORT/nfydesk/tfr_wpdcmgetmsgstatus.asp?mmid=77&sid=55&rid=1234&rty=1"
assert_line "$log" "MSG : User clicked on the popup"
assert_ends_with "$log" "MSG : fncExecuteShell :: $(install_path)nfyDesk${SEP}nfyInbox.exe" \
  "MSG : Successfully executed the $(install_path)nfyDesk${SEP}nfyInbox.exe" "MSG : Application Ended."
assert_viewer_started
req="$(requests)"
grep -qE '^/nfydesk/tfr_wpdcmgetmsgstatus\.asp	mmid=77&sid=55&rid=1234&rty=1	<wpdcmgetmsgstatus><mmid>77</mmid><regid>1234</regid><usrname>[^<]*</usrname><dt>[0-9/: ]+</dt></wpdcmgetmsgstatus>$' <<<"$req" ||
  fail "status request: $req"

note "the same messages again, now recalled"
sed -i 's/^status=0/status=1/' "$SANDBOX/messages.txt"
rm -rf "$(log_folder)"
run_answering CLICK
log="$(run_log)"
assert_eq "$(inbox_sections)" "MsgCount,91,92,93" "sections after the recall"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "3"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "1"
assert_no_path "$MESSAGES/101.dat"
assert_no_path "$MESSAGES/102.dat"
assert_line "$log" "MSG : ----Msg ID. 101 [Subject: First] has been RECALLED. So it will be deleted. "
assert_eq "$(requests | grep -c '^/nfydesk/tfr_wpdcmsendmsgdskupd\.asp	mmid=77&sid=55&rid=1234&rty=1	.*<status>4</status>')" "2" \
  "recall reports received"
assert_eq "$(popup_count)" "1" "popups shown over both runs"
assert_nothing_like "$log" "MSG : Application Ended."
