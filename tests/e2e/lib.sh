# Shared by every end-to-end scenario, on Linux and under Wine.
#
# A scenario sources this file, calls e2e_begin, sets registry values, runs
# the installed program and asserts on the log and the files it left. The
# environment comes from ctest: NFY_PLATFORM (linux|windows), NFY_BUILD_DIR,
# NFY_SOURCE_DIR and NFY_LINUX_BUILD_DIR (the Linux build, for the simulators).
#
# Variables after e2e_begin:
#   SANDBOX   the scenario's scratch folder (removed when the scenario passes)
#   INSTALL   the sandbox installation folder (Unix path), holding the program
#   PROGRAM   the installed program (Unix path)
#   DATA      where the run keeps its data: INSTALL on Linux unless
#             ALLUSERSPROFILE says otherwise; C:\ProgramData\VELTOR of the Wine prefix
set -euo pipefail

: "${NFY_PLATFORM:?run through ctest}" "${NFY_BUILD_DIR:?run through ctest}" "${NFY_SOURCE_DIR:?run through ctest}"
E2E_NAME="$(basename "${BASH_SOURCE[1]:-$0}" .sh)"
E2E_FAILED=0

# ---------------------------------------------------------------- reporting

fail() {
  echo "FAIL ($E2E_NAME): $*" >&2
  E2E_FAILED=1
  exit 1
}
note() { echo "-- $*"; }

e2e_cleanup() {
  local rc=$?
  [ -n "${E2E_HOLDER_PID:-}" ] && e2e_release_instance || true
  if [ "$rc" -eq 0 ] && [ "$E2E_FAILED" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
    rm -rf "$SANDBOX"
  else
    echo "sandbox kept for inspection: $SANDBOX" >&2
  fi
  return "$rc"
}

# ---------------------------------------------------------------- platform

is_windows() { [ "$NFY_PLATFORM" = windows ]; }

wine_run() { "$NFY_SOURCE_DIR/scripts/wine-run" "$@"; }

# wine_run for the set-up of a scenario (reg add ...): a Wine server that is
# just ending after the previous scenario can refuse the first client, so a
# failure is tried once more after that server is gone. Prints what Wine said
# when both tries fail.
wine_setup() {
  local out
  out="$(wine_run "$@" 2>&1)" && return 0
  WINEPREFIX="${WINEPREFIX:-$NFY_BUILD_DIR/wineprefix}" wineserver -w 2>/dev/null || true
  out="$(wine_run "$@" 2>&1)" && return 0
  printf '%s\n' "$out" | tail -n 5 >&2
  return 1
}

# The path the program sees for a Unix path, and back.
winpath() {
  if is_windows; then
    NFY_WINE_BUILD="$NFY_BUILD_DIR" wine_run winepath -w "$1" 2>/dev/null | tr -d '\r'
  else
    printf '%s\n' "$1"
  fi
}
unixpath() {
  if is_windows; then
    NFY_WINE_BUILD="$NFY_BUILD_DIR" wine_run winepath -u "$1" 2>/dev/null | tr -d '\r'
  else
    printf '%s\n' "$1"
  fi
}

# The separator of the program's paths.
SEP=/
is_windows && SEP='\'

# ---------------------------------------------------------------- sandbox

e2e_begin() {
  SANDBOX="$NFY_BUILD_DIR/e2e-sandboxes/$E2E_NAME-$$"
  rm -rf "$SANDBOX"
  mkdir -p "$SANDBOX"
  trap e2e_cleanup EXIT
  INSTALL="$SANDBOX/install"
  mkdir -p "$INSTALL/nfyDesk"
  unset ALLUSERSPROFILE || true
  if is_windows; then
    export NFY_WINE_BUILD="$NFY_BUILD_DIR"
    export WINEPREFIX="$NFY_BUILD_DIR/wineprefix"
    PROGRAM="$INSTALL/nfyDeskNotify.exe"
    cp "$NFY_BUILD_DIR/nfyDeskNotify.exe" "$PROGRAM"
    wine_run --prefix-only
    # Each scenario starts from no agent key and no data folder.
    wine_run reg delete 'HKLM\SOFTWARE\VELTOR' /f /reg:32 >/dev/null 2>&1 || true
    DATA="$WINEPREFIX/drive_c/ProgramData/VELTOR"
    rm -rf "$DATA"
  else
    PROGRAM="$INSTALL/nfyDeskNotify"
    cp "$NFY_BUILD_DIR/nfyDeskNotify" "$PROGRAM"
    export NFY_REGISTRY_ROOT="$SANDBOX/registry"
    # The user's run-time folder, where the instance lock lives: one of the
    # sandbox's own, so that no lock file outlives the scenario.
    export XDG_RUNTIME_DIR="$SANDBOX/runtime"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
    DATA="$INSTALL"
  fi
  note "sandbox $SANDBOX"
}

# What the agent's installer provides in the data folder when it differs
# from the installation folder (under Wine it always does).
make_data_folder() {
  mkdir -p "$DATA/nfyDesk"
}

# ---------------------------------------------------------------- registry

declare -A E2E_REG=()
declare -a E2E_REG_ORDER=()

# Sets a string value of the agent's key (HKLM\SOFTWARE\VELTOR).
reg_set() {
  local name="$1" value="$2"
  if is_windows; then
    wine_setup reg add 'HKLM\SOFTWARE\VELTOR' /v "$name" /d "$value" /f /reg:32 >/dev/null ||
      fail "reg add $name"
  else
    [ -n "${E2E_REG[$name]+set}" ] || E2E_REG_ORDER+=("$name")
    E2E_REG[$name]="$value"
    _reg_write_store
  fi
}

# Removes a value of the agent's key.
reg_unset() {
  local name="$1"
  if is_windows; then
    wine_run reg delete 'HKLM\SOFTWARE\VELTOR' /v "$name" /f /reg:32 >/dev/null 2>&1 || true
  else
    unset "E2E_REG[$name]"
    _reg_write_store
  fi
}

# Creates the agent's key with no values.
reg_create_key() {
  if is_windows; then
    wine_setup reg add 'HKLM\SOFTWARE\VELTOR' /f /reg:32 >/dev/null || fail "reg add key"
  else
    _reg_write_store
  fi
}

_reg_write_store() {
  mkdir -p "$NFY_REGISTRY_ROOT"
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]\n'
    local name value
    for name in "${E2E_REG_ORDER[@]}"; do
      [ -n "${E2E_REG[$name]+set}" ] || continue
      value="${E2E_REG[$name]//\\/\\\\}"
      value="${value//\"/\\\"}"
      printf '"%s"="%s"\n' "$name" "$value"
    done
  } >"$NFY_REGISTRY_ROOT/HKEY_LOCAL_MACHINE.reg"
}

