#!/usr/bin/env bash
# Runs under the faults an admin's machine meets: a report folder that cannot
# be written, I/O errors injected into the program's calls (libfiu), a full
# disk (a small tmpfs), kill -9 at any moment, and two runs with the viewer
# marking a message read at the same time. After every faulty run and again
# after the faults are gone: the inbox parses, every message stored earlier
# is still there with its body, the counts are those of the sections, every
# removal is reported (once to a service that could take it, at least once
# overall), no empty report is posted, no temporary file stays.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/flow.sh"
flow_begin
SAVED="$DATA/DeskPostLogs"
WRITER="$NFY_LINUX_BUILD_DIR/tools/ini-writer/ini-writer"
RESEND="$INSTALL/nfyDeskResend"
is_windows && RESEND="$INSTALL/nfyDeskResend.exe"
cp "$NFY_BUILD_DIR/nfyDeskResend$(is_windows && echo .exe)" "$RESEND"

# The service's messages: ids of the pool, recalled ones with status 1.
declare -A RECALLED=() GONE=()
write_messages() {
  : >"$SANDBOX/messages.txt"
  local id
  for id in "$@"; do
    [ -n "${GONE[$id]:-}" ] && continue
    printf 'id=%s\nsubject=Subject %s\ncontent=Body of %s\nusractid=1\nstatus=%s\n\n' "$id" "$id" "$id" \
      "$([ -n "${RECALLED[$id]:-}" ] && echo 1 || echo 0)" >>"$SANDBOX/messages.txt"
  done
}

# The status service answers; the report service cannot be reached.
reports_down() {
  printf '[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:9/nfydesk\r\n' \
    "$PORT" >"$INSTALL/Configuration/nfyEndpoints.ini"
}
reports_up() { endpoint "http://127.0.0.1:$PORT/nfydesk"; }

sections() { inbox_sections | tr ',' '\n' | grep -v '^MsgCount$' || true; }

# What must hold after any run, faulty or not.
check_invariants() {
  local when="$1" id n unread awaiting
  [ -f "$INBOX" ] || return 0
  tr -d '\r' <"$INBOX" | awk '!/^\[[^]]*\]$/ && !/^[^=[]+=/ && !/^$/ { bad = 1 } END { exit bad }' ||
    fail "$when: the inbox does not parse: $(cat "$INBOX")"
  n="$(sections | grep -c . || true)"
  unread=0 awaiting=0
  for id in $(sections); do
    [ "$(inbox_value "$id" ReadStatus | tr a-z A-Z)" = READ ] || unread=$((unread + 1))
    [ "$(inbox_value "$id" RequireUserConfirmation)" = 1 ] && awaiting=$((awaiting + 1))
    [ -n "${RECALLED[$id]:-}" ] && continue
    [ "$(cat "$MESSAGES/$id.dat" 2>/dev/null)" = "Body of $id" ] || fail "$when: message $id without its body"
  done
  assert_eq "$(inbox_value MsgCount TotalMsgs)" "$n" "$when: TotalMsgs"
  assert_eq "$(inbox_value MsgCount UNREADMsgs)" "$unread" "$when: UNREADMsgs"
  assert_eq "$(inbox_value MsgCount RequireUserConfirmation)" "$awaiting" "$when: RequireUserConfirmation"
  for id in "${!KEPT[@]}"; do
    [ -n "${RECALLED[$id]:-}" ] && continue
    sections | grep -qx "$id" || fail "$when: message $id, stored before, is gone"
  done
  # No report of a message that is still stored, and no empty or cut one.
  local body
  while IFS= read -r body; do
    [[ "$body" =~ ^\<wpdcmsendmsgdskupd\>.*\</wpdcmsendmsgdskupd\>$ ]] || fail "$when: a report posted as [$body]"
    id="$(sed -n 's/.*<msgid>\([^<]*\)<.*/\1/p' <<<"$body")"
    # (Two runs at once may both store and remove a recalled message the
    # service still sends: two removals, each reported.)
    [ "${CONCURRENT:-0}" = 0 ] && sections | grep -qx "$id" && [ -z "${REPORTED_BEFORE[$id]:-}" ] &&
      fail "$when: $id reported but still stored"
  done < <(received_reports)
  return 0
}
received_reports() { requests | grep '^/nfydesk/tfr_wpdcmsendmsgdskupd' | cut -f3 || true; }
reports_of() { received_reports | grep -c "<msgid>$1</msgid>" || true; }
saved_of() { ls "$SAVED" 2>/dev/null | grep -c "_$1_" || true; }

# Messages the service no longer needs to send: recalled, and the inbox no
# longer holds them.
declare -A KEPT=() REPORTED_BEFORE=()
settle() {
  local id
  KEPT=()
  for id in $(sections); do KEPT[$id]=1; done
  for id in "${!RECALLED[@]}"; do
    if [ -z "${KEPT[$id]:-}" ] && [ -z "${GONE[$id]:-}" ]; then
      GONE[$id]=1
      [ "$(($(reports_of "$id") + $(saved_of "$id")))" -ge 1 ] || fail "the removal of $id was not reported"
    fi
  done
}

inbox_file "[MsgCount]" "TotalMsgs=0" "UnReadMsgs=0" "RequireUserConfirmation=0" "MSGId=0" "Subject="
flow_start_provider --messages "$SANDBOX/messages.txt"

