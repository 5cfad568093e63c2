# A throw-away installation of the built Linux program, for the demo and the
# run-time benchmark: registry store, template, endpoint INI, inbox viewer,
# and the provider simulator. Source it, then call sandbox_create.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="$root/build/linux"
sandbox_pids=()

sandbox_cleanup() {
  for p in "${sandbox_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$sandbox"
}

# Creates $sandbox with the installation in $install.
sandbox_create() {
  sandbox="$(mktemp -d)"
  trap sandbox_cleanup EXIT
  install="$sandbox/install"
  mkdir -p "$install/nfyDesk/DeskCom" "$install/Configuration" "$sandbox/registry"
  cp "$bin/nfyDeskNotify" "$install/"
  cp "$bin/tools/test-viewer/test-viewer" "$install/nfyDesk/nfyInbox.exe"
  export NFY_VIEWER_RECORD="$sandbox/viewer.txt"
  # The agent's registry key, in the file-backed store.
  cat >"$sandbox/registry/HKEY_LOCAL_MACHINE.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]
"InstallationPath"="$install/"
"RegID"="1234"
"siteid"="55"
"MemberID"="77"
"Type"="1"
REG
  export NFY_REGISTRY_ROOT="$sandbox/registry"
  cat >"$install/nfyDesk/DeskCom/nfyDeskMenu.xml" <<'XML'
<?xml version="1.0"?>
<nfydesk>
  <dcmgetclientcommtemplate>
    <desksmsmsg>Messages from your IT service provider are waiting in your inbox.</desksmsmsg>
    <inboxtitle>You have new messages from your service provider for your reference. Click for view all messages.</inboxtitle>
  </dcmgetclientcommtemplate>
</nfydesk>
XML
}

# Starts the provider simulator on a free port with this message file and
# points the endpoint INI at it.
sandbox_start_provider() {
  "$bin/tools/provider-sim/provider-sim" --port 0 --messages "$1" --record "$sandbox/requests.txt" \
    >"$sandbox/provider.out" &
  sandbox_pids+=($!)
  for _ in $(seq 100); do grep -q listening "$sandbox/provider.out" 2>/dev/null && break; sleep 0.05; done
  port="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$sandbox/provider.out" | head -1)"
  printf '[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:%s/nfydesk\r\n' \
    "$port" "$port" >"$install/Configuration/nfyEndpoints.ini"
}
