# Shared by the message-flow scenarios: a complete installation (template,
# endpoint INI, inbox viewer, components), the provider simulator, and a run
# with the popup answered. Source after lib.sh.

SIM_BIN="${NFY_LINUX_BUILD_DIR:-$NFY_SOURCE_DIR/build/linux}/tools"
DEFAULT_TITLE="You have new messages from your service provider for your reference. Click for view all messages."

# A sandbox installation ready for a full run.
flow_begin() {
  e2e_begin
  make_data_folder
  reg_defaults
  PROVIDER_PID=
  trap 'flow_stop_provider; e2e_cleanup' EXIT
  template "$DEFAULT_TITLE"
  if is_windows; then
    cp "$NFY_BUILD_DIR/tools/test-viewer/test-viewer.exe" "$INSTALL/nfyDesk/nfyInbox.exe"
    cp "$NFY_BUILD_DIR/tools/win-components/nfyPoster.dll" "$INSTALL/nfyPoster.dll"
    cp "$NFY_BUILD_DIR/tools/win-components/nfyToast.dll" "$INSTALL/nfyDesk/nfyToast.dll"
    wine_run regsvr32 -s "$(winpath "$INSTALL/nfyPoster.dll")"
    wine_run regsvr32 -s "$(winpath "$INSTALL/nfyDesk/nfyToast.dll")"
    export NFY_TOAST_ANSWER_FILE NFY_TOAST_RECORD_FILE NFY_VIEWER_RECORD
    NFY_TOAST_ANSWER_FILE="$(winpath "$SANDBOX/answer.txt")"
    NFY_TOAST_RECORD_FILE="$(winpath "$SANDBOX/popups.txt")"
    NFY_VIEWER_RECORD="$(winpath "$SANDBOX/viewer.txt")"
  else
    [ -x "$SIM_BIN/desktop-sim/desktop-sim" ] || fail "desktop-sim is not built"
    cp "$NFY_BUILD_DIR/tools/test-viewer/test-viewer" "$INSTALL/nfyDesk/nfyInbox.exe"
    export NFY_VIEWER_RECORD="$SANDBOX/viewer.txt"
  fi
  USER_NAME="$(id -un)"
  INBOX="$DATA/nfyDesk/DeskInbox/nfyDeskInbox_$USER_NAME.ini"
  MESSAGES="$DATA/nfyDesk/DeskInbox/Messages"
}

# The communicator template with this inbox title.
template() {
  mkdir -p "$INSTALL/nfyDesk/DeskCom"
  printf '<nfydesk><dcmgetclientcommtemplate><desksmsmsg>Messages wait for you.</desksmsmsg><inboxtitle>%s</inboxtitle></dcmgetclientcommtemplate></nfydesk>' \
    "$1" >"$INSTALL/nfyDesk/DeskCom/nfyDeskMenu.xml"
}

# Starts provider-sim with these arguments; the endpoint INI points both
# services at it.
flow_start_provider() {
  flow_stop_provider
  [ -x "$SIM_BIN/provider-sim/provider-sim" ] || fail "provider-sim is not built"
  : >"$SANDBOX/provider.out"
  "$SIM_BIN/provider-sim/provider-sim" --port 0 --record "$SANDBOX/requests.txt" "$@" >"$SANDBOX/provider.out" &
  PROVIDER_PID=$!
  local i
  for i in $(seq 1 200); do grep -q listening "$SANDBOX/provider.out" && break; sleep 0.05; done
  PORT="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$SANDBOX/provider.out")"
  [ -n "$PORT" ] || fail "provider-sim did not start: $(cat "$SANDBOX/provider.out")"
  endpoint "http://127.0.0.1:$PORT/nfydesk"
}
flow_stop_provider() {
  if [ -n "${PROVIDER_PID:-}" ]; then
    kill "$PROVIDER_PID" 2>/dev/null || true
    wait "$PROVIDER_PID" 2>/dev/null || true
  fi
  PROVIDER_PID=
}

endpoint() {
  mkdir -p "$INSTALL/Configuration"
  printf '[wpdcmgetmsgs]\r\nURL=%s\r\n[wpdcmsendmsgdskupd]\r\nURL=%s\r\n' "$1" "$1" >"$INSTALL/Configuration/nfyEndpoints.ini"
}

