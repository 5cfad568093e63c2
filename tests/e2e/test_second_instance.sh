#!/usr/bin/env bash
# A run that starts while another instance runs writes to its own log file,
# whose name carries its start time.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder
reg_defaults

e2e_hold_instance
run_program
name="$(log_files)"
[ "$(wc -l <<<"$name")" -eq 1 ] || fail "log files: $name"
[[ "$name" =~ ^nfyDeskNotify_1234_[0-9]{8}_[0-9]{6}_.+\.txt$ ]] || fail "not a timed name: $name"
log_messages "$(the_log)" | grep -qxF "MSG : Application Ended." || fail "the timed log is incomplete"
e2e_release_instance

note "alone again: the daily name"
user="${name#nfyDeskNotify_1234_????????_??????_}"
user="${user%.txt}"
run_program
daily="$(log_files | grep -vxF "$name")"
[[ "$daily" =~ ^nfyDeskNotify_1234_[0-9]{8}_(.*)\.txt$ ]] && [ "${BASH_REMATCH[1]}" = "$user" ] ||
  fail "not the daily name: $daily"
