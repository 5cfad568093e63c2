#!/usr/bin/env bash
# Start-up's lines in order, then the template check: a missing template ends
# the run at once.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder
reg_defaults
# Without its trailing separator the installation path gets one.
reg_set InstallationPath "$(winpath "$INSTALL")"
reg_unset Type

run_program
log="$(log_messages "$(the_log)")"
ip="$(install_path)"
dp="$(winpath "$DATA")$SEP"
assert_line "$log" "MSG : Preprocessing : VELT installation path : $ip"
assert_lines_in_a_row "$log" \
  "MSG : Preprocessing : Reading Regid " \
  "MSG : Preprocessing : Type : "
grep -qxE 'MSG : Preprocessing : Exe Version :: [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+' <<<"$log" || fail "no file version in:
$log"
user="$(sed -n 's/^MSG : Preprocessing :sInboxINI_Write :: .*nfyDeskInbox_\(.*\)\.ini$/\1/p' <<<"$log")"
[ -n "$user" ] || fail "no user name in the inbox name"
assert_lines_in_a_row "$log" \
  "MSG : Preprocessing :sInboxINI_Write :: ${dp}nfyDesk${SEP}DeskInbox${SEP}nfyDeskInbox_$user.ini" \
  "MSG : ReadLatestINIFile :: strFolderPath ${dp}nfyDesk${SEP}DeskInbox${SEP}: strFilerFilenfyDeskInbox_$user.ini" \
  "MSG : ReadLatestINIFile :: Folder exists" \
  "MSG : Preprocessing :sInboxINI_Read :: ${dp}nfyDesk${SEP}DeskInbox${SEP}nfyDeskInbox_$user.ini" \
  "${ip}nfyDesk${SEP}nfyBrowser.ocx is missing" \
  "MSG :${ip}nfyDesk${SEP}DeskCom${SEP}nfyDeskMenu.xml is missing. " \
  "MSG : Application Ended."
case "$(log_files)" in "nfyDeskNotify_1234_"[0-9]*"_$user.txt") ;; *) fail "log name $(log_files)" ;; esac
assert_dir "$INSTALL/DeskPostLogs"
assert_dir "$INSTALL/ApplicationLog/nfyDeskLog"
assert_dir "$INSTALL/nfyDesk/DeskInbox/Messages"
assert_dir "$DATA/nfyDesk/DeskInbox/Messages"
assert_no_path "$DATA/nfyDesk/DeskInbox/nfyDeskInbox_$user.ini"

note "with the template the run goes past the check"
rm -rf "$(log_folder)"
mkdir -p "$INSTALL/nfyDesk/DeskCom"
cat >"$INSTALL/nfyDesk/DeskCom/nfyDeskMenu.xml" <<'XML'
<nfydesk><dcmgetclientcommtemplate><desksmsmsg>News.</desksmsmsg><inboxtitle>Inbox</inboxtitle></dcmgetclientcommtemplate></nfydesk>
XML
run_program
log="$(log_messages "$(the_log)")"
assert_line "$log" "${ip}nfyDesk${SEP}nfyBrowser.ocx is missing"
assert_nothing_like "$log" "nfyDeskMenu.xml is missing"
