#!/usr/bin/env bash
# Saved reports reach the service: a run whose report service is down saves
# the report; when the service is back, nfyDeskResend posts it once, as it
# was saved, and deletes it. A service that refuses it (HTTP 500) keeps it;
# one that still refuses a report 30 days old moves it to "undeliverable".
# Under Wine the data folder is C:\ProgramData\VELTOR.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
RESEND="$INSTALL/nfyDeskResend"
is_windows && RESEND="$RESEND.exe"
cp "$NFY_BUILD_DIR/$(basename "$RESEND")" "$RESEND"
SAVED="$DATA/DeskPostLogs"

run_resend() {
  if is_windows; then wine_run "$RESEND" >"$SANDBOX/resend.out" 2>&1 || true; else "$RESEND" >"$SANDBOX/resend.out" 2>&1; fi
}
resend_log() {
  local f
  f="$(ls "$(log_folder)"/nfyDeskResend_1234_*.txt 2>/dev/null | head -n 1)"
  [ -f "$f" ] || fail "no log of nfyDeskResend in $(log_folder): $(log_files)"
  sed -e $'s/\r$//' -e $'s#^[0-9][0-9]/[0-9][0-9]/[0-9]\\{4\\} [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\t##' "$f"
}
# A run that removes message $1 (past its date) while the report service is down.
save_report() {
  printf 'id=%s\nsubject=Too late\ncontent=Past its date\ntimetolive=2\ntimetolivedt=01/01/2020 00:00:00\nstatus=0\n' \
    "$1" >"$SANDBOX/messages.txt"
  flow_start_provider --messages "$SANDBOX/messages.txt"
  printf '[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:1/down\r\n' \
    "$PORT" >"$INSTALL/Configuration/nfyEndpoints.ini"
  run_answering CLICK
  flow_stop_provider
  REPORT="$(cd "$SAVED" && ls -1 | grep "^wpdcmsendmsgdskupd_N_1234_$1_" || true)"
  [ -n "$REPORT" ] || fail "no saved report of $1 in $SAVED: $(ls -A "$SAVED" 2>/dev/null)"
}
# The bodies provider-sim got for the report URL, as recorded (CR LF escaped).
report_bodies() { requests | grep '^/nfydesk/tfr_wpdcmsendmsgdskupd\.asp	mmid=77&sid=55&rid=1234&rty=1	' | cut -f3 || true; }
# A file's bytes as provider-sim records a body.
escaped() {
  local b
  b="$(cat "$1" && echo x)"
  b="${b%x}"
  b="${b//\\/\\\\}"
  b="${b//$'\t'/\\t}"
  b="${b//$'\r'/\\r}"
  printf '%s' "${b//$'\n'/\\n}"
}

note "the report service is down: the report is saved"
save_report 701
saved_body="$(escaped "$SAVED/$REPORT")"
# The service gets the body as the direct post sent it: without the file's
# final line break.
posted_body="${saved_body%\\r\\n}"

note "the service is back: nfyDeskResend delivers it"
rm -f "$SANDBOX/requests.txt"
flow_start_provider
run_resend
assert_eq "$(report_bodies)" "$posted_body" "the one report the service received"
assert_no_path "$SAVED/$REPORT"
log="$(resend_log)"
assert_line "$log" "MSG : nfyDeskResend : delivered, deleted $REPORT"
assert_line "$log" "MSG : Application Ended."
note "a second run has nothing to send"
run_resend
assert_eq "$(report_bodies | grep -c . || true)" "1" "reports received after a second run"

note "a service that refuses it (HTTP 500) keeps it"
save_report 702
rm -f "$SANDBOX/requests.txt"
flow_start_provider --fail status500
run_resend
refused="$(escaped "$SAVED/$REPORT")"
assert_eq "$(report_bodies)" "${refused%\\r\\n}" "the refused report was posted"
[ -f "$SAVED/$REPORT" ] || fail "the refused report is gone"
assert_line "$(resend_log)" "MSG : nfyDeskResend : refused (HTTP 500), kept for a later run: $REPORT"

note "refused again 30 days after it was saved: moved to undeliverable"
touch -d '31 days ago' "$SAVED/$REPORT"
run_resend
assert_no_path "$SAVED/$REPORT"
[ -f "$SAVED/undeliverable/$REPORT" ] || fail "not moved: $(ls -AR "$SAVED")"
assert_eq "$(resend_log | grep -c 'moved to')" "1" "lines about the move"
assert_line "$(resend_log)" \
  "MSG : nfyDeskResend : refused (HTTP 500) for 30 days, moved to $(winpath "$SAVED")${SEP}undeliverable$SEP$REPORT"
note "passed"
