#!/usr/bin/env bash
# The Debian package under a real systemd: a Debian root (session_root.sh)
# booted with systemd-nspawn, users logged in through PAM (each gets its own
# user manager and session bus), the package installed as an admin installs
# it, provider-sim on the container's loopback. Shows: installing reaches a
# session that is running already; a new user's timer is active with no step
# of their own; an on-demand run, and the journal lines of a failed one; a
# click on the popup opens the viewer, whose window outlives the run (a
# screenshot is kept in the build tree); a data folder planted as a link is
# refused; the interval drop-in keeps the first run after login and the
# timer fires by itself; remove stops the timer in running sessions, a new
# installation starts it again, purge leaves nothing.
# Skipped (77) where nspawn cannot run: not root, no debootstrap or nspawn,
# no network to the archive for the first build of the root.
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/session_root.sh"

skip() {
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "booting a container needs root"
for tool in debootstrap systemd-nspawn nsenter flock; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -f /etc/debian_version ] || skip "not a Debian system"
DEB="$(ls "${NFY_PACKAGE_DIR:?}"/nfydesk-notifier_*_amd64.deb 2>/dev/null | tail -n 1)"
[ -f "$DEB" ] || fail "no package in $NFY_PACKAGE_DIR: run scripts/package"
SIM_BIN="${NFY_LINUX_BUILD_DIR:?}/tools"
SIMS=("$SIM_BIN/provider-sim/provider-sim" "$SIM_BIN/desktop-sim/desktop-sim")
for s in "${SIMS[@]}"; do [ -x "$s" ] || fail "$s is not built"; done

# The run-time libraries of the package and of the simulators, and a display
# server with the tools to find and photograph a window.
deps="$(dpkg-deb -f "$DEB" Depends | tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*//' -e 's/ //g')"
sim_libs="$(ldd "${SIMS[@]}" | awk '/=> \//{ print $3 }' | sort -u | while read -r lib; do
  { dpkg -S "*/$(basename "$lib")" 2>/dev/null || true; } | grep -v 'i386\|lib32' | sed -n '1s/:.*//p'
done | sort -u)"
session_root_ensure $deps $sim_libs xvfb xdotool x11-apps

# Waits until a condition (a command) holds, at most $1 tenths of a second.
wait_for() {
  local tenths="$1"
  shift
  for _ in $(seq 1 "$tenths"); do "$@" && return 0; sleep 0.1; done
  "$@"
}

SANDBOX="$(mktemp -d /tmp/nfy-session.XXXXXX)"
ARTIFACTS="$NFY_BUILD_DIR/artifacts"
SHOT="$ARTIFACTS/viewer-session.png"
CT="$SANDBOX/root"
NSPAWN_PID=
LEADER=
mkdir -p "$CT" "$SANDBOX/upper" "$SANDBOX/work" "$ARTIFACTS"
cleanup() {
  local rc=$?
  if [ "$rc" -ne 0 ] && [ -n "$LEADER" ]; then
    echo "journal of the container (last lines):" >&2
    ct journalctl -q --no-pager -n 60 >&2 || true
  fi
  if [ -n "$NSPAWN_PID" ]; then
    kill "$NSPAWN_PID" 2>/dev/null || true # nspawn powers the container off
    for _ in $(seq 1 100); do kill -0 "$NSPAWN_PID" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$NSPAWN_PID" 2>/dev/null || true
    wait "$NSPAWN_PID" 2>/dev/null || true
  fi
  mountpoint -q "$CT" && umount "$CT"
  if [ "$rc" -eq 0 ]; then rm -rf "$SANDBOX"; else echo "kept for inspection: $SANDBOX" >&2; fi
  return "$rc"
}
trap cleanup EXIT

# ------------------------------------------------------------ the container
# The cached root stays as it is: the container writes into an overlay (or,
# where overlays cannot be mounted, a copy).
if ! mount -t overlay overlay -o "lowerdir=$SESSION_ROOT,upperdir=$SANDBOX/upper,workdir=$SANDBOX/work" "$CT" 2>/dev/null; then
  cp -a --reflink=auto "$SESSION_ROOT/." "$CT/"
