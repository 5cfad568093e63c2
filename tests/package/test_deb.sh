#!/usr/bin/env bash
# The Debian package as an admin deploys it: lintian finds no errors; it
# installs as root; its user units verify; the installed notifier, run as a
# fresh ordinary user the way the user unit starts it, stores a message from
# provider-sim in that user's own data folder under /var/lib/nfydesk, which a
# second user can neither read nor change, nor take over before the first
# run (a folder, a link or a file planted at their data folder's name is
# refused); the second user's run stores the same message with its own body
# file; an admin's disable outlasts a new installation; reinstalling keeps
# the key and the endpoint file; remove keeps the configuration and whether
# the timer was enabled, a new installation after it enables it again; purge
# leaves nothing; the unit's command after a run delivers the first user's
# saved report. tests/package/test_deb_session.sh runs it under systemd.
# Skipped (77) where the machine is not Debian, the test not root, or the
# package is installed already (an admin's installation is never touched).
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/../e2e/flow.sh"

skip() {
  echo "SKIP: $*"
  exit 77
}
[ -f /etc/debian_version ] && command -v dpkg >/dev/null || skip "not a Debian system"
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
dpkg-query -W -f='${Status}' nfydesk-notifier 2>/dev/null | grep -q 'ok installed\|config-files' &&
  skip "nfydesk-notifier is installed on this machine already"
DEB="$(ls "${NFY_PACKAGE_DIR:?}"/nfydesk-notifier_*_amd64.deb 2>/dev/null | tail -n 1)"
[ -f "$DEB" ] || fail "no package in $NFY_PACKAGE_DIR: run scripts/package"

unset NFY_REGISTRY_ROOT ALLUSERSPROFILE
SANDBOX="$(mktemp -d /tmp/nfy-deb-test.XXXXXX)"
chmod 0755 "$SANDBOX"
INSTALL=/opt/nfydesk
DATA_ROOT=/var/lib/nfydesk/ProgramData
STORE=/var/lib/nfydesk/registry
KEY='HKEY_LOCAL_MACHINE\SOFTWARE\VELTOR'
U1=nfypkgtest1
U2=nfypkgtest2
PROVIDER_PID=
cleanup() {
  local rc=$?
  flow_stop_provider
  for u in "$U1" "$U2"; do id "$u" >/dev/null 2>&1 && userdel -r "$u" >/dev/null 2>&1 || true; done
  dpkg --purge nfydesk-notifier >/dev/null 2>&1 || true
  if [ "$rc" -eq 0 ]; then rm -rf "$SANDBOX"; else echo "kept for inspection: $SANDBOX" >&2; fi
  return "$rc"
}
trap cleanup EXIT
for u in "$U1" "$U2"; do
  id "$u" >/dev/null 2>&1 && userdel -r "$u" >/dev/null 2>&1
  useradd --create-home --shell /bin/sh "$u"
done

note "lintian"
lintian --fail-on error --tag-display-limit 0 "$DEB" >"$SANDBOX/lintian.out" 2>&1 ||
  fail "lintian reports errors: $(cat "$SANDBOX/lintian.out")"
sed 's/^/   /' "$SANDBOX/lintian.out"
depends="$(dpkg-deb -f "$DEB" Depends)"
grep -q 'libcurl' <<<"$depends" && grep -q 'libc6' <<<"$depends" || fail "Depends [$depends]"

note "install"
dpkg -i "$DEB" >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg -i: $(cat "$SANDBOX/dpkg.out")"
assert_eq "$(stat -c '%a %U' "$DATA_ROOT")" "1777 root" "mode of $DATA_ROOT"
assert_eq "$(stat -c '%a %U' "$STORE")" "755 root" "mode of the store"
grep -qx '"InstallationPath"="/opt/nfydesk/"' "$STORE/HKEY_LOCAL_MACHINE.reg" || fail "no InstallationPath written"
WANTS=/etc/systemd/user/timers.target.wants/nfydesk-notifier.timer
[ -L "$WANTS" ] || fail "the timer is not enabled for all users"
! grep -q 'MSG :' "$SANDBOX/dpkg.out" || fail "nfyDeskReg's progress on the admin's terminal: $(cat "$SANDBOX/dpkg.out")"
[ "$(readlink -f "$INSTALL/Configuration/nfyEndpoints.ini")" = /etc/nfydesk/nfyEndpoints.ini ] || fail "endpoint link"
[ -x "$INSTALL/nfyDeskResend" ] || fail "nfyDeskResend is not installed beside nfyDeskNotify"