note "a report folder that cannot be written (a file at its name) keeps the message and posts nothing"
write_messages 501
run_program
check_invariants "first run"
settle
RECALLED[501]=1
write_messages 501
rm -rf "$SAVED"
echo "not a folder" >"$SAVED"
reports_down
run_program
rm -f "$SAVED"
sections | grep -qx 501 || fail "501 was removed though its report could not be saved"
assert_eq "$(reports_of 501)" "0" "reports of 501"
check_invariants "report folder unwritable"
reports_up
run_program
sections | grep -qx 501 && fail "501 stays after the fault is gone"
check_invariants "report folder writable again"
settle

if is_windows; then
  note "the other faults need libfiu, mounts and kill -9 of a Linux process: shown by the Linux build"
  exit 0
fi
command -v fiu-run >/dev/null || { echo "fiu-run (fiu-utils) is missing"; exit 77; }
ASAN=0
ldd "$PROGRAM" | grep -q libasan && ASAN=1  # libfiu's preload and AddressSanitizer do not mix

# A small file system for the full-disk rounds, where this test may mount.
TMPFS=0
if [ "$(id -u)" = 0 ] && mkdir -p "$SANDBOX/small" && mount -t tmpfs -o size=256k tmpfs "$SANDBOX/small" 2>/dev/null; then
  TMPFS=1
  umount "$SANDBOX/small"
  rm -rf "$SAVED"
  mkdir -p "$SAVED"
  mount -t tmpfs -o size=256k,mode=0755 tmpfs "$SAVED"
  trap 'flow_stop_provider; umount "$SAVED" 2>/dev/null; e2e_cleanup' EXIT
else
  note "no tmpfs here (not root, or no mount): the full-disk rounds are left out"
fi
fill_disk() { dd if=/dev/zero of="$SAVED/filler" bs=1k count=400 2>/dev/null || true; }
free_disk() { rm -f "$SAVED/filler"; }

next=600 runs=0 faults=0
POOL=()
for round in $(seq 1 36); do
  # Two new messages a round; the oldest unrecalled one is recalled.
  POOL+=($next $((next + 1)))
  next=$((next + 2))
  for id in "${POOL[@]}"; do
    if [ -z "${RECALLED[$id]:-}" ] && [ "$id" -lt $((next - 6)) ]; then
      RECALLED[$id]=1
      break
    fi
  done
  write_messages "${POOL[@]}"
  REPORTED_BEFORE=()
  for id in "${!RECALLED[@]}"; do [ "$(reports_of "$id")" -gt 0 ] && REPORTED_BEFORE[$id]=1; done
  mode=$((round % 6))
  case $mode in
    0) # I/O errors in reads, writes, opens, renames and flushes
      if [ "$ASAN" = 0 ]; then
        fiu-run -x -c "enable_random name=posix/io/rw/*,probability=0.05" \
          -c "enable_random name=posix/io/oc/open,probability=0.05" \
          -c "enable_random name=posix/io/dir/*,probability=0.1" \
          -c "enable_random name=posix/io/sync/*,probability=0.2" \
          "$PROGRAM" >"$SANDBOX/run.out" 2>&1 || true
        faults=$((faults + 1))
      else
        run_program
      fi
      ;;
    1) # killed at a random moment
      "$PROGRAM" >"$SANDBOX/run.out" 2>&1 &
      pid=$!
      sleep "0.0$((RANDOM % 10))"
      kill -9 "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      faults=$((faults + 1))
      ;;
    2) # a full disk under the reports
      if [ "$TMPFS" = 1 ]; then
        fill_disk
        reports_down
        run_program
        reports_up
        free_disk
        faults=$((faults + 1))
      else
        run_program
      fi
      ;;
    3) # two runs and the viewer at once
      first="$(sections | head -1)"
      "$PROGRAM" >"$SANDBOX/run1.out" 2>&1 &
      a=$!
      "$PROGRAM" >"$SANDBOX/run2.out" 2>&1 &
      b=$!
      [ -n "$first" ] && "$WRITER" mark-read "$INBOX" "$first" >/dev/null 2>&1 || true
      wait "$a" "$b" 2>/dev/null || true
      faults=$((faults + 1))
      ;;
    4) # the report service down: reports wait for nfyDeskResend
      reports_down
      run_program
      reports_up
      ;;
    5) # a clean run, and the saved reports delivered
      run_program
      "$RESEND" >/dev/null 2>&1 || true
      ;;
  esac
  runs=$((runs + 1))
  CONCURRENT=0
  [ "$mode" = 3 ] && CONCURRENT=1
  check_invariants "round $round (mode $mode)"
  settle
done

note "the faults are gone"
for i in 1 2 3; do
  write_messages "${POOL[@]}"
  run_program
  "$RESEND" >/dev/null 2>&1 || true
  check_invariants "clean run $i"
  settle
done
converged=1
for id in "${!RECALLED[@]}"; do
  [ -n "${GONE[$id]:-}" ] || { converged=0; fail "$id is recalled but still stored after the faults"; }
  [ "$(reports_of "$id")" -ge 1 ] || fail "the service never got the report of $id"
done
assert_eq "$(ls "$SAVED" 2>/dev/null | grep -c 'wpdcmsendmsgdskupd_' || true)" "0" "saved reports left"
leftovers="$(find "$DATA" "$SAVED/" -name '*.tmp.*' 2>/dev/null || true)"
assert_eq "$leftovers" "" "temporary files left"
dupes=0
for id in "${!RECALLED[@]}"; do [ "$(reports_of "$id")" -gt 1 ] && dupes=$((dupes + 1)); done
echo "runs: $runs, faulty: $faults, removals: ${#RECALLED[@]}, reported more than once: $dupes," \
  "converged: $converged, reports lost: 0"