fi
mkdir -p "$CT/root/nfy"
cp "$DEB" "$CT/root/nfy/"
install -m 0755 "${SIMS[@]}" "$CT/usr/local/bin/"

systemd-nspawn -q -b -D "$CT" --private-network --register=no --keep-unit --console=read-only \
  >"$SANDBOX/console.out" 2>&1 &
NSPAWN_PID=$!
# The container's PID 1: the process below nspawn that is PID 1 in its own
# namespace.
for _ in $(seq 1 200); do
  for p in $(pgrep -P "$NSPAWN_PID") $(pgrep -P "$(pgrep -P "$NSPAWN_PID" | paste -sd,)" 2>/dev/null); do
    [ "$(awk '/^NSpid:/ { print $NF }' "/proc/$p/status" 2>/dev/null)" = 1 ] && LEADER="$p" && break 2
  done
  kill -0 "$NSPAWN_PID" 2>/dev/null || break
  sleep 0.05
done
[ -n "$LEADER" ] || skip "systemd-nspawn cannot boot a container here: $(tail -n 5 "$SANDBOX/console.out")"

# A command in the container, as root, with a clean environment.
ct() {
  nsenter -t "$LEADER" -a env -i PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
}
booted() {
  state="$(ct systemctl is-system-running 2>&1 || true)"
  [[ "$state" == running || "$state" == degraded ]]
}
state=
wait_for 600 booted || fail "the container did not boot: [$state]"

uid_of() { ct id -u "$1"; }
# systemctl of a user's own manager.
user_ctl() {
  local user="$1"
  shift
  ct systemctl --user --machine="$user@" "$@"
}
# Logs a user in through PAM: starts their user manager and session bus.
login() {
  local uid
  ct useradd --create-home --shell /bin/sh "$1"
  ct systemd-run -q -p PAMName=login -p User="$1" --unit="login-$1" /bin/sleep infinity
  uid="$(uid_of "$1")"
  for _ in $(seq 1 200); do
    ct systemctl -q is-active "user@$uid.service" && ct test -S "/run/user/$uid/bus" && return 0
    sleep 0.05
  done
  fail "no user manager for $1"
}
unit_journal() { ct journalctl -q --no-pager -o cat _UID="$(uid_of "$1")" "${@:2}"; }
data_of() { printf '%s\n' "$CT/var/lib/nfydesk/ProgramData/$1/VELTOR"; }
inbox_of() { printf '%s\n' "$(data_of "$1")/nfyDesk/DeskInbox/nfyDeskInbox_$1.ini"; }
timer_is() { [ "$(user_ctl "$1" is-active nfydesk-notifier.timer 2>/dev/null)" = "$2" ]; }
provider() {
  ct systemctl stop provider-sim.service 2>/dev/null || true
  ct systemctl reset-failed provider-sim.service 2>/dev/null || true
  ct systemd-run -q --unit=provider-sim /usr/local/bin/provider-sim --port 8080 --record /root/nfy/requests.txt "$@"
  wait_for 100 provider_up || fail "provider-sim did not start"
}
provider_up() { ct bash -c 'exec 3<>/dev/tcp/127.0.0.1/8080' 2>/dev/null; }
messages() {
  printf 'id=%s\nsubject=%s\ncontent=%s\nstatus=0\n' "$@" >"$CT/root/nfy/messages.txt"
}

# ------------------------------------------------------------ installation
note "alice is logged in before the package is installed"
login alice
note "the admin installs the package"
ct apt-get install -y -q "/root/nfy/$(basename "$DEB")" >"$SANDBOX/install.out" 2>&1 ||
  fail "apt-get install: $(cat "$SANDBOX/install.out")"