note "systemd-analyze verify"
units=(/usr/lib/systemd/user/nfydesk-notifier.service /usr/lib/systemd/user/nfydesk-notifier.timer)
systemd-analyze verify "${units[@]}" >"$SANDBOX/verify.out" 2>&1 || fail "verify: $(cat "$SANDBOX/verify.out")"
! grep -q nfydesk "$SANDBOX/verify.out" || fail "verify: $(cat "$SANDBOX/verify.out")"

note "the agent's key"
if [ -x /usr/bin/nfyDeskReg ]; then
  for v in "RegID 1234" "siteid 55" "MemberID 77" "Type 1"; do
    set -- $v
    nfyDeskReg write-string "$KEY" "$1" "$2" >/dev/null 2>&1 || fail "nfyDeskReg write-string $1"
  done
  assert_eq "$(nfyDeskReg read-string "$KEY" InstallationPath 2>/dev/null)" /opt/nfydesk/ "InstallationPath"
else
  echo "   nfyDeskReg is not built: writing the store file directly"
  printf '"RegID"="1234"\n"siteid"="55"\n"MemberID"="77"\n"Type"="1"\n' >>"$STORE/HKEY_LOCAL_MACHINE.reg"
fi

note "a run as $U1"
cat >"$SANDBOX/messages.txt" <<'MSG'
id=501
subject=Maintenance tonight
content=Please save your work by six.
status=0
MSG
flow_start_provider --messages "$SANDBOX/messages.txt"
# Runs the notifier as the user unit starts it: its environment, umask,
# preparation and command, with the unit's continued lines joined and %u and
# $$ resolved. Fails when the preparation refuses to run.
run_as() {
  local user="$1" unit=/usr/lib/systemd/user/nfydesk-notifier.service
  setting() { sed -e ':a' -e '/\\$/{N;s/\\\n//;ba}' "$unit" | sed -n "s/^$1=//p" | sed -e "s/%u/$user/g" -e 's/\$\$/$/g'; }
  local runtime="$SANDBOX/runtime-$user"
  install -d -m 0700 -o "$user" "$runtime"
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="/home/$user" XDG_RUNTIME_DIR="$runtime" \
    $(setting Environment) sh -c "umask $(setting UMask) && $(setting ExecStartPre) && exec $(setting ExecStart)" \
    </dev/null >"$SANDBOX/run-$user.out" 2>&1
}
run_as "$U1" || fail "the unit's preparation failed for $U1: $(cat "$SANDBOX/run-$U1.out")"
DATA="$DATA_ROOT/$U1/VELTOR"
assert_eq "$(stat -c '%a %U' "$DATA_ROOT/$U1")" "700 $U1" "$U1's data folder"
INBOX="$DATA/nfyDesk/DeskInbox/nfyDeskInbox_$U1.ini"
assert_eq "$(inbox_value 501 Subject)" "Maintenance tonight" "the message in $U1's inbox"
assert_eq "$(stat -c '%a %U' "$INBOX")" "600 $U1" "the inbox"
assert_eq "$(stat -c '%U' "$DATA/nfyDesk/DeskInbox/Messages/501.dat")" "$U1" "the body file's owner"
log="$(ls "$DATA"/ApplicationLog/nfyDeskLog/*"$U1"* 2>/dev/null | head -n 1)"
[ -f "$log" ] || fail "no log of $U1 in $DATA/ApplicationLog/nfyDeskLog: $(ls -l "$DATA/ApplicationLog/nfyDeskLog")"
assert_eq "$(stat -c '%a' "$log")" "600" "mode of the log"
messages="$(log_messages "$log")"
assert_line "$messages" "MSG : Preprocessing : VELT installation path : /opt/nfydesk/"
assert_line "$messages" "MSG : Preprocessing :sInboxINI_Write :: $INBOX"
assert_nothing_like "$messages" "nfyToast.dll is missing"
assert_nothing_like "$messages" "ERR : Function subCreateLog"
grep -q 'mmid=77&sid=55&rid=1234' "$SANDBOX/requests.txt" || fail "no fetch recorded: $(requests)"

