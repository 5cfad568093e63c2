#!/usr/bin/env bash
# On Linux the data folder is shared by the users of the machine. Another
# (real) user plants symbolic links, FIFOs, a program named like the start
# of the installation path, and files of their own (open to all) at the
# names the run writes or reads; the run overwrites nothing through them,
# never hangs on them, writes nothing into their files, reads no inbox of
# theirs, keeps the inbox's mode, and starts the real viewer.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"

if [ "$(id -u)" -ne 0 ] || ! command -v useradd >/dev/null; then
  echo "skipped: a second user needs root and useradd"
  exit 77
fi

OTHER="nfyother$$"
useradd -M -N -s /usr/sbin/nologin "$OTHER" 2>/dev/null || {
  echo "skipped: useradd could not create a second user"
  exit 77
}
as_other() { runuser -u "$OTHER" -- "$@"; }

flow_begin
trap 'flow_stop_provider; userdel "$OTHER" 2>/dev/null || true; e2e_cleanup' EXIT

# Files of the other user at every name of the log that a run in the next
# 20 seconds can know beforehand: the daily one and the timed ones, with
# "-1" to "-9" too. The run then logs under a name with a random ending.
take_log_names() {
  local folder day now s t n
  folder="$(log_folder)" day="$(date +%m%d%Y)" now="$(date +%s)"
  for s in $(seq 0 20); do
    t="$(date -d "@$((now + s))" +%H%M%S)"
    for n in "" -1 -2 -3 -4 -5 -6 -7 -8 -9; do : >"$folder/nfyDeskNotify_1234_${day}_$t${n}_$USER_NAME.txt"; done
  done
  : >"$folder/nfyDeskNotify_1234_${day}_$USER_NAME.txt"
  chmod 0666 "$folder"/*.txt
  chown "$OTHER" "$folder"/*.txt
}
assert_random_log_name() {
  local own
  own="$(cd "$(log_folder)" && find . -maxdepth 1 -user "$(id -un)" -name '*.txt' | sed 's|^\./||')"
  [[ "$own" =~ ^nfyDeskNotify_1234_[0-9]{8}_[0-9]{6}-[0-9a-z]{10}_${USER_NAME}\.txt$ ]] || fail "not a random name: [$own]"
  grep -q $'\tMSG : Application Ended.\r$' "$(log_folder)/$own" || fail "the run's log is not whole"
  rm -f "$(log_folder)"/*
}

# nfyDeskResend beside the notifier, and a report the service refused for
# more than 30 days, which a refusal now moves aside.
RESEND="$INSTALL/nfyDeskResend"
is_windows && RESEND="$RESEND.exe"
cp "$NFY_BUILD_DIR/$(basename "$RESEND")" "$RESEND"
REPORT=wpdcmsendmsgdskupd_N_1234_509_0715201713050999.xml
old_report() {
  mkdir -p "$DATA/DeskPostLogs"
  printf '<wpdcmsendmsgdskupd><msgid>509</msgid></wpdcmsendmsgdskupd>\r\n' >"$DATA/DeskPostLogs/$REPORT"
  touch -d '31 days ago' "$DATA/DeskPostLogs/$REPORT"
}
resend_log() {
  sed -e $'s/\r$//' -e $'s#^[0-9][0-9]/[0-9][0-9]/[0-9]\\{4\\} [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\t##' \
    "$(log_folder)"/nfyDeskResend_1234_*.txt
}
# The report stays where it is when another user made the folder it would
# be moved into, with the line that says so.
assert_report_kept() {
  local log
  log="$(resend_log)"
  [ -f "$DATA/DeskPostLogs/$REPORT" ] || fail "the report was moved: $(ls -AR "$DATA/DeskPostLogs")"
  assert_eq "$(ls -A "$DATA/DeskPostLogs/undeliverable")" "" "the other user's folder"
  assert_line "$log" "ERR : nfyDeskResend : cannot move $REPORT to $1 : 70:Permission denied"
  assert_nothing_like "$log" "another instance"
}

# Under Wine a file's owner SID is that of its Unix owner: files the other
# user owns are another owner's to the program, as on a Windows machine
# whose users share C:\ProgramData\VELTOR. (Links and FIFOs below are Linux
# matters.)
if is_windows; then
  printf 'id=101\nsubject=First\ncontent=The body\nstatus=0\n' >"$SANDBOX/messages.txt"
  flow_start_provider --messages "$SANDBOX/messages.txt"
  run_answering EXIT
  logfile="$(the_log)"
  rm -f "$logfile"
  give() { printf '%s' "$2" >"$1" && chown "$OTHER" "$1"; }
  give "$logfile" ""
  give "$INBOX.old.ini" $'[101]\r\nMsgStatus=1\r\n'
  touch -d '+1 minute' "$INBOX.old.ini"
  : >"$SANDBOX/requests.txt"
  run_answering EXIT
  assert_eq "$(stat -c %s "$logfile")" "0" "the other user's log file"
  own_log="$(log_files | grep -vxF "$(basename "$logfile")")"
  [[ "$own_log" =~ _[0-9]{6}_.+\.txt$ ]] || fail "not the timed name: $own_log"
  rm -f "$(log_folder)"/*
  take_log_names
  run_answering EXIT
  assert_random_log_name
  assert_eq "$(inbox_value 101 Subject)" "First" "the message stays"
  assert_eq "$(requests | grep -c tfr_wpdcmsendmsgdskupd || true)" "0" "reports"
  rm -f "$(log_folder)"/* "$INBOX" "$INBOX.old.ini" "$MESSAGES/101.dat"
  give "$INBOX" $'[MsgCount]\r\nTotalMsgs=0\r\n'
  give "$MESSAGES/101.dat" ""
  run_answering EXIT
  log="$(run_log)"
  assert_line "$log" "ERR : ReadLatestINIFile ::  70:Permission denied"
  assert_line "$log" "ERR : Failed to write to the INI"
  # The store reads the inbox it writes, and another user's file is never read.
  assert_line "$log" "ERR : fncParseDeskMessages, Permission denied, reading $(winpath "$INBOX")"
  assert_eq "$(tr -d '\r' <"$INBOX")" $'[MsgCount]\nTotalMsgs=0' "the other user's inbox"
  assert_eq "$(stat -c %s "$MESSAGES/101.dat")" "0" "the other user's body file"

  note "nfyDeskResend moves no report into a folder of another user"
  rm -f "$(log_folder)"/*
  old_report
  mkdir -p "$DATA/DeskPostLogs/undeliverable"
  chown "$OTHER" "$DATA/DeskPostLogs/undeliverable"
  flow_start_provider --fail status500
  wine_run "$RESEND" >"$SANDBOX/resend.out" 2>&1 || true
  assert_report_kept 'C:\ProgramData\VELTOR\DeskPostLogs\undeliverable'
  exit 0
fi

# The installation lives in a folder every user may write to, reached
# through a path with a blank, as on a workstation where nobody locked the
# folder down.
SHARED="$SANDBOX/shared"
mkdir -p "$SHARED"
chmod 0777 "$SHARED"
ln -s "$INSTALL" "$SHARED/VELT agent"
INSTALL_WITH_BLANK="$SHARED/VELT agent/"
reg_set InstallationPath "$INSTALL_WITH_BLANK"
INBOX="$SHARED/VELT agent/nfyDesk/DeskInbox/nfyDeskInbox_$USER_NAME.ini"
MESSAGES="$SHARED/VELT agent/nfyDesk/DeskInbox/Messages"
as_other test -w "$SHARED" || {
  echo "skipped: the second user cannot reach the sandbox"
  exit 77
}

cat >"$SANDBOX/messages.txt" <<'MSG'
id=101
subject=First
content=The body
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"

# A first run makes the shared folders; every user may write into them.
run_answering EXIT
logfile="$(the_log)"
assert_eq "$(stat -c %a "$logfile")" "600" "a new log file is the user's own"
assert_eq "$(stat -c %a "$INBOX")" "600" "a new inbox is the user's own"
assert_eq "$(stat -c %a "$INBOX.lock")" "600" "the inbox's lock file"
chmod 0777 "$(log_folder)" "$(dirname "$INBOX")" "$MESSAGES"

printf 'precious\n' >"$SANDBOX/victim.txt"
chmod 0644 "$SANDBOX/victim.txt"

# The log file: a link there is never written through.
rm -f "$logfile"
as_other ln -s "$SANDBOX/victim.txt" "$logfile"
run_answering EXIT
assert_eq "$(cat "$SANDBOX/victim.txt")" "precious" "the log's link target"
assert_eq "$(log_files | grep -vcxF "$(basename "$logfile")")" "1" "a log of the run's own beside the link"
rm -f "$(log_folder)"/*

# A body file and the inbox's old temporary name as links; the inbox is 0640.
rm -f "$INBOX" "$MESSAGES/101.dat"
as_other ln -s "$SANDBOX/victim.txt" "$MESSAGES/101.dat"
as_other ln -s "$SANDBOX/victim.txt" "$INBOX.tmp"
inbox_file "[MsgCount]" "TotalMsgs=0"
chmod 0640 "$INBOX"
run_answering EXIT
log="$(run_log)"
assert_eq "$(cat "$SANDBOX/victim.txt")" "precious" "the body's link target"
assert_line "$log" "ERR : subCreateMsgFile, Permission denied"
assert_eq "$(inbox_value 101 Subject)" "First" "the message is stored all the same"
assert_eq "$(stat -c %a "$INBOX")" "640" "the inbox keeps its mode"
[ -L "$INBOX.tmp" ] || fail "the planted link was replaced"
rm -f "$logfile" "$INBOX.tmp" "$MESSAGES/101.dat"

# The inbox itself as a link: refused with the write's failure line.
mv "$INBOX" "$SANDBOX/inbox-copy.ini"
cp "$SANDBOX/inbox-copy.ini" "$SANDBOX/victim.ini"
as_other ln -s "$SANDBOX/victim.ini" "$INBOX"
run_answering EXIT
assert_eq "$(cat "$SANDBOX/victim.ini")" "$(cat "$SANDBOX/inbox-copy.ini")" "the inbox's link target"
assert_line "$(run_log)" "ERR : Failed to write to the INI"
rm -f "$logfile" "$INBOX"

# FIFOs at the inbox and at the template: refused at once, no hang.
as_other mkfifo -m 0666 "$INBOX"
run_answering EXIT  # a hang ends in the scenario's time limit
assert_line "$(run_log)" "ERR : Failed to write to the INI"
rm -f "$logfile" "$INBOX"
template_file="$INSTALL/nfyDesk/DeskCom/nfyDeskMenu.xml"
rm -f "$template_file"
chmod 0777 "$(dirname "$template_file")"
as_other mkfifo -m 0666 "$template_file"
run_answering EXIT
assert_line "$(run_log)" "MSG :${INSTALL_WITH_BLANK}nfyDesk/DeskCom/nfyDeskMenu.xml is missing. "
rm -f "$logfile" "$template_file"
template "$DEFAULT_TITLE"

# A program planted where the installation path's first word ends: the
# viewer the path names is started, not the planted one.
printf '#!/bin/sh\ntouch "%s"\n' "$SANDBOX/planted-ran" >"$SANDBOX/planted.sh"
as_other cp "$SANDBOX/planted.sh" "$SHARED/VELT"
as_other chmod 0755 "$SHARED/VELT"
run_answering CLICK
assert_line "$(run_log)" "MSG : Successfully executed the ${INSTALL_WITH_BLANK}nfyDesk/nfyInbox.exe"
for _ in $(seq 1 50); do [ -s "$SANDBOX/viewer.txt" ] && break; sleep 0.1; done
[ -s "$SANDBOX/viewer.txt" ] || fail "the viewer did not start"
assert_no_path "$SANDBOX/planted-ran"

# Files another user makes first at the names the run writes, open to all.
plant() { as_other sh -c 'printf "%s" "$2" >"$1" && chmod 0666 "$1"' _ "$1" "$2"; }
rm -f "$logfile" "$INBOX" "$INBOX".*.ini "$MESSAGES/101.dat"
run_answering EXIT
rm -f "$logfile"

note "the log: the run takes the next free name"
plant "$logfile" ""
run_answering EXIT
assert_eq "$(stat -c %s "$logfile")" "0" "the other user's log file"
own_log="$(log_files | grep -vxF "$(basename "$logfile")")"
[[ "$own_log" =~ _[0-9]{6}_${USER_NAME}\.txt$ ]] || fail "not the timed name: $own_log"
assert_eq "$(stat -c '%a %U' "$(log_folder)/$own_log")" "600 $USER_NAME" "the run's own log"
rm -f "$logfile" "$(log_folder)/$own_log"

note "every name of the log that can be known beforehand is taken: one nobody could guess"
take_log_names
run_answering EXIT
assert_random_log_name

note "no log at all: start-up goes on, and no request leaves without the identifiers"
# A data folder of its own (ALLUSERSPROFILE), where the other user took the
# log folder's name.
profile="$SANDBOX/ProgramData"
mkdir -p "$profile/VELTOR/nfyDesk" "$profile/VELTOR/ApplicationLog"
chmod -R 0777 "$profile"
as_other touch "$profile/VELTOR/ApplicationLog/nfyDeskLog"
: >"$SANDBOX/requests.txt"
ALLUSERSPROFILE="$profile" run_answering EXIT
INBOX="$profile/VELTOR/nfyDesk/DeskInbox/nfyDeskInbox_$USER_NAME.ini" inbox_value 101 Subject >"$SANDBOX/subject.txt"
assert_eq "$(cat "$SANDBOX/subject.txt")" "First" "the message stored by a run without a log"
grep -q 'mmid=77&sid=55&rid=1234' "$SANDBOX/requests.txt" || fail "the fetch: $(requests)"
reg_unset siteid
: >"$SANDBOX/requests.txt"
ALLUSERSPROFILE="$profile" run_answering EXIT
assert_eq "$(requests)" "" "requests of a run without a log or a site id"
reg_set siteid 55
rm -rf "$profile" "$(log_folder)"/*

note "a newer copy of the inbox planted by another user is not read"
plant "$INBOX.old.ini" $'[101]\r\nMsgStatus=1\r\n'
touch -d '+1 minute' "$INBOX.old.ini"
: >"$SANDBOX/requests.txt"
run_answering EXIT
assert_line "$(run_log)" "MSG : Preprocessing :sInboxINI_Read :: $INBOX"
assert_eq "$(inbox_value 101 Subject)" "First" "the message stays"
assert_eq "$(requests | grep -c tfr_wpdcmsendmsgdskupd || true)" "0" "reports"
rm -f "$logfile" "$INBOX.old.ini"

note "the inbox and a body file of another user are never written into or replaced"
rm -f "$INBOX" "$MESSAGES/101.dat"
plant "$INBOX" $'[MsgCount]\r\nTotalMsgs=0\r\n'
plant "$MESSAGES/101.dat" ""
run_answering EXIT
log="$(run_log)"
assert_line "$log" "ERR : ReadLatestINIFile ::  70:Permission denied"
assert_line "$log" "ERR : Failed to write to the INI"
# The store reads the inbox it writes, and another user's file is never read.
assert_line "$log" "ERR : fncParseDeskMessages, Permission denied, reading $(winpath "$INBOX")"
assert_eq "$(stat -c '%a %U' "$INBOX")" "666 $OTHER" "the planted inbox"
assert_eq "$(tr -d '\r' <"$INBOX")" $'[MsgCount]\nTotalMsgs=0' "the planted inbox's content"
assert_eq "$(stat -c %s "$MESSAGES/101.dat")" "0" "the planted body file"

note "nfyDeskResend: its lock only in a folder of the user's own, refused reports only into one"
rm -f "$(log_folder)"/*
old_report
chmod 0777 "$DATA/DeskPostLogs"
as_other mkdir -m 0777 "$DATA/DeskPostLogs/undeliverable"
flow_start_provider --fail status500
# The name of the executable's lock file (FNV-1a of its path), held by the
# other user where the run used to fall back to (/tmp) and in a run-time
# folder of theirs.
hash=-3750763034362895579
exe="$(readlink -f "$RESEND")"
for ((i = 0; i < ${#exe}; i++)); do
  printf -v c '%d' "'${exe:i:1}"
  hash=$(((hash ^ c) * 1099511628211))
done
lock_name="nfyDesk-$(id -u)-$(printf '%016x' "$hash").lock"
other_runtime="$SHARED/runtime-of-other"
as_other mkdir -m 0777 "$other_runtime"
release="$SHARED/release-locks"
holders=()
for lock in "/tmp/$lock_name" "$other_runtime/$lock_name"; do
  as_other sh -c 'umask 0; exec flock "$1" sh -c "while [ ! -e \"\$0\" ]; do sleep 0.1; done" "$2"' _ "$lock" "$release" &
  holders+=($!)
done
trap 'touch "$release"; flow_stop_provider; userdel "$OTHER" 2>/dev/null || true; rm -f "/tmp/$lock_name"; e2e_cleanup' EXIT
for _ in $(seq 1 100); do [ -e "/tmp/$lock_name" ] && [ -e "$other_runtime/$lock_name" ] && break; sleep 0.05; done
home="$SANDBOX/home"
mkdir -m 0700 "$home"
env -u XDG_RUNTIME_DIR HOME="$home" "$RESEND" >"$SANDBOX/resend.out" 2>&1
assert_report_kept "${INSTALL_WITH_BLANK}DeskPostLogs/undeliverable"
rm -f "$(log_folder)"/*
XDG_RUNTIME_DIR="$other_runtime" HOME="$home" "$RESEND" >"$SANDBOX/resend.out" 2>&1
assert_report_kept "${INSTALL_WITH_BLANK}DeskPostLogs/undeliverable"
[ -f "$home/.cache/$lock_name" ] || fail "the lock is not in the user's own cache folder: $(ls -A "$home/.cache")"
touch "$release"
wait "${holders[@]}" 2>/dev/null || true
rm -f "/tmp/$lock_name"