! grep -q 'MSG :' "$SANDBOX/install.out" || fail "nfyDeskReg's progress on the admin's terminal: $(cat "$SANDBOX/install.out")"
KEY='HKEY_LOCAL_MACHINE\SOFTWARE\VELTOR'
for v in "RegID 1234" "siteid 55" "MemberID 77" "Type 1"; do
  set -- $v
  ct nfyDeskReg write-string "$KEY" "$1" "$2" >/dev/null 2>&1 || fail "nfyDeskReg write-string $1"
done
printf '[wpdcmgetmsgs]\nURL=http://127.0.0.1:8080/nfydesk\n[wpdcmsendmsgdskupd]\nURL=http://127.0.0.1:8080/nfydesk\n' \
  >"$CT/etc/nfydesk/nfyEndpoints.ini"
messages 501 "Maintenance tonight" "Please save your work by six."
provider --messages /root/nfy/messages.txt

note "alice's running session got the timer"
wait_for 50 timer_is alice active || fail "alice's timer: $(user_ctl alice status nfydesk-notifier.timer 2>&1)"
note "a new user's timer is active without a step of their own; its triggers"
login bob
wait_for 50 timer_is bob active || fail "bob's timer: $(user_ctl bob status nfydesk-notifier.timer 2>&1)"
timers="$(user_ctl bob show -p TimersMonotonic -p RandomizedDelayUSec -p FixedRandomDelay nfydesk-notifier.timer)"
grep -q 'OnStartupUSec=1min' <<<"$timers" && grep -q 'OnUnitInactiveUSec=13min' <<<"$timers" &&
  grep -qx 'RandomizedDelayUSec=4min' <<<"$timers" && grep -qx 'FixedRandomDelay=no' <<<"$timers" ||
  fail "bob's timer: $timers"

# ------------------------------------------------------------ runs
note "an on-demand run (no notification service on bob's bus: a failed popup)"
user_ctl bob start nfydesk-notifier.service || fail "bob's run: $(unit_journal bob)"
INBOX="$(inbox_of bob)"
grep -q '^Subject=Maintenance tonight' <(tr -d '\r' <"$INBOX") || fail "bob's inbox: $(cat "$INBOX" 2>&1)"
assert_eq "$(stat -c '%a %u' "$CT/var/lib/nfydesk/ProgramData/bob")" "700 $(uid_of bob)" "bob's data folder"
note "a run that cannot reach the service: its errors in the journal"
ct systemctl stop provider-sim.service
user_ctl bob start nfydesk-notifier.service || true
# The run's own lines and the manager's lines about it.
run_id="$(user_ctl bob show -p InvocationID --value nfydesk-notifier.service)"
journal="$(ct journalctl -q --no-pager _SYSTEMD_INVOCATION_ID="$run_id" + USER_INVOCATION_ID="$run_id")"
echo "$journal" | sed 's/^/   /'
grep -q 'nfyDeskNotify\[[0-9]*\]: ERR : WebPost Failed : ' <<<"$journal" || fail "no error line of the run in the journal"
ct journalctl -q --no-pager -p err -o cat _SYSTEMD_USER_UNIT=nfydesk-notifier.service _SYSTEMD_INVOCATION_ID="$run_id" |
  grep -q '^ERR : WebPost Failed' || fail "the error lines have no error priority"
