#!/usr/bin/env bash
# The data folder follows ALLUSERSPROFILE (under Wine that is always
# C:\ProgramData, so the data folder is C:\ProgramData\VELTOR\): the log, the
# inbox and the message folder live there, while the folders start-up makes
# under the installation folder are still made.
source "$(dirname "$0")/lib.sh"
e2e_begin
reg_defaults

# Runs with ALLUSERSPROFILE (ignored under Wine) and checks that the run used
# $DATA as its data folder.
run_with_data_folder() {
  local profile="$1"
  rm -rf "$INSTALL/ApplicationLog" "$INSTALL/nfyDesk/DeskInbox" "$INSTALL/DeskPostLogs"
  ALLUSERSPROFILE="$profile" run_program
  local log dp
  log="$(log_messages "$(the_log)")"
  dp="$(winpath "$DATA")$SEP"
  grep -qxE "MSG : Preprocessing :sInboxINI_Write :: $(sed 's/[][\\.*^$]/\\&/g' <<<"${dp}nfyDesk${SEP}DeskInbox${SEP}")nfyDeskInbox_.+\.ini" <<<"$log" ||
    fail "inbox not under $dp:
$log"
  assert_dir "$DATA/nfyDesk/DeskInbox/Messages"
  assert_dir "$INSTALL/ApplicationLog/nfyDeskLog"
  assert_dir "$INSTALL/nfyDesk/DeskInbox/Messages"
  assert_dir "$INSTALL/DeskPostLogs"
}

if is_windows; then
  note "C:\\ProgramData\\VELTOR, whatever the Linux side says"
  make_data_folder
  run_with_data_folder "/srv/elsewhere"
  assert_eq "$(winpath "$DATA")" 'C:\ProgramData\VELTOR' "data folder"
  [ -z "$(ls "$INSTALL/ApplicationLog/nfyDeskLog")" ] || fail "a log under the installation folder"
else
  note "a ProgramData folder"
  DATA="$SANDBOX/ProgramData/VELTOR"
  make_data_folder
  run_with_data_folder "$SANDBOX/ProgramData"
  [ -z "$(ls "$INSTALL/ApplicationLog/nfyDeskLog")" ] || fail "a log under the installation folder"

  note "an All Users folder"
  DATA="$SANDBOX/Documents and Settings/All Users/Application Data/VELTOR"
  make_data_folder
  run_with_data_folder "$SANDBOX/Documents and Settings/All Users"

  note "any other value: the installation folder"
  DATA="$INSTALL"
  run_with_data_folder "$SANDBOX/elsewhere"
  rm -rf "$SANDBOX/ProgramData"
fi

note "a data folder without nfyDesk: start-up stops early but the log is there"
if is_windows; then profile=/srv/elsewhere; else
  DATA="$SANDBOX/ProgramData/VELTOR"
  profile="$SANDBOX/ProgramData"
fi
rm -rf "$DATA" "$INSTALL/ApplicationLog"
mkdir -p "$DATA"
ALLUSERSPROFILE="$profile" run_program
log="$(log_messages "$(the_log)")"
grep -q '^ERR : Function subCreateLog :: 76:' <<<"$log" || fail "no start-up error line:
$log"
assert_nothing_like "$log" "sInboxINI"
assert_ends_with "$log" \
  "MSG :$(install_path)nfyDesk${SEP}DeskCom${SEP}nfyDeskMenu.xml is missing. " \
  "MSG : Application Ended."
[ -z "$(find "$SANDBOX" "$DATA" -name '*.ini')" ] || fail "an inbox file was made: $(find "$SANDBOX" "$DATA" -name '*.ini')"

note "no data folder at all: no log anywhere, nothing under the missing folder"
rm -rf "$DATA" "$INSTALL/ApplicationLog"
ALLUSERSPROFILE="$profile" run_program
assert_no_path "$DATA"
assert_dir "$INSTALL/ApplicationLog/nfyDeskLog"
[ -z "$(ls "$INSTALL/ApplicationLog/nfyDeskLog")" ] || fail "a log under the installation folder"