note "a run removes $U1's logs not written to for 30 days"
logs="$DATA/ApplicationLog/nfyDeskLog"
runuser -u "$U1" -- sh -c "cd '$logs' && : >old.txt && : >recent.txt && : >old.keep && ln -s '$SANDBOX/outside.txt' link.txt &&
  touch -d '31 days ago' old.txt old.keep && touch -d '29 days ago' recent.txt && touch -h -d '40 days ago' link.txt"
: >"$SANDBOX/outside.txt"
touch -d '40 days ago' "$SANDBOX/outside.txt"
run_as "$U1" || fail "the unit's preparation failed for $U1: $(cat "$SANDBOX/run-$U1.out")"
assert_no_path "$logs/old.txt"
for f in recent.txt old.keep link.txt "$(basename "$log")"; do [ -e "$logs/$f" ] || [ -L "$logs/$f" ] || fail "$f was removed"; done
[ -f "$SANDBOX/outside.txt" ] || fail "the link's target was removed"
rm -f "$logs/recent.txt" "$logs/old.keep" "$logs/link.txt"

note "$U2 cannot read or change $U1's inbox"
for f in "$INBOX" "$DATA/nfyDesk/DeskInbox/Messages/501.dat" "$log"; do
  runuser -u "$U2" -- cat "$f" >/dev/null 2>&1 && fail "$U2 read $f"
  runuser -u "$U2" -- sh -c "echo x >>'$f'" 2>/dev/null && fail "$U2 wrote to $f"
  runuser -u "$U2" -- rm -f "$f" 2>/dev/null || true
  runuser -u "$U2" -- mv "$f" "$f.moved" 2>/dev/null && fail "$U2 renamed $f"
  [ -f "$f" ] || fail "$U2 deleted $f"
done
assert_eq "$(inbox_value 501 Subject)" "Maintenance tonight" "$U1's inbox after $U2's attempts"

note "a data folder name taken by someone else is refused: a folder, a link, a file"
refused() {
  run_as "$U2" && fail "$U2's run used a data folder that $U1 planted ($1)"
  grep -q "is not a folder of $U2: not running" "$SANDBOX/run-$U2.out" || fail "no reason given: $(cat "$SANDBOX/run-$U2.out")"
}
runuser -u "$U1" -- mkdir -m 0777 "$DATA_ROOT/$U2"
refused "a folder"
[ -z "$(ls -A "$DATA_ROOT/$U2")" ] || fail "$U2's run wrote into $U1's folder: $(ls -R "$DATA_ROOT/$U2")"
rmdir "$DATA_ROOT/$U2"
install -d -m 0777 -o "$U1" "$SANDBOX/trap"
runuser -u "$U1" -- ln -s "$SANDBOX/trap" "$DATA_ROOT/$U2"
refused "a link to a folder of theirs"
[ -z "$(ls -A "$SANDBOX/trap")" ] || fail "$U2's run wrote through $U1's link: $(ls -R "$SANDBOX/trap")"
rm "$DATA_ROOT/$U2"
runuser -u "$U1" -- sh -c "echo x >'$DATA_ROOT/$U2'"
refused "a file"
rm "$DATA_ROOT/$U2"
note "$U2's own run"
run_as "$U2" || fail "the unit's preparation failed for $U2: $(cat "$SANDBOX/run-$U2.out")"
assert_eq "$(runuser -u "$U2" -- cat "$DATA_ROOT/$U2/VELTOR/nfyDesk/DeskInbox/Messages/501.dat")" \
  "Please save your work by six." "$U2's body file of the same message"

note "after a run the unit delivers $U1's saved report"
saved="$DATA/DeskPostLogs/wpdcmsendmsgdskupd_N_1234_509_0715201713050999.xml"
runuser -u "$U1" -- sh -c "umask 077 && mkdir -p '$DATA/DeskPostLogs' && printf '<wpdcmsendmsgdskupd><msgid>509</msgid></wpdcmsendmsgdskupd>\r\n' >'$saved'"
unit=/usr/lib/systemd/user/nfydesk-notifier.service
stop_post="$(sed -n 's/^ExecStopPost=//p' "$unit" | sed -e "s/%u/$U1/g" -e 's/\$\$/$/g')"
runuser -u "$U1" -- env -i PATH=/usr/bin:/bin HOME="/home/$U1" XDG_RUNTIME_DIR="$SANDBOX/runtime-$U1" \
  "$(sed -n 's/^Environment=//p' "$unit" | sed "s/%u/$U1/g")" sh -c "$stop_post" </dev/null >"$SANDBOX/resend.out" 2>&1 ||
  fail "the unit's ExecStopPost failed: $(cat "$SANDBOX/resend.out")"
