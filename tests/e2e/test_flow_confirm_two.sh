#!/usr/bin/env bash
# Two messages await the user's confirmation. Confirming the popup confirms
# the first; the summary then names the second, and the next run's popup asks
# about that one, not the first again.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
cat >"$SANDBOX/messages.txt" <<'MSG'
id=401
subject=Confirm first
requsrconfirm=TRUE
status=0

id=402
subject=Confirm second
requsrconfirm=TRUE
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"
run_answering OKCLICK
assert_eq "$(inbox_value MsgCount RequireUserConfirmation)" "1"
assert_eq "$(inbox_value MsgCount MSGId)" "402"
assert_eq "$(inbox_value MsgCount Subject)" "Confirm second"
assert_eq "$(inbox_value 401 RequireUserConfirmation)" "0"
assert_eq "$(inbox_value 402 RequireUserConfirmation)" "1"
status_ids() { requests | grep '^/nfydesk/tfr_wpdcmupdateusrstatus\.asp' | sed -E 's#.*<msgid>([^<]*)</msgid>.*#\1#' | paste -sd,; }
assert_eq "$(status_ids)" "401" "confirmations after run 1"

note "run 2: a new message brings the popup up again"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=403
subject=Plain news
status=0
MSG
rm -rf "$(log_folder)"
run_answering OKCLICK
assert_eq "$(status_ids)" "401,402" "confirmations after run 2"
assert_eq "$(inbox_value MsgCount RequireUserConfirmation)" "0"
assert_eq "$(inbox_value MsgCount MSGId)" ""
assert_eq "$(popup_count)" "2"
assert_viewer_started
