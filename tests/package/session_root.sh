# The Debian root that the real-session test boots with systemd-nspawn. It is
# made once with debootstrap (minbase) of this machine's own release, from
# the mirror of this machine's apt sources, and kept outside the clone
# ($NFY_SESSION_CACHE, default /var/cache/nfydesk), so that later runs reuse
# it; packages a later run needs are added to it. Source after lib.sh; the
# caller defines skip().

SESSION_CACHE="${NFY_SESSION_CACHE:-/var/cache/nfydesk}"
SESSION_BASE_PACKAGES=(systemd systemd-sysv dbus dbus-user-session libpam-systemd)

# The first deb source of this release in the machine's apt configuration.
session_mirror() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
    awk -v r="$1" '$2 == r && $3 == "deb" { print $1; exit }'
}

# True when a TCP connection to the mirror's host can be made.
session_reachable() {
  local rest="${1#*://}" scheme="${1%%://*}" host port
  host="${rest%%/*}"
  port=80
  [ "$scheme" = https ] && port=443
  [[ "$host" == *:* ]] && port="${host##*:}" && host="${host%:*}"
  timeout 15 bash -c "exec 3<>/dev/tcp/$host/$port" 2>/dev/null
}

# The packages of "$@" that the root does not have.
session_missing() {
  local p
  for p in "$@"; do
    dpkg-query --admindir="$SESSION_ROOT/var/lib/dpkg" -W -f='${Status}' "$p" 2>/dev/null |
      grep -q 'install ok installed' || echo "$p"
  done
}

# Sets SESSION_ROOT to a root that holds the base packages and "$@", making
# or completing it first. Holds a lock on it (shared while the test runs, so
# that no other run changes it underneath; exclusive while it is changed).
session_root_ensure() {
  local release mirror log missing
  release="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  [ -n "$release" ] || skip "this machine names no Debian release"
  SESSION_ROOT="$SESSION_CACHE/root-$release"
  log="$SESSION_CACHE/root-$release.log"
  mkdir -p "$SESSION_CACHE"
  exec 9>"$SESSION_ROOT.lock"
  flock 9
  if [ ! -e "$SESSION_ROOT/.nfy-complete" ]; then
    mirror="$(session_mirror "$release")"
    [ -n "$mirror" ] || skip "this machine's apt sources name no mirror of $release"
    session_reachable "$mirror" || skip "no network to the archive ($mirror)"
    note "making the Debian root $SESSION_ROOT (once)"
    rm -rf "$SESSION_ROOT.new"
    debootstrap --variant=minbase --include="$(IFS=,; echo "${SESSION_BASE_PACKAGES[*]}")" \
      "$release" "$SESSION_ROOT.new" "$mirror" >"$log" 2>&1 || fail "debootstrap: $(tail -n 20 "$log")"
    rm -rf "$SESSION_ROOT"
    mv "$SESSION_ROOT.new" "$SESSION_ROOT"
    touch "$SESSION_ROOT/.nfy-complete"
  fi
  missing="$(session_missing "${SESSION_BASE_PACKAGES[@]}" "$@" | sort -u | paste -sd' ')"
  if [ -n "$missing" ]; then
    mirror="$(sed -n 's/^deb \([^ ]*\) .*/\1/p' "$SESSION_ROOT/etc/apt/sources.list" | head -n 1)"
    session_reachable "$mirror" || skip "no network to the archive ($mirror) for: $missing"
    note "adding to the Debian root: $missing"
    systemd-nspawn -q -D "$SESSION_ROOT" --register=no --keep-unit --pipe -E DEBIAN_FRONTEND=noninteractive \
      sh -c "apt-get update -q && apt-get install -y -q --no-install-recommends $missing && apt-get clean" \
      >"$log" 2>&1 || fail "packages for the Debian root: $(tail -n 20 "$log")"
  fi
  flock -s 9
}
