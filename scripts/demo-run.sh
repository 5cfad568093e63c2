#!/usr/bin/env bash
# One run of the built Linux program in a throw-away sandbox installation.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/linux"
sandbox="$(mktemp -d)"
trap 'rm -rf "$sandbox"' EXIT
install="$sandbox/install"
mkdir -p "$install/nfyDesk/DeskCom" "$sandbox/registry"
cp "$bin/nfyDeskNotify" "$install/"
cat > "$sandbox/registry/HKEY_LOCAL_MACHINE.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]
"InstallationPath"="$install/"
"RegID"="1234"
"siteid"="55"
"MemberID"="77"
"Type"="1"
REG
cat > "$install/nfyDesk/DeskCom/nfyDeskMenu.xml" <<'XML'
<nfydesk><dcmgetclientcommtemplate>
  <desksmsmsg>Your provider has news for you.</desksmsmsg>
  <inboxtitle>You have new messages from your service provider for your reference. Click for view all messages.</inboxtitle>
</dcmgetclientcommtemplate></nfydesk>
XML
echo "== Run"
NFY_REGISTRY_ROOT="$sandbox/registry" "$install/nfyDeskNotify" || true
echo "== Log"
cat "$install"/ApplicationLog/nfyDeskLog/*.txt | tr -d '\r'