# Writes the inbox INI as another program would (lines given, CR LF added).
inbox_file() {
  mkdir -p "$(dirname "$INBOX")"
  printf '%s\r\n' "$@" >"$INBOX"
}

# One key of the inbox INI: the first "key=value" of the section, names
# compared without regard to case.
inbox_value() {
  [ -f "$INBOX" ] || return 0
  tr -d '\r' <"$INBOX" | awk -v s="$1" -v k="$2" '
    /^\[/ { cur = tolower(substr($0, 2, index($0, "]") - 2)); next }
    cur == tolower(s) { i = index($0, "="); if (i && tolower(substr($0, 1, i - 1)) == tolower(k)) { print substr($0, i + 1); exit } }'
}
inbox_sections() { [ -f "$INBOX" ] && tr -d '\r' <"$INBOX" | sed -n 's/^\[\(.*\)\]$/\1/p' | paste -sd, || true; }

# Runs the program once; the popup is answered with CLICK, OKCLICK, EXIT or
# AUTOCLOSE (under Wine any text, the empty one included).
run_answering() {
  local answer="$1" i
  # A viewer the previous run started is not waited for by that run: let it
  # write its record before this run's record starts empty.
  if [ -n "${VIEWER_PENDING:-}" ]; then
    for i in $(seq 1 100); do grep -q started "$SANDBOX/viewer.txt" 2>/dev/null && break; sleep 0.1; done
  fi
  VIEWER_PENDING=
  : >"$SANDBOX/viewer.txt"
  local launches
  launches="$(viewer_launches)"
  if is_windows; then
    printf '%s' "$answer" >"$SANDBOX/answer.txt"
    run_program
  else
    local how
    case "$answer" in
      CLICK) how=click ;; OKCLICK) how=ok ;; EXIT) how=dismiss ;; AUTOCLOSE) how=expire ;;
      *) fail "the desktop simulator cannot answer [$answer]" ;;
    esac
    dbus-run-session -- bash -c '
      "$1" --answer "$2" --delay-ms 50 --record "$3" >"$4" &
      sim=$!
      for i in $(seq 1 200); do grep -q ready "$4" && break; sleep 0.05; done
      "$5" >"$6" 2>&1 || true
      kill $sim 2>/dev/null; wait $sim 2>/dev/null' _ \
      "$SIM_BIN/desktop-sim/desktop-sim" "$how" "$SANDBOX/popups.txt" "$SANDBOX/desktop.out" "$PROGRAM" \
      "$SANDBOX/run.out"
  fi
  [ "$(viewer_launches)" -gt "$launches" ] && VIEWER_PENDING=1
  return 0
}
# How often the logs say the viewer was started.
viewer_launches() { cat "$(log_folder)"/* 2>/dev/null | grep -c "In fncExecuteMsgInbox" || true; }

# The popups shown so far: one line each, the header first.
popup_headers() {
  [ -f "$SANDBOX/popups.txt" ] || return 0
  if is_windows; then
    tr -d '\r' <"$SANDBOX/popups.txt" | sed -n 's/.*Header=\([^\t]*\).*/\1/p'
  else
    cut -f2 "$SANDBOX/popups.txt"
  fi
}
popup_count() { popup_headers | grep -c . || true; }

# The viewer was started, without arguments (it may take a moment to start).
assert_viewer_started() {
  local i
  for i in $(seq 1 100); do grep -q started "$SANDBOX/viewer.txt" 2>/dev/null && break; sleep 0.1; done
  assert_eq "$(tr -d '\r' <"$SANDBOX/viewer.txt")" "started" "inbox viewer record"
}

# The requests provider-sim received: "PATH<TAB>QUERY<TAB>BODY" per line.
requests() { [ -f "$SANDBOX/requests.txt" ] && cut -f2- "$SANDBOX/requests.txt" || true; }

# The log messages of the run (the only log file), one per line: line
# breaks in logged values are escaped ("\r\n").
run_log() {
  sed -e $'s/\r$//' -e $'s#^[0-9][0-9]/[0-9][0-9]/[0-9]\\{4\\} [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\t##' "$(the_log)"
}
