#!/usr/bin/env bash
# Without a usable installation path the program ends at once: nothing is
# created and nothing is written, not even a log.
source "$(dirname "$0")/lib.sh"
e2e_begin
is_windows && make_data_folder

nothing_touched() {
  assert_eq "$(cd "$INSTALL" && find . | sort | tr '\n' ' ')" ". ./nfyDesk ./$(basename "$PROGRAM") " "$1: installation folder"
  assert_no_path "$DATA/ApplicationLog"
  assert_no_path "$DATA/nfyDesk/DeskInbox"
}

note "no key at all"
run_program
nothing_touched "no key"

note "the key without values"
reg_create_key
run_program
nothing_touched "empty key"

note "a blank installation path"
reg_set InstallationPath "   "
reg_set RegID 1234
run_program
nothing_touched "blank path"

note "an installation path that names no folder"
reg_set InstallationPath "$(winpath "$SANDBOX/not-installed")$SEP"
run_program
nothing_touched "missing folder"
assert_no_path "$SANDBOX/not-installed"

if ! is_windows; then
  note "a store that cannot be read: the run ends with an error line on standard error"
  reg_defaults
  rm "$NFY_REGISTRY_ROOT/HKEY_LOCAL_MACHINE.reg"
  mkdir "$NFY_REGISTRY_ROOT/HKEY_LOCAL_MACHINE.reg"
  run_program
  assert_no_path "$INSTALL/ApplicationLog"
  assert_eq "$(cat "$SANDBOX/run.out")" \
    "ERR : in fnc ReadReg. Err : 1016::An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write out, or flush, one of the files that contain the system's image of the registry. (Is a directory)" \
    "standard error"
fi