# The installation folder as the program reads it, with its trailing separator.
install_path() { printf '%s%s\n' "$(winpath "$INSTALL")" "$SEP"; }

# A complete agent key for the sandbox installation.
reg_defaults() {
  reg_set InstallationPath "$(install_path)"
  reg_set RegID 1234
  reg_set siteid 55
  reg_set MemberID 77
  reg_set Type 1
}

# ---------------------------------------------------------------- running

# Runs the installed program once and waits for it to end.
run_program() {
  if is_windows; then
    wine_run "$PROGRAM" >"$SANDBOX/run.out" 2>&1 || true
  else
    "$PROGRAM" >"$SANDBOX/run.out" 2>&1 || true
  fi
}

# Holds the installed program's running-instance mark, as a first instance
# would, until e2e_release_instance.
e2e_hold_instance() {
  local holder release="$SANDBOX/release-holder" out="$SANDBOX/holder.out"
  rm -f "$release" "$out"
  if is_windows; then
    holder="$NFY_BUILD_DIR/tools/instance-holder/instance-holder.exe"
    wine_run "$holder" "$(winpath "$PROGRAM")" "$(winpath "$release")" >"$out" 2>&1 &
  else
    holder="$NFY_BUILD_DIR/tools/instance-holder/instance-holder"
    "$holder" "$PROGRAM" "$release" >"$out" 2>&1 &
  fi
  E2E_HOLDER_PID=$!
  local i
  for i in $(seq 1 600); do
    grep -q . "$out" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^holding' "$out" || fail "the instance holder did not take the mark: $(cat "$out")"
}

e2e_release_instance() {
  touch "$SANDBOX/release-holder"
  wait "$E2E_HOLDER_PID" 2>/dev/null || true
  E2E_HOLDER_PID=
}

# ---------------------------------------------------------------- the log

log_folder() { printf '%s\n' "$DATA/ApplicationLog/nfyDeskLog"; }

# The log files of the data folder, one per line (names only).
log_files() {
  local d
  d="$(log_folder)"
  [ -d "$d" ] || return 0
  (cd "$d" && ls -1)
}

# The only log file (full path); fails when there is not exactly one.
the_log() {
  local files
  files="$(log_files)"
  [ -n "$files" ] || fail "no log file in $(log_folder)"
  [ "$(printf '%s\n' "$files" | wc -l)" -eq 1 ] || fail "more than one log file: $files"
  printf '%s/%s\n' "$(log_folder)" "$files"
}

# The messages of a log file, one per line: the time stamp and tab removed,
# CR LF checked.
log_messages() {
  local file="$1"
  [ -f "$file" ] || fail "no log file [$file]"
  if grep -qv $'\r$' "$file"; then fail "a line of $file does not end in CR LF"; fi
  if grep -qvE $'^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\t' "$file"; then
    fail "a line of $file does not begin with the time stamp and a tab"
  fi
  sed -e $'s/\r$//' -e $'s/^[^\t]*\t//' "$file"
}

# ---------------------------------------------------------------- assertions

assert_eq() { [ "$1" = "$2" ] || fail "${3:-values differ}: expected [$2], got [$1]"; }

# The text (messages, one per line) holds this exact line.
assert_line() {
  grep -qxF -- "$2" <<<"$1" || fail "missing line [$2] in:
$1"
}
assert_no_line() {
  ! grep -qxF -- "$2" <<<"$1" || fail "unexpected line [$2] in:
$1"
}
# No line of the text contains this part.
assert_nothing_like() {
  ! grep -qF -- "$2" <<<"$1" || fail "unexpected [$2] in:
$1"
}
# The lines appear in this order, one directly after the other.
assert_lines_in_a_row() {
  local text="$1"
  shift
  local want
  want="$(printf '%s\n' "$@")"
  local n=$#
  local i total
  total="$(wc -l <<<"$text")"
  for ((i = 1; i + n - 1 <= total; i++)); do
    [ "$(sed -n "${i},$((i + n - 1))p" <<<"$text")" = "$want" ] && return 0
  done
  fail "lines not found in a row:
$want
in:
$text"
}
# The last lines of the text are these.
assert_ends_with() {
  local text="$1"
  shift
  assert_eq "$(tail -n $# <<<"$text")" "$(printf '%s\n' "$@")" "last lines"
}
assert_dir() { [ -d "$1" ] || fail "missing folder $1"; }
assert_no_path() { [ ! -e "$1" ] || fail "unexpected $1"; }
