#!/usr/bin/env bash
# End-to-end run time of one notifier run on Linux that stores 10 new
# messages: the whole process, from start to exit, with the popup answered at
# once by the desktop simulator on a private D-Bus; beside it, in turn, the
# floor: a process (bench/posix/run_floor) that posts the same request to
# the same provider-sim with libcurl and does one flushed replace per
# message. Prints both medians and their ratio.
# Usage: bench/run_time.sh [runs] (default 11). Needs build/linux.
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
  sim="$1" program="$2" dir="$3" runs="$4" floor="$5"
  "$sim" --answer dismiss --delay-ms 0 --record "$dir/popups.txt" >"$dir/desktop.out" &
  for _ in $(seq 100); do grep -q ready "$dir/desktop.out" && break; sleep 0.05; done
  here="$(dirname "$program")"
  for i in $(seq 1 "$runs"); do
    rm -rf "$here/nfyDesk/DeskInbox" "$here/ApplicationLog"
    start=$(date +%s%N)
    "$program" || true
    echo $(( ($(date +%s%N) - start) / 1000 )) >>"$dir/times.txt"
    # The same request as the run made, from its log.
    log="$(ls "$here"/ApplicationLog/nfyDeskLog/*.txt | head -1)"
    url="$(sed -n "s/^[^\t]*\tMSG : Webposting Source :: \(.*\)\r$/\1/p" "$log" | head -1)"
    data="$(sed -n "s/^[^\t]*\tMSG : Webposting data :: \(.*\)\r$/\1/p" "$log" | head -1)"
    start=$(date +%s%N)
    "$floor" "$url" "$data" "$dir/floor.ini" 10 || echo "$url" >>"$dir/floor-failed.txt"
    echo $(( ($(date +%s%N) - start) / 1000 )) >>"$dir/floor.txt"
  done
  kill %1' _ "$bin/tools/desktop-sim/desktop-sim" "$install/nfyDeskNotify" "$sandbox" "$runs" \
  "$bin/bench/run_floor" 2>/dev/null

popups="$(wc -l <"$sandbox/popups.txt")"
median() { sort -n "$1" | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }'; }
run="$(median "$sandbox/times.txt")"
floor="$(median "$sandbox/floor.txt")"
echo "runs: $runs, popups shown: $popups, floor failures: $(cat "$sandbox/floor-failed.txt" 2>/dev/null | wc -l)"
echo "run median $run ms, floor median $floor ms (post with libcurl + 10 flushed replaces)"
awk -v r="$run" -v f="$floor" 'BEGIN { printf "ratio run / floor: %.2f\n", r / f }'
