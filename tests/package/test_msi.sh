#!/usr/bin/env bash
# The MSI as an admin deploys it: its tables hold the programs, the features,
# the upgrade code and the version; under Wine a silent per-machine install
# into the INSTALLDIR given on the command line (the viewer feature left
# out, where the agent ships its own; nfyDeskResend, which only ADDLOCAL
# installs, named) runs one message flow against
# provider-sim, and a silent uninstall removes what it installed.
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/../e2e/flow.sh"

MSI="$(ls "${NFY_PACKAGE_DIR:?}"/nfydesk-notifier-*.msi 2>/dev/null | tail -n 1)"
[ -f "$MSI" ] || fail "no MSI in $NFY_PACKAGE_DIR: run scripts/package"
version="$(basename "$MSI" .msi)"
version="${version#nfydesk-notifier-}"

note "msiinfo"
tables="$(msiinfo tables "$MSI")"
for t in Property File Component Feature FeatureComponents Directory Upgrade InstallExecuteSequence; do
  grep -qx "$t" <<<"$tables" || fail "no $t table in: $tables"
done
props="$(msiinfo export "$MSI" Property | tr -d '\r')"
assert_line "$props" $'UpgradeCode\t{3377E7AE-AF62-4BB1-81E8-9368774D883D}'
assert_line "$props" $'ProductVersion\t'"$version"
assert_line "$props" $'ALLUSERS\t1'
files="$(msiinfo export "$MSI" File | tr -d '\r' | cut -f3)"
assert_line "$files" nfyDeskNotify.exe
has_viewer=0
grep -qx nfyInbox.exe <<<"$files" && has_viewer=1
[ -f "$NFY_BUILD_DIR/nfyDeskReg.exe" ] && assert_line "$files" nfyDeskReg.exe
features="$(msiinfo export "$MSI" Feature | tr -d '\r' | cut -f1)"
[ "$has_viewer" -eq 0 ] || assert_line "$features" Viewer
assert_line "$files" nfyDeskResend.exe
assert_line "$features" Resend

note "msiexec /i under Wine"
flow_begin
# A product of ours that a killed earlier run of this test left installed in
# the prefix (each build of the MSI has its own product code) makes msiexec
# take the installs below for done: it is removed first.
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
for code in $(wine_run reg query "$uninstall" 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-Fa-f-]*}$'); do
  if wine_run reg query "$uninstall\\$code" /v DisplayName 2>/dev/null | grep -q "nfyDesk notifier"; then
    wine_run msiexec /x "$code" /qn >/dev/null 2>&1 || true
  fi
done
rm -f "$PROGRAM"
installdir="$(winpath "$INSTALL")\\"
wine_run msiexec /i "$(winpath "$MSI")" /qn ADDLOCAL=Notifier,Resend INSTALLDIR="$installdir" >"$SANDBOX/msiexec.out" 2>&1 ||
  fail "msiexec /i: $(cat "$SANDBOX/msiexec.out")"
[ -f "$PROGRAM" ] || fail "nfyDeskNotify.exe not installed into $INSTALL: $(ls -R "$INSTALL")"
[ -f "$INSTALL/nfyDeskResend.exe" ] || fail "nfyDeskResend.exe not installed although ADDLOCAL names it"
cmp -s "$INSTALL/nfyDesk/nfyInbox.exe" "$NFY_BUILD_DIR/tools/test-viewer/test-viewer.exe" ||
  fail "the viewer was installed although its feature was left out"

note "one message flow"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=601
subject=Installed by msiexec
content=Body of the message
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"
run_answering CLICK
assert_eq "$(inbox_value 601 Subject)" "Installed by msiexec" "the message in the inbox"
assert_eq "$(cat "$MESSAGES/601.dat")" "Body of the message" "body file"
assert_line "$(run_log)" "MSG : User clicked on the popup"
assert_viewer_started

note "msiexec /x"
wine_run msiexec /x "$(winpath "$MSI")" /qn >"$SANDBOX/msiexec.out" 2>&1 || fail "msiexec /x: $(cat "$SANDBOX/msiexec.out")"
assert_no_path "$PROGRAM"
assert_no_path "$INSTALL/nfyDeskReg.exe"
assert_no_path "$INSTALL/nfyDeskResend.exe"
[ -f "$INSTALL/nfyDesk/nfyInbox.exe" ] || fail "uninstall removed the viewer it had not installed"

if [ "$has_viewer" -eq 1 ]; then
  note "msiexec /i with the default features installs the viewer, not nfyDeskResend"
  full="$SANDBOX/full"
  mkdir -p "$full"
  wine_run msiexec /i "$(winpath "$MSI")" /qn INSTALLDIR="$(winpath "$full")\\" >"$SANDBOX/msiexec.out" 2>&1 ||
    fail "msiexec /i: $(cat "$SANDBOX/msiexec.out")"
  [ -f "$full/nfyDesk/nfyInbox.exe" ] && [ -f "$full/nfyDeskNotify.exe" ] || fail "not installed: $(ls -R "$full")"
  assert_no_path "$full/nfyDeskResend.exe"
  wine_run msiexec /x "$(winpath "$MSI")" /qn >"$SANDBOX/msiexec.out" 2>&1 || fail "msiexec /x: $(cat "$SANDBOX/msiexec.out")"
  assert_no_path "$full/nfyDesk/nfyInbox.exe"
fi
note "passed"
