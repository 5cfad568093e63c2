#!/usr/bin/env bash
# The service down, a blank reply, and replies the parser cannot use.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
stored() {
  inbox_file "[MsgCount]" "TotalMsgs=2" "UnReadMsgs=2" "RequireUserConfirmation=0" "MSGId=0" "Subject=" \
    "[91]" "ReadStatus=UnRead" "[92]" "ReadStatus=UnRead"
}
fresh() { rm -rf "$(log_folder)" "$SANDBOX/popups.txt"; stored; }

note "service down: stored unread messages are announced"
fresh
endpoint "http://127.0.0.1:9/nfydesk"
run_answering EXIT
log="$(run_log)"
grep -q '^ERR : WebPost Failed : ' <<<"$log" || fail "no post failure line in:
$log"
assert_no_line "$log" "MSG : No new messages found."
assert_eq "$(popup_headers)" "You have total 2 messages from your service provider for your reference. Click for view all messages."

note "blank reply: no new messages, stored ones announced"
fresh
flow_start_provider --fail blank
run_answering AUTOCLOSE
log="$(run_log)"
assert_line "$log" "MSG : No new messages found."
assert_eq "$(popup_count)" "1"

for mode in "--fail garbage" "--messages $SANDBOX/other.xml"; do
  note "unusable reply ($mode): no popup"
  printf '<other><message><id>9</id></message></other>' >"$SANDBOX/other.xml"
  fresh
  flow_start_provider $mode
  run_answering CLICK
  log="$(run_log)"
  assert_eq "$(popup_count)" "0"
  assert_no_line "$log" "MSG : No new messages found."
  assert_nothing_like "$log" "MSG : Application Ended."
done
assert_line "$log" "MSG : Successfully loaded the xml"

note "service answers 500"
fresh
flow_start_provider --fail status500
run_answering EXIT
assert_eq "$(popup_count)" "1"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "2"
