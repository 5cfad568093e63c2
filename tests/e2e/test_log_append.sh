#!/usr/bin/env bash
# A second run on the same day appends to the day's log after a new banner.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder
reg_defaults

run_program
first="$(log_messages "$(the_log)")"
run_program
both="$(log_messages "$(the_log)")"  # still a single file

stars="$(printf '%85s' '' | tr ' ' '*')"
assert_eq "$(head -n "$(wc -l <<<"$first")" <<<"$both")" "$first" "the first run's lines stay first"
assert_eq "$(grep -cxF "MSG : Preprocessing : Application started" <<<"$both")" 2 "banners"
assert_lines_in_a_row "$both" \
  "MSG : Application Ended." \
  "$stars" \
  "MSG : Preprocessing : Application started" \
  "$stars" \
  "MSG : Preprocessing : VELT installation path : $(install_path)"
