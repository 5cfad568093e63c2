#!/usr/bin/env bash
# The life of messages over several runs: they arrive; between runs the test
# ages one receipt time and marks one message read as the viewer would; a
# later reply recalls the third. Each removal is reported to the service, a
# report that cannot be posted is saved under the data folder.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
cat >"$SANDBOX/messages.txt" <<'MSG'
id=301
subject=Expires
content=Gone in an hour
usractid=1
timetolive=0
timetolivehrs=1
status=0
dcdwntime=07/15/2017 13:00:00

id=302
subject=Read me
content=Read and forget
usractid=0
status=0

id=303
subject=Recalled later
content=Not for long
usractid=1
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"

note "run 1: three messages arrive"
run_answering CLICK
assert_eq "$(inbox_sections)" "MsgCount,301,302,303" "sections"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "3"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "3"
for id in 301 302 303; do [ -f "$MESSAGES/$id.dat" ] || fail "no body file $id"; done
assert_eq "$(requests | grep -c tfr_wpdcmsendmsgdskupd)" "0" "reports after run 1"
assert_eq "$(popup_count)" "1" "popups after run 1"

note "between runs: 301 received two hours ago, 302 read in the viewer, 303 recalled"
received="$(inbox_value 301 DownloadedMNTime)"
aged="$(date -d "$(sed -E 's#^([0-9]{2})/([0-9]{2})/([0-9]{4})#\3-\1-\2#' <<<"$received") 2 hours ago" '+%m/%d/%Y %H:%M:%S')"
sed -i -e "s#^DownloadedMNTime=$received#DownloadedMNTime=$aged#" "$INBOX"
awk -v RS='\r\n' -v ORS='\r\n' '
  /^\[/ { sec = $0 }
  sec == "[302]" && /^ReadStatus=/ { $0 = "ReadStatus=READ" }
  sec == "[MsgCount]" && /^UNREADMsgs=/ { $0 = "UNREADMsgs=2" }
  { print }' "$INBOX" >"$INBOX.new" && mv "$INBOX.new" "$INBOX"
assert_eq "$(inbox_value 302 ReadStatus)" "READ"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=303
subject=Recalled later
usractid=1
status=1
MSG
rm -rf "$(log_folder)"
run_answering CLICK
log="$(run_log)"
assert_eq "$(inbox_sections)" "MsgCount" "sections after run 2"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "0"
assert_eq "$(inbox_value MsgCount UNREADMsgs)" "0"
for id in 301 302 303; do assert_no_path "$MESSAGES/$id.dat"; done
assert_line "$log" "MSG : ----Msg ID. 301 [Subject: Expires] has been EXPIRED."
assert_line "$log" "MSG : Was read by user, so it will be deleted"
assert_line "$log" "MSG : ----Msg ID. 303 [Subject: Recalled later] has been RECALLED. So it will be deleted. "
reports="$(requests | grep '^/nfydesk/tfr_wpdcmsendmsgdskupd\.asp	mmid=77&sid=55&rid=1234&rty=1	' | cut -f3)"
assert_eq "$(sed -E 's#.*<msgid>([^<]*)</msgid>.*<status>([^<]*)</status>.*#\1 \2#' <<<"$reports" | paste -sd,)" \
  "301 2,302 7,303 4" "reports received (id and status)"
grep -q "<msgid>301</msgid><regid>1234</regid><dcddwnldtime>07/15/2017 13:00:00</dcddwnldtime><mnddwnldtime>$aged</mnddwnldtime>" \
  <<<"$reports" || fail "expiry report: $reports"
grep -qE '<msgid>303</msgid>.*<mnexptime>null</mnexptime><status>4</status><mnrecalltime>[0-9/]{10} [0-9:]{8}</mnrecalltime><exever>[0-9.]+</exever></wpdcmsendmsgdskupd>$' \
  <<<"$reports" || fail "recall report: $reports"
assert_eq "$(popup_count)" "1" "no popup in run 2"

note "run 3: a message past its date arrives and goes; the report service is down"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=304
subject=Too late
content=Past its date
timetolive=2
timetolivedt=01/01/2020 00:00:00
status=0
MSG
printf '[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:1/down\r\n' \
  "$PORT" >"$INSTALL/Configuration/nfyEndpoints.ini"
rm -rf "$(log_folder)" "$DATA/DeskPostLogs"
run_answering CLICK
log="$(run_log)"
assert_eq "$(inbox_sections)" "MsgCount" "sections after run 3"
assert_eq "$(inbox_value MsgCount TotalMsgs)" "0"
saved="$(ls "$DATA/DeskPostLogs")"
grep -qE '^wpdcmsendmsgdskupd_N_1234_304_[0-9]{15,16}\.xml$' <<<"$saved" || fail "saved report [$saved]"
body="$(cat "$DATA/DeskPostLogs/$saved")"
assert_eq "$(tail -c 2 "$DATA/DeskPostLogs/$saved" | od -An -c | tr -d ' ')" '\r\n' "saved report ends in CR LF"
is_windows || assert_eq "$(stat -c %a "$DATA/DeskPostLogs/$saved")" "600" "a saved report is the user's own"
grep -q $'^<wpdcmsendmsgdskupd><mmid>77</mmid><msgid>304</msgid>.*<status>2</status>.*</wpdcmsendmsgdskupd>\r$' \
  <<<"$body" || fail "saved report: $body"
assert_line "$log" "MSG : Creating File $(winpath "$DATA/DeskPostLogs")$SEP$saved"
assert_eq "$(popup_count)" "1" "no popup in run 3"
