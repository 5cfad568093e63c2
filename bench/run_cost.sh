#!/usr/bin/env bash
# What a notifier run costs beside the least its work needs, on Linux.
#
# Cases: an idle poll (a blank reply: the service has nothing new; the run
# still goes over every stored message for its expiry), 10, 100 and 1,000 new
# messages, each into an inbox of 0, 1,000 and 20,000 messages, and a reply
# that repeats the 3,000 messages an inbox holds. Each case is timed as a
# whole process (start to exit, the popup answered at once by the desktop
# simulator on a private D-Bus), from the same inbox and the same day's log
# (emptied: it exists, as it does for all but a day's first run) each time,
# and beside it, in turn, its floor (bench/posix/run_floor): a process linked like the
# notifier that posts the same request to the same simulator and then reads
# the inbox once (idle) or writes the new bodies, each flushed, and replaces
# the inbox once with the run's final text (flushed, renamed, folder
# flushed). A run that shows the popup (stored unread messages) is also set
# beside that floor with one popup shown and closed on the same bus, the
# least a run that tells the user needs. Prints the medians and their
# ratios, then the renames and flushes (strace) of a 10-message run and of
# idle runs.
#
# Usage: bench/run_cost.sh [runs] [inbox sizes] (default 5 and "0 1000 20000").
# Needs build/linux. Works on the disk of the temporary folder (TMPDIR),
# never a memory file system.
set -euo pipefail
runs="${1:-5}"
sizes="${2:-0 1000 20000}"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/sandbox.sh"
sandbox_create
: >"$sandbox/messages.txt"
sandbox_start_provider "$sandbox/messages.txt"
floor_bin="$bin/bench/run_floor"
sim_bin="$bin/tools/desktop-sim/desktop-sim"
program="$install/nfyDeskNotify"
inbox_dir="$install/nfyDesk/DeskInbox"
inbox="$inbox_dir/nfyDeskInbox_$(id -un).ini"

# A private session bus with the desktop simulator answering every popup.
bus="$(dbus-daemon --session --fork --print-address=1 --print-pid=1)"
export DBUS_SESSION_BUS_ADDRESS="$(sed -n 1p <<<"$bus")"
"$sim_bin" --answer dismiss --delay-ms 0 --record "$sandbox/popups.txt" >"$sandbox/desktop.out" 2>&1 &
sandbox_pids+=($! "$(sed -n 2p <<<"$bus")")  # the simulator ends before its bus
for _ in $(seq 100); do grep -q ready "$sandbox/desktop.out" && break; sleep 0.05; done

# Messages first..last as provider-sim's field=value blocks.
messages() {
  awk -v first="$1" -v last="$2" 'BEGIN {
    for (i = first; i <= last; i++) {
      printf "id=%d\nsubject=Message %d\ncontent=Body of message %d.\\nSecond line.\nusractid=0\n", i, i, i
      printf "requsrconfirm=false\ntimetolive=1\ntimetolivedays=7\ncreatedby=bench\nstatus=0\n"
      printf "dcdwntime=12/08/2026 08:00:00\n\n"
    }
  }'
}

# The inboxes the cases start from, stored by the notifier itself, 1,000
# messages a run (ids from 1). Their files are older than a few seconds when
# a case starts, as an inbox is when the next run comes.
seed() {
  local size="$1" from
  rm -rf "$inbox_dir" "$install/ApplicationLog"
  : >"$sandbox/messages.txt"
  "$program" || true  # the inbox of 0 messages, as a first run leaves it
  for ((from = 1; from <= size; from += 1000)); do
    messages "$from" "$((from + 999 < size ? from + 999 : size))" >"$sandbox/messages.txt"
    "$program" || true
  done
  # And the idle poll that follows, as every inbox the next runs find has
  # had one (it looks for replace leftovers in the messages folder, which
  # the writing runs leave to the run after them).
  : >"$sandbox/messages.txt"
  "$program" || true
  rm -rf "$sandbox/seed-$size"
  mkdir -p "$inbox_dir/Messages"
  # Moved, not copied: the files keep their identity (see restore).
  mv "$inbox_dir" "$sandbox/seed-$size"
  # The day's log as the runs before left it, emptied: a run every 15
  # minutes appends to a log that the day's first run created.
  rm -rf "$sandbox/seed-log"
  cp -a "$install/ApplicationLog" "$sandbox/seed-log"
  find "$sandbox/seed-log" -type f -exec truncate -s 0 {} +
}

# The inbox folder as links to the seed's files: a run finds the very files
# the runs before left (the same file ids, as on a user's disk from one run
# to the next; the record of the body files' stamps counts on that). The
# notifier never writes a file of that folder in place, it replaces them,
# so the seed stays as it is.
restore() {
  rm -rf "$inbox_dir" "$install/ApplicationLog"
  cp -al "$sandbox/seed-$1" "$inbox_dir"
  cp -a "$sandbox/seed-log" "$install/ApplicationLog"
}

