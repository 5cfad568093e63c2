#!/usr/bin/env bash
# Message ids that are not plain file names, content with line breaks, field
# names in any case and the variants of the confirmation flag; a long body
# costs the log a few kilobytes only, and no value can break a log line.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
mkdir -p "$DATA/nfyDesk/DeskInbox/x" && echo keep >"$DATA/nfyDesk/keep.dat"
cat >"$SANDBOX/reply.xml" <<'XML'
<dcmgetmsgstatus>
  <message><id>..\..\keep</id><content>evil</content><status>0</status></message>
  <message><id>7/../../keep</id><content>evil</content><status>0</status></message>
  <message><ID>501</ID><SUBJECT>Mixed</SUBJECT><Content>a&#13;&#10;b</Content><RequsrConfirm> true </RequsrConfirm><Status>0</Status></message>
  <message><id>502</id><requsrconfirm>yes</requsrconfirm><status>0</status></message>
  <message><id>503</id><content>LONGBODY</content><status>0</status></message>
</dcmgetmsgstatus>
XML
long_body="$(head -c 9000 /dev/zero | tr '\0' x)"
sed -i "s/LONGBODY/$long_body/" "$SANDBOX/reply.xml"
flow_start_provider --messages "$SANDBOX/reply.xml"
run_answering EXIT
log="$(run_log)"
assert_line "$log" "ERR : fncParseDeskMessages, unsafe message id 7/../../keep"
assert_eq "$(inbox_sections)" "MsgCount,501,502,503" "sections"
assert_eq "$(cat "$DATA/nfyDesk/keep.dat")" "keep"
assert_no_path "$MESSAGES/..\\..\\keep.dat"
assert_eq "$(ls "$MESSAGES" | paste -sd,)" "501.dat,503.dat"
assert_eq "$(cat "$MESSAGES/501.dat")" $'a\rb' "content without its line feed"
assert_eq "$(cat "$MESSAGES/503.dat")" "$long_body" "the long body"
assert_line "$log" "MSG : In subCreateMsgFile, SID=501"$'\t'"Content=a\\rb"
assert_line "$log" "MSG : In subCreateMsgFile, SID=503"$'\t'"Content=${long_body:0:4096} ... (9000 bytes)"
grep -qE '^sXMLString : .+ \.\.\. \([0-9]+ bytes\)$' <<<"$log" || fail "the reply's line: $(grep sXMLString <<<"$log" | cut -c1-100)"
! grep -qF "$long_body" "$(the_log)" || fail "the whole long body is in the log"
assert_eq "$(inbox_value 501 Subject)" "Mixed"
assert_eq "$(inbox_value 501 RequireUserConfirmation)" "1"
assert_eq "$(inbox_value 502 RequireUserConfirmation)" "0"
assert_eq "$(inbox_value 503 RequireUserConfirmation)" ""
assert_eq "$(inbox_value MsgCount MSGId)" "501"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "3" "the stored messages only"
