#!/usr/bin/env bash
# A browser control in the installation is registered on every run: under
# Windows by a silent regsvr32 that is not waited for; on Linux there is no
# registration, so the lines are written and nothing is started.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder
reg_defaults
record="$SANDBOX/registered.txt"

if is_windows; then
  cp "$NFY_BUILD_DIR/tools/test-ocx/test-ocx.ocx" "$INSTALL/nfyDesk/nfyBrowser.ocx"
  export NFY_OCX_RECORD="$(winpath "$record")"
else
  # Anything that tried to start regsvr32 would find this one first.
  mkdir -p "$SANDBOX/bin"
  printf '#!/bin/sh\necho "started $*" >>"%s"\n' "$record" >"$SANDBOX/bin/regsvr32"
  chmod +x "$SANDBOX/bin/regsvr32"
  export PATH="$SANDBOX/bin:$PATH"
  printf 'not a real control' >"$INSTALL/nfyDesk/nfyBrowser.ocx"
fi

run_program
control="$(install_path)nfyDesk${SEP}nfyBrowser.ocx"
log="$(log_messages "$(the_log)")"
assert_lines_in_a_row "$log" \
  "MSG : In fncRegisterDLL, $control" \
  "Registered Dll : $control"
assert_no_line "$log" "$control is missing"

if is_windows; then
  for i in $(seq 1 200); do
    [ -s "$record" ] && break
    sleep 0.1
  done
  assert_eq "$(tr -d '\r' <"$record")" "registered $control" "regsvr32's registration"
else
  sleep 0.5
  assert_no_path "$record"
fi

note "the next run registers it again"
run_program
log="$(log_messages "$(the_log)")"
assert_eq "$(grep -cxF "Registered Dll : $control" <<<"$log")" 2 "registrations logged"