log="$(ls "$(data_of bob)"/ApplicationLog/nfyDeskLog/nfyDeskNotify_*_bob.txt)"
grep -q $'\tERR : ' "$log" || fail "the error lines are missing from bob's own log"
note "message ids that would set their own priority in the journal: each one entry at error priority"
# Error lines just over the journal's line limit for a stream (48 KiB): split
# there, the piece after the cut would begin with the id's "<0>".
ids=()
for n in $(seq 49090 49110); do ids+=("7$(head -c "$n" /dev/zero | tr '\0' A)"); done
{
  printf '<dcmgetmsgstatus>'
  printf '<message><id>%s&lt;0&gt;alert</id><status>0</status></message>' "${ids[@]}"
  printf '</dcmgetmsgstatus>'
} >"$CT/root/nfy/messages.txt"
provider --messages /root/nfy/messages.txt
user_ctl bob start nfydesk-notifier.service || fail "bob's run: $(unit_journal bob | tail -n 20)"
run_id="$(user_ctl bob show -p InvocationID --value nfydesk-notifier.service)"
urgent="$(ct journalctl -q --no-pager -p 0..2 _SYSTEMD_INVOCATION_ID="$run_id" + USER_INVOCATION_ID="$run_id")"
[ -z "$urgent" ] || fail "entries above error priority: ${urgent:0:300}"
entries="$(ct journalctl -q --no-pager -a -p err -o cat _SYSTEMD_INVOCATION_ID="$run_id")"
for id in "${ids[@]}"; do
  grep -qxF "ERR : fncParseDeskMessages, unsafe message id $id<0>alert" <<<"$entries" || fail "an unsafe id's entry is not whole"
done
messages 501 "Maintenance tonight" "Please save your work by six."
ct systemctl stop provider-sim.service
note "after each run the unit delivers the reports saved while the service was down"
report=wpdcmsendmsgdskupd_N_1234_501_0715201713050999.xml
ct runuser -u bob -- sh -c "umask 077 && mkdir -p /var/lib/nfydesk/ProgramData/bob/VELTOR/DeskPostLogs &&
  printf '<wpdcmsendmsgdskupd><msgid>501</msgid></wpdcmsendmsgdskupd>\r\n' >/var/lib/nfydesk/ProgramData/bob/VELTOR/DeskPostLogs/$report"
user_ctl bob start nfydesk-notifier.service || true
[ -f "$(data_of bob)/DeskPostLogs/$report" ] || fail "a report was dropped while the service was down"
provider --messages /root/nfy/messages.txt
user_ctl bob start nfydesk-notifier.service || fail "bob's run: $(unit_journal bob | tail -n 20)"
[ ! -e "$(data_of bob)/DeskPostLogs/$report" ] || fail "the saved report was not delivered after the run"
grep -q "delivered, deleted $report" "$(data_of bob)"/ApplicationLog/nfyDeskLog/nfyDeskResend_*_bob.txt ||
  fail "nfyDeskResend's log: $(cat "$(data_of bob)"/ApplicationLog/nfyDeskLog/nfyDeskResend_*_bob.txt 2>&1)"

note "a click on the popup opens the viewer, which outlives the run"
ct systemd-run -q --user --machine=alice@ --unit=xvfb Xvfb :7 -screen 0 1280x800x24 -nolisten tcp
wait_for 100 ct test -S /tmp/.X11-unix/X7 || fail "Xvfb did not start"
# As a desktop does at login; GTK draws without GL in Xvfb.
user_ctl alice set-environment DISPLAY=:7 GSK_RENDERER=cairo GTK_A11Y=none NO_AT_BRIDGE=1
ct systemd-run -q --user --machine=alice@ --unit=desktop-sim desktop-sim --answer click --delay-ms 300
messages 502 "Badge renewal" "Your badge expires on 12/31."
user_ctl alice start nfydesk-notifier.service || fail "alice's run: $(unit_journal alice)"
assert_eq "$(user_ctl alice is-active nfydesk-notifier.service)" inactive "alice's run after it ended"
# The viewer's window on alice's display (found by the viewer's process: the
# first one, while a second start is handing over to it).
viewer_window() {
  local pid
  pid="$(ct pgrep -o -u alice -x nfyInbox.exe)" &&
    [ -n "$(ct runuser -u alice -- env DISPLAY=:7 xdotool search --onlyvisible --pid "$pid" 2>/dev/null)" ]
}
wait_for 300 viewer_window || fail "no viewer window: $(unit_journal alice | tail -n 20)"
sleep 2
viewer_window || fail "the viewer ended: $(unit_journal alice | tail -n 20)"
! unit_journal alice | grep -q 'nfyInbox.exe.*killed' || fail "the viewer was killed: $(unit_journal alice)"
ct xwd -root -display :7 -silent >"$SANDBOX/shot.xwd"
convert "xwd:$SANDBOX/shot.xwd" "$SHOT" || fail "screenshot"
note "screenshot $SHOT"
note "a run while the viewer is open leaves it open"
user_ctl alice start nfydesk-notifier.service || fail "alice's second run: $(unit_journal alice | tail -n 20)"
unit_journal alice | grep -q 'left-over process.*(nfyInbox.exe)' || fail "no left-over note: $(unit_journal alice | tail -n 20)"
viewer_window || fail "the viewer ended with the second run: $(unit_journal alice | tail -n 20)"

