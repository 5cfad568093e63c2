#!/usr/bin/env bash
# End-to-end run time of one notifier run on Linux that stores 10 new
# messages: the whole process, from start to exit, with the popup answered at
# once by the desktop simulator on a private D-Bus. Prints each run and the
# median. Usage: bench/run_time.sh [runs] (default 11). Needs build/linux.
set -euo pipefail
runs="${1:-11}"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/sandbox.sh"
sandbox_create
for i in $(seq 1 10); do
  printf 'id=%s\nsubject=Message %s\ncontent=Body of message %s.\\nSecond line.\nusractid=0\nrequsrconfirm=false\n' \
    "$((100 + i))" "$i" "$i"
  printf 'timetolive=1\ntimetolivedays=7\ncreatedby=bench\nstatus=0\ndcdwntime=12/08/2026 08:00:00\n\n'
done >"$sandbox/messages.txt"
sandbox_start_provider "$sandbox/messages.txt"

dbus-run-session -- bash -c '
  sim="$1" program="$2" dir="$3" runs="$4"
  "$sim" --answer dismiss --delay-ms 0 --record "$dir/popups.txt" >"$dir/desktop.out" &
  for _ in $(seq 100); do grep -q ready "$dir/desktop.out" && break; sleep 0.05; done
  for i in $(seq 1 "$runs"); do
    rm -rf "$(dirname "$program")/nfyDesk/DeskInbox" "$(dirname "$program")/ApplicationLog"
    start=$(date +%s%N)
    "$program" || true
    echo $(( ($(date +%s%N) - start) / 1000 ))
  done >"$dir/times.txt"
  kill %1' _ "$bin/tools/desktop-sim/desktop-sim" "$install/nfyDeskNotify" "$sandbox" "$runs" 2>/dev/null

popups="$(wc -l <"$sandbox/popups.txt")"
sort -n "$sandbox/times.txt" | awk -v runs="$runs" -v popups="$popups" '
  { t[NR] = $1 }
  END {
    printf "runs: %d, popups shown: %d\n", runs, popups
    printf "min %.1f ms, median %.1f ms, max %.1f ms\n", t[1] / 1000, t[int((NR + 1) / 2)] / 1000, t[NR] / 1000
  }'
