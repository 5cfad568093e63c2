#!/usr/bin/env bash
# An identifier whose number is 0 (or that is missing) ends the run right after
# its "Invalid" line; the identifiers after it are not read.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder
reg_defaults

note "RegID 0"
reg_set RegID 0
run_program
log="$(log_messages "$(the_log)")"
assert_ends_with "$log" \
  "MSG : Preprocessing : Reading Regid " \
  "MSG : Preprocessing : RegId : 0" \
  "MSG : Preprocessing : Invalid RegId" \
  "MSG : Application Ended."
assert_nothing_like "$log" "SiteID"
case "$(log_files)" in nfyDeskNotify_0_*) ;; *) fail "log name $(log_files)" ;; esac
rm -rf "$(log_folder)"

note "RegID missing: the log name holds two underscores in a row"
reg_unset RegID
run_program
log="$(log_messages "$(the_log)")"
assert_ends_with "$log" \
  "MSG : Preprocessing : Reading Regid " \
  "MSG : Preprocessing : RegId : " \
  "MSG : Preprocessing : Invalid RegId" \
  "MSG : Application Ended."
assert_nothing_like "$log" "SiteID"
case "$(log_files)" in nfyDeskNotify__[0-9]*) ;; *) fail "log name $(log_files)" ;; esac
rm -rf "$(log_folder)"

note "siteid not a number: MemberID is not read"
reg_set RegID 1234
reg_set siteid abc
run_program
log="$(log_messages "$(the_log)")"
assert_ends_with "$log" \
  "MSG : Preprocessing : RegId : 1234" \
  "MSG : Preprocessing : Reading Regid " \
  "MSG : Preprocessing : SiteID : abc" \
  "MSG : Preprocessing : Invalid Siteid" \
  "MSG : Application Ended."
assert_nothing_like "$log" "MemberID"
rm -rf "$(log_folder)"

note "MemberID 0 after a valid site id with a trailing text"
reg_set siteid "0012x"
reg_set MemberID "0"
run_program
log="$(log_messages "$(the_log)")"
assert_ends_with "$log" \
  "MSG : Preprocessing : MemberID : 0" \
  "MSG : Preprocessing : Invalid MemberID" \
  "MSG : Application Ended."
assert_line "$log" "MSG : Preprocessing : SiteID : 0012x"
assert_nothing_like "$log" "Type :"