note "a data folder planted by another user as a link is refused"
login carol
ct runuser -u bob -- sh -c 'mkdir -m 0777 /home/bob/trap && ln -s /home/bob/trap /var/lib/nfydesk/ProgramData/carol'
user_ctl carol start nfydesk-notifier.service 2>/dev/null && fail "carol's run used bob's link"
[ -z "$(ls -A "$CT/home/bob/trap")" ] || fail "carol's run wrote into bob's folder: $(ls -R "$CT/home/bob/trap")"
unit_journal carol | grep -q '/var/lib/nfydesk/ProgramData/carol is not a folder of carol: not running' ||
  fail "no refusal in the journal: $(unit_journal carol)"
assert_eq "$(user_ctl carol show -p Result --value nfydesk-notifier.service)" exit-code "the result of carol's run"

note "the interval drop-in: a new user's timer still fires after login, and again"
# The recipe of the README, with seconds for minutes.
mkdir -p "$CT/etc/systemd/user/nfydesk-notifier.timer.d"
printf '[Timer]\nOnUnitInactiveSec=\nOnStartupSec=2s\nOnUnitInactiveSec=3s\nRandomizedDelaySec=1s\n' \
  >"$CT/etc/systemd/user/nfydesk-notifier.timer.d/interval.conf"
login dave
banners() { grep -c 'Application started' "$(data_of dave)"/ApplicationLog/nfyDeskLog/nfyDeskNotify_*_dave.txt 2>/dev/null || echo 0; }
fired_twice() { [ "$(banners)" -ge 2 ]; }
wait_for 300 fired_twice || fail "dave's timer did not fire twice: $(user_ctl dave status nfydesk-notifier.timer 2>&1)"
rm -r "$CT/etc/systemd/user/nfydesk-notifier.timer.d"
user_ctl dave daemon-reload

# ------------------------------------------------------------ remove, again, purge
note "remove stops the timer in the running sessions"
ct apt-get remove -y -q nfydesk-notifier >"$SANDBOX/remove.out" 2>&1 || fail "apt-get remove: $(cat "$SANDBOX/remove.out")"
for u in alice bob; do timer_is "$u" inactive || fail "$u's timer after remove: $(user_ctl "$u" status nfydesk-notifier.timer 2>&1)"; done
[ -f "$CT/etc/nfydesk/nfyEndpoints.ini" ] && [ -f "$(inbox_of bob)" ] || fail "remove deleted the configuration or the data"

note "a new installation after remove starts it again"
ct apt-get install -y -q "/root/nfy/$(basename "$DEB")" >"$SANDBOX/install.out" 2>&1 ||
  fail "apt-get install again: $(cat "$SANDBOX/install.out")"
for u in alice bob; do wait_for 50 timer_is "$u" active || fail "$u's timer after a new installation"; done

note "purge leaves nothing"
ct apt-get purge -y -q nfydesk-notifier >"$SANDBOX/purge.out" 2>&1 || fail "apt-get purge: $(cat "$SANDBOX/purge.out")"
for u in alice bob; do timer_is "$u" inactive || fail "$u's timer after purge"; done
left="$(cd "$CT" && find etc opt usr var -iname '*nfydesk*' 2>/dev/null || true)"
[ -z "$left" ] || fail "left after purge: $left"
note "passed"
