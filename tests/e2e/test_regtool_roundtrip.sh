#!/usr/bin/env bash
# nfyDeskReg export and import against a registry editor: a tree with values
# of every type (backslashes and quotes, empty strings, binary zeros, a long
# value) comes back the same. Under Wine the file goes through Wine's own
# regedit both ways; on Linux it is imported into a fresh store.
source "$(dirname "$0")/lib.sh"
e2e_begin

BASE='HKCU\Software\nfyRoundTrip'
LONG="$(printf 'v%.0s' $(seq 350))"

tool() {
  if is_windows; then
    wine_run "$NFY_BUILD_DIR/nfyDeskReg.exe" "$@" 2>>"$SANDBOX/tool.err" | tr -d '\r'
  else
    "$NFY_BUILD_DIR/nfyDeskReg" "$@" 2>>"$SANDBOX/tool.err"
  fi
  return "${PIPESTATUS[0]}"
}

build_tree() {
  tool write-string "$BASE" "" 'top default' || fail "write default"
  tool write-string "$BASE" 'back\slash' 'C:\dir\' || fail "write back\\slash"
  tool write-string "$BASE" 'say "hi"' 'he said "hi" \ "' || fail "write quotes"
  tool write-string "$BASE" empty "" || fail "write empty"
  tool write-string "$BASE" long "$LONG" || fail "write long"
  tool write-dword "$BASE" ten 10 || fail "write ten"
  tool write-dword "$BASE" neg -5 || fail "write neg"
  tool write-binary "$BASE" zeros "00 41 00 00" || fail "write zeros"
  tool write-binary "$BASE\\sub" one ff || fail "write sub"
  tool write-string "$BASE\\sub\\deeper" s x || fail "write deeper"
  tool create-key "$BASE\\sub\\empty key" || fail "create empty key"
}

# Every key and value of the tree, one sorted line each; an empty default
# value counts as none (an export always writes one).
snapshot() {
  if is_windows; then
    wine_run reg query "$BASE" /s 2>/dev/null | tr -d '\r' | awk '
      /^HKEY_/ { key = $0; print "[" key "]"; next }
      /^    / { if ($0 ~ /^    \(Default\)    REG_SZ    $/) next; print key "|" $0 }' | sort
  else
    _snapshot_key "$BASE" | sort
  fi
}
_snapshot_key() {
  local k="$1" sub
  echo "[$k]"
  tool list-values "$k" | grep -v '^@=$' | while IFS= read -r line; do printf '%s|%s\n' "$k" "$line"; done
  tool list-keys "$k" | while IFS= read -r sub; do _snapshot_key "$k\\$sub"; done
}

note "build the tree"
build_tree
before="$(snapshot)"
echo "$before" >"$SANDBOX/before.txt"
grep -q "$LONG" <<<"$before" || fail "the long value is missing before the export"
[ "$(grep -c . <<<"$before")" -ge 13 ] || fail "the snapshot is too small: $before"

note "export with nfyDeskReg"
tool export "$BASE" "$(winpath "$SANDBOX/tree.reg")" || fail "export: $(cat "$SANDBOX/tool.err")"
grep -q '"ten"=dword:0000000a' "$SANDBOX/tree.reg" || fail "dword line: $(cat "$SANDBOX/tree.reg")"
grep -q '"zeros"=hex:00,41,00,00' "$SANDBOX/tree.reg" || fail "binary line"
grep -qF '"back\\slash"="C:\\dir\\"' "$SANDBOX/tree.reg" || fail "backslashes not escaped"

if is_windows; then
  note "delete the tree, import the file with Wine's regedit"
  tool delete-key "$BASE" --recursive || fail "delete-key"
  [ -z "$(snapshot)" ] || fail "the tree is still there"
  wine_run regedit /S "$(winpath "$SANDBOX/tree.reg")" || fail "regedit /S"
  after="$(snapshot)"
  [ "$after" = "$before" ] || fail "regedit imported other values: $(diff <(echo "$before") <(echo "$after"))"

  note "export with Wine's regedit, import with nfyDeskReg"
  wine_run regedit /E "$(winpath "$SANDBOX/wine.reg")" 'HKEY_CURRENT_USER\Software\nfyRoundTrip' ||
    fail "regedit /E"
  tool delete-key "$BASE" --recursive || fail "delete-key"
  tool import "$(winpath "$SANDBOX/wine.reg")" || fail "import: $(tail -3 "$SANDBOX/tool.err")"
  after="$(snapshot)"
  [ "$after" = "$before" ] || fail "nfyDeskReg imported other values: $(diff <(echo "$before") <(echo "$after"))"
  tool delete-key "$BASE" --recursive || fail "clean up"
else
  note "import into a fresh store"
  export NFY_REGISTRY_ROOT="$SANDBOX/fresh"
  tool import "$SANDBOX/tree.reg" || fail "import: $(tail -3 "$SANDBOX/tool.err")"
  after="$(snapshot)"
  [ "$after" = "$before" ] || fail "the import differs: $(diff <(echo "$before") <(echo "$after"))"
fi
note "ok"
