#!/bin/bash
# gandry.exe on a real console: tmux gives Wine a terminal, types keys and Ctrl+C, and shows
# the colours (as ANSI escapes) and the window title.
# usage: console_test.sh WINE_LOADER BIN_DIR   (with WINEPREFIX set)
set -u
loader=$1
bin=$2
work=$(mktemp -d /tmp/gandry-console.XXXXXX)
sessions=0
sock=
. "$(dirname "$0")/../check.sh"
esc=$'\e'

stop_session() { [ -n "$sock" ] && tmux -S "$sock" kill-server 2>/dev/null; }
# Processes whose Windows command line names the stand-in in our folder.
child_pids() {
  local name file line
  name="$(basename "$work" | tr '[:upper:]' '[:lower:]')\\gandry.svc"
  for file in /proc/[0-9]*/cmdline; do
    line=$(tr '\0' ' ' 2>/dev/null <"$file")
    if [[ "$line" == *"$name"* ]]; then
      file=${file#/proc/}
      echo "${file%/cmdline}"
    fi
  done
}
cleanup() {
  stop_session
  local pid
  for pid in $(child_pids); do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# The first failure shows the screen as it was.
on_failure() {
  [ "$failures" = 1 ] && screen | sed 's/^/  screen: /' | grep -v '^  screen: $'
}
screen() { tmux -S "$sock" capture-pane -e -p 2>/dev/null; }
shows() { screen | grep -qF -- "$1"; }
wait_for() {  # text, seconds
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    shows "$1" && return 0
    sleep 0.1
  done
  return 1
}
start() {  # gandry.exe's arguments
  rm -f "$work/exit"
  # A fresh server per session: one that is still shutting down would take the new one along.
  sessions=$((sessions + 1))
  sock=$work/tmux.$sessions.sock
  tmux -S "$sock" new-session -d -x 120 -y 40 \
    "cd '$work' && WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all '$loader' gandry.exe $*; echo \$? >'$work/exit'; sleep 600"
}
exit_code() {  # seconds to wait; prints the code or "none"
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    if [ -s "$work/exit" ]; then
      cat "$work/exit"
      return
    fi
    sleep 0.1
  done
  echo none
}
no_child_within() {  # seconds
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    [ -z "$(child_pids)" ] && return 0
    sleep 0.1
  done
  return 1
}

cp "$bin/gandry.exe" "$work/gandry.exe"
cp "$bin/shell_stand_in_child.exe" "$work/gandry.svc"

echo "--- usage screen and key wait"
start
check "prompt shown" wait_for "press a key to continue..." 60
check "title" test "$(tmux -S "$sock" display -p '#{pane_title}')" = "Gandry 1.0 BETA 3"
check "title line bright white" shows "${esc}[97mGandry 1.0 BETA 3"
check "error line dark red" shows "${esc}[31mUnrecongnized or incomplete command line."
check "usage text grey" shows "${esc}[39m  usage: Gandry.exe -debug"
check "manager line" shows "Please use Gandry Manager to manage service."
check "prompt dark cyan" shows "${esc}[36mpress a key to continue..."
tmux -S "$sock" resize-window -x 100 -y 30 2>/dev/null
sleep 1
check "still waiting after a resize" test ! -s "$work/exit"
tmux -S "$sock" send-keys x
check "a key ends it with 31" test "$(exit_code 20)" = 31
stop_session

echo "--- Ctrl+C during a debug relay"
printf 'line hello from the child\nhang\n' >"$work/stand_in.txt"
start -debug
check "relayed line shown" wait_for "hello from the child" 60
check "child running" test -n "$(child_pids)"
tmux -S "$sock" send-keys C-c
check "exit code 6" test "$(exit_code 20)" = 6
check "break line dark yellow" shows "${esc}[33mBreak signaled!"
check "unloaded in grey" shows "${esc}[39mQuillon successfully unloaded."
check "done" shows "Done."
check "child gone" no_child_within 10
stop_session

echo "--- a break with standard output in a file"
(cd "$work" && exec "$loader" gandry.exe -debug </dev/null >"$work/out.txt" 2>&1) &
shell_pid=$!
check "relay started" bash -c "for i in \$(seq 100); do grep -q 'hello from the child' '$work/out.txt' && exit 0; sleep 0.1; done; exit 1"
kill -INT "$shell_pid"
wait "$shell_pid"
check "exit code 6" test $? = 6
printf '\nBreak signaled!\r\nQuillon successfully unloaded.\r\nDone.\r\n' >"$work/expected.txt"
check "everything written before the end" \
  cmp -s <(tail -c "$(stat -c %s "$work/expected.txt")" "$work/out.txt") "$work/expected.txt"
check "child gone" no_child_within 10

echo "--- Ctrl+C with the real watchdog as the child"
# The watchdog must have no console, so that the break reaches only the shell, which ends it
# with the exit code of that moment (0). Ended by the break itself it would give 0xC000013A.
subsystem() {  # PE optional header's Subsystem field: 2 GUI, 3 console
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t u2 -j $((pe + 92)) -N 2 "$1" | tr -d ' '
}
cp "$bin/gandry.svc" "$work/gandry.svc"
cp "$bin/shell_exit_code_watch.exe" "$work/watch.exe"
printf '%s\r\n' '[Settings]' LoopDelayThread=5 LoopDelayService=5 StartDelayThread=5 \
  '[Services]' 'Item1=NoSuchService||0|0' >"$work/Gandry.ini"
check "watchdog built for the GUI subsystem" test "$(subsystem "$work/gandry.svc")" = 2
start -debug
check "watchdog started" wait_for "Self service was successfully started." 60
(cd "$work" && exec "$loader" watch.exe </dev/null >/dev/null 2>&1) &
watch_pid=$!
check "watchdog watched" \
  bash -c "for i in \$(seq 300); do [ -e '$work/watching' ] && exit 0; sleep 0.1; done; exit 1"
tmux -S "$sock" send-keys C-c
check "exit code 6" test "$(exit_code 20)" = 6
check "unloaded" shows "Quillon successfully unloaded."
wait "$watch_pid"
child_exit=$(cat "$work/child_exit.txt" 2>/dev/null)
check "watchdog ended by the shell with 0 (got ${child_exit:-none})" test "$child_exit" = 0
check "child gone" no_child_within 10
stop_session

[ "$failures" = 0 ]