assert_no_path "$saved"
grep -qF "tfr_wpdcmsendmsgdskupd.asp$(printf '\t')mmid=77&sid=55&rid=1234&rty=1$(printf '\t')<wpdcmsendmsgdskupd><msgid>509</msgid></wpdcmsendmsgdskupd>" \
  "$SANDBOX/requests.txt" || fail "the saved report was not delivered: $(requests)"
# As the notifier posted it: without the file's final line break.
grep -qF '</wpdcmsendmsgdskupd>\r\n' "$SANDBOX/requests.txt" && fail "the saved report was posted with its line break"
assert_eq "$(stat -c '%a %U' "$DATA"/ApplicationLog/nfyDeskLog/nfyDeskResend_*)" "600 $U1" "nfyDeskResend's log"

note "an admin's disable outlasts a new installation"
systemctl --global disable nfydesk-notifier.timer >/dev/null 2>&1
dpkg -i "$DEB" >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg -i again: $(cat "$SANDBOX/dpkg.out")"
assert_no_path "$WANTS"
systemctl --global enable nfydesk-notifier.timer >/dev/null 2>&1

note "reinstall keeps the key and the endpoint"
url="$(sed -n 's/^URL=//p' /etc/nfydesk/nfyEndpoints.ini | head -n 1 | tr -d '\r')"
dpkg -i "$DEB" >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg -i again: $(cat "$SANDBOX/dpkg.out")"
assert_eq "$(sed -n 's/^URL=//p' /etc/nfydesk/nfyEndpoints.ini | head -n 1 | tr -d '\r')" "$url" "endpoint after reinstall"
grep -qx '"RegID"="1234"' "$STORE/HKEY_LOCAL_MACHINE.reg" || fail "RegID lost on reinstall"
assert_eq "$(grep -ci '^"InstallationPath"=' "$STORE/HKEY_LOCAL_MACHINE.reg")" 1 "InstallationPath values"

note "remove keeps the configuration, purge leaves nothing"
dpkg -r nfydesk-notifier >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg -r: $(cat "$SANDBOX/dpkg.out")"
[ -f /etc/nfydesk/nfyEndpoints.ini ] && [ -f "$STORE/HKEY_LOCAL_MACHINE.reg" ] && [ -f "$INBOX" ] ||
  fail "remove deleted the configuration or the data"
assert_no_path /opt/nfydesk
# The enable link stays for a new installation; the mask hides the gone unit.
[ -L "$WANTS" ] || fail "remove forgot that the timer was enabled"
assert_eq "$(readlink /etc/systemd/user/nfydesk-notifier.timer)" /dev/null "the mask after remove"
dpkg -i "$DEB" >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg -i after remove: $(cat "$SANDBOX/dpkg.out")"
[ -L "$WANTS" ] && [ ! -e /etc/systemd/user/nfydesk-notifier.timer ] || fail "a new installation after remove left the timer off"
dpkg --purge nfydesk-notifier >"$SANDBOX/dpkg.out" 2>&1 || fail "dpkg --purge: $(cat "$SANDBOX/dpkg.out")"
for p in /opt/nfydesk /var/lib/nfydesk /etc/nfydesk /usr/lib/systemd/user/nfydesk-notifier.timer \
  /usr/lib/systemd/user/nfydesk-notifier.service /usr/bin/nfyDeskReg /usr/share/doc/nfydesk-notifier "$WANTS" \
  /etc/systemd/user/nfydesk-notifier.timer /var/lib/systemd/deb-systemd-user-helper-enabled/nfydesk-notifier.timer.dsh-also \
  /var/lib/systemd/deb-systemd-user-helper-masked/nfydesk-notifier.timer; do
  assert_no_path "$p"
done
! dpkg-query -W nfydesk-notifier >/dev/null 2>&1 || fail "dpkg still knows the package"
note "passed"