now_us() { echo $(($(date +%s%N) / 1000)); }
median() { sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }'; }

# One case: the inbox it starts from, the reply, and how many bodies the
# floor writes ("idle": none, the inbox read once).
measure() {
  local label="$1" size="$2" bodies="$3" times="$sandbox/times" floors="$sandbox/floors" told="$sandbox/told"
  local i start url data shown popups floor_args
  : >"$times"
  : >"$floors"
  : >"$told"
  for ((i = 0; i < runs; i++)); do
    restore "$size"
    popups="$(wc -l <"$sandbox/popups.txt" 2>/dev/null || echo 0)"
    start=$(now_us)
    "$program" || true
    echo $(($(now_us) - start)) >>"$times"
    shown=$(($(wc -l <"$sandbox/popups.txt" 2>/dev/null || echo 0) > popups))
    # The same request as the run made, from its log.
    log="$(ls -t "$install"/ApplicationLog/nfyDeskLog/*.txt | head -1)"
    url="$(sed -n "s/^[^\t]*\tMSG : Webposting Source :: \(.*\)\r$/\1/p" "$log" | head -1)"
    data="$(sed -n "s/^[^\t]*\tMSG : Webposting data :: \(.*\)\r$/\1/p" "$log" | head -1)"
    cp "$inbox" "$sandbox/final.ini"
    if [ "$bodies" = idle ]; then
      floor_args=("$url" "$data" "$inbox" idle)
    else
      floor_args=("$url" "$data" "$inbox" "$sandbox/final.ini" "$inbox_dir/Messages" "$bodies")
    fi
    restore "$size"
    start=$(now_us)
    "$floor_bin" "${floor_args[@]}"
    echo $(($(now_us) - start)) >>"$floors"
    # The run told the user of unread messages: the floor that does so too.
    if [ "$shown" = 1 ]; then
      restore "$size"
      start=$(now_us)
      "$floor_bin" "${floor_args[@]}" popup
      echo $(($(now_us) - start)) >>"$told"
    fi
  done
  local run floor with_popup
  run="$(median <"$times")"
  floor="$(median <"$floors")"
  with_popup="$([ -s "$told" ] && median <"$told" || echo 0)"
  awk -v l="$label" -v r="$run" -v f="$floor" -v p="$with_popup" 'BEGIN {
    if (p > 0) printf "| %-34s | %9.1f | %9.1f | %5.2f | %9.1f | %5.2f |\n", l, r, f, r / f, p, r / p
    else printf "| %-34s | %9.1f | %9.1f | %5.2f | %9s | %5s |\n", l, r, f, r / f, "-", "-"
  }'
}

# The renames and flushes of one run from this inbox.
syscalls() {
  local label="$1" size="$2" counts
  restore "$size"
  strace -f -qq -c -o "$sandbox/strace.txt" -e trace=rename,renameat,renameat2,fsync,fdatasync "$program" || true
  counts="$(awk '$NF ~ /^(rename|renameat|renameat2)$/ { r += $4 } $NF ~ /^(fsync|fdatasync)$/ { f += $4 }
                 END { printf "renames %d, fsyncs %d", r, f }' "$sandbox/strace.txt")"
  echo "- $label: $counts"
}

echo "Seeding the inboxes (the notifier stores 1,000 messages a run)..."
# 0 and 1,000 also for the system-call counts below.
for size in $(printf '%s\n' 0 1000 3000 $sizes | sort -nu); do seed "$size"; done
sleep 3
# The inbox of the repeated reply as a service that repeats its messages
# leaves it: the run after the one that stored them read their bodies back
# and recorded their stamps beside the inbox.
messages 1 3000 >"$sandbox/messages.txt"
restore 3000
"$program" || true
rm -rf "$sandbox/seed-3000"
mv "$inbox_dir" "$sandbox/seed-3000"

echo
echo "Medians of $runs runs, in ms:"
echo
echo "| case                               |       run |     floor | ratio | + popup   | ratio |"
echo "|------------------------------------|-----------|-----------|-------|-----------|-------|"
for size in $sizes; do
  : >"$sandbox/messages.txt"
  measure "idle poll, inbox of $size" "$size" idle
  for n in 10 100 1000; do
    messages 900001 "$((900000 + n))" >"$sandbox/messages.txt"
    measure "$n new, inbox of $size" "$size" "$n"
  done
done
messages 1 3000 >"$sandbox/messages.txt"
measure "3,000 repeated, inbox of 3,000" 3000 0

echo
if command -v strace >/dev/null; then
  echo "Renames and flushes (strace -f):"
  messages 900001 900010 >"$sandbox/messages.txt"
  syscalls "10 new messages, inbox of 0" 0
  syscalls "10 new messages, inbox of 1,000" 1000
  : >"$sandbox/messages.txt"
  syscalls "idle poll, inbox of 1,000" 1000
  messages 1 3000 >"$sandbox/messages.txt"
  syscalls "3,000 repeated, inbox of 3,000" 3000
else
  echo "(strace is not installed: no syscall counts)"
fi
