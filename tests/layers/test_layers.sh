#!/usr/bin/env bash
# The layer check passes on the tree and fails on includes planted against
# the layers: upward, sideways, into another folder's internals.
set -euo pipefail
src="$NFY_SOURCE_DIR"
check="$src/scripts/check-layers"
"$check" "$src/src"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
expect_refused() {
  local planted="$1" include="$2" said="$3"
  rm -rf "$work/src"
  cp -r "$src/src" "$work/src"
  sed -i "0,/^#include/s||#include \"$include\"\n#include|" "$work/src/$planted"
  if "$check" "$work/src" 2>"$work/said"; then
    echo "FAIL: \"$include\" planted in $planted was not found" >&2
    exit 1
  fi
  grep -qF "src/$planted:" "$work/said" && grep -qF "$said" "$work/said" || {
    echo "FAIL: for \"$include\" in $planted the check said:" >&2
    cat "$work/said" >&2
    exit 1
  }
}
expect_refused inbox/ini_file.cpp notifier/run.h "notifier/ is a layer above inbox/"
expect_refused app/log.cpp inbox/ini_file.h "inbox/ is a layer above app/"
expect_refused lifecycle/expiry.cpp resend/resend_pass.h "resend/ is a layer above lifecycle/"
expect_refused inbox/body_file.cpp bridges/popup.h "inbox/ and bridges/ are side by side"
expect_refused viewer/inbox_model.cpp notifier/notification.h "viewer/ and notifier/ are side by side"
expect_refused app/files.cpp platform/posix/read_capped.h "an internal of platform/posix/"
expect_refused viewer/inbox_model.cpp viewer/gtk/inbox_window.h "an internal of viewer/gtk/"
expect_refused inbox/ini_file.cpp platform/system_testing.h "a test hook of platform/"
expect_refused lifecycle/expiry.cpp inbox/ini_file.h "which inbox/ keeps for itself"
echo "passed"
