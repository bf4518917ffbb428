#!/bin/bash
# gandry.svc as the service "zt-gandry-demon" with Events=detailed, seen through Wine's trace of
# ReportEvent: each kind of message arrives with its own identifier and type. The service's
# trace goes to the standard error of the service manager, so the test runs a prefix of its
# own whose server and services.exe start with the trace on and their output in a file.
# usage: events_test.sh WINE_LOADER BIN_DIR
set -u
loader=$1
bin=$2
work=$(mktemp -d /tmp/gandry-events.XXXXXX)
export WINEPREFIX="$work/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
trace="$work/trace.txt"
. "$(dirname "$0")/../check.sh"

finish() {
  WINEDEBUG=-all wineserver -k 2>/dev/null
  WINEDEBUG=-all wineserver -w 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

win() { WINEDEBUG=-all "$loader" "$@" </dev/null >"$work/out.txt" 2>&1; }
# Every reported event as "TYPE ID TEXT": Wine traces the call (type, identifier) and then its
# string, on the reporting thread, under the trace, warn or err class by the event's type.
events() {
  awk '
    /:fixme:advapi:ReportEventW / {
      split($0, head, ":"); split($0, args, ","); pending[head[1]] = args[2] " " args[4]; next
    }
    /:(trace|warn|err):eventlog:ReportEventW / {
      split($0, head, ":")
      if (head[1] in pending) {
        text = $0; sub(/^[^"]*"/, "", text); sub(/(\\n)?"$/, "", text)
        print pending[head[1]] " " text; delete pending[head[1]]
      }
    }' "$trace"
}
has_event() {  # type, identifier, message start
  events | grep -qF -- "$1 $2 $3"
}
wait_event() {  # type, identifier, message start, seconds
  local i
  for ((i = 0; i < $4 * 2; i++)); do
    has_event "$1" "$2" "$3" && return 0
    sleep 0.5
  done
  return 1
}

mkdir -p "$WINEPREFIX"
WINEDEBUG=-all wineboot -i </dev/null >/dev/null 2>&1 || { echo "FAIL: wineboot"; exit 1; }
WINEDEBUG=-all wineserver -w
WINEDEBUG=-all wineserver -p 120 </dev/null >/dev/null 2>&1
# The first program brings up services.exe, which passes the trace settings and its standard
# error on to every service it starts.
WINEDEBUG=fixme+advapi,+eventlog "$loader" cmd.exe /c exit </dev/null >/dev/null 2>"$trace"

folder="$WINEPREFIX/drive_c/gandry-events"
mkdir -p "$folder"
cp "$bin/gandry.svc" "$bin/gandry-manager.exe" "$bin/test_service.exe" "$folder/"
printf '%s\r\n' '[Settings]' LoopDelayThread=5 LoopDelayService=5 StartDelayThread=5 \
  Events=Detailed '[Services]' 'Item1=ev-ok||3|0' 'Item2=ev-missing||1|0' \
  'Item3=ev-nostop||0|-1' >"$folder/Gandry.ini"
win sc.exe create ev-ok binPath= 'C:\gandry-events\test_service.exe'
win sc.exe create ev-missing binPath= 'C:\gandry-events\no-such-service.exe'
win sc.exe create ev-nostop binPath= 'C:\gandry-events\test_service.exe --no-stop'
win sc.exe start ev-nostop
win sc.exe create zt-gandry-demon binPath= 'C:\gandry-events\gandry.svc -service'
check "the watchdog starts" win sc.exe start zt-gandry-demon

check "the start summary: information 104" \
  wait_event 0x0004 0x40020068 "Self service was successfully started. Taked 3 item(s)" 30
check "a stopped service started: information 101" \
  wait_event 0x0004 0x40020065 "Service [ev-ok] successfully started by 3 attempt(s)." 60
check "a refused stop: warning 201" \
  wait_event 0x0002 0x800200c9 "Service [ev-nostop] was not restarted: its stop was refused" 60
check "attempts expired: error 301" \
  wait_event 0x0001 0xc002012d "Attempts (1) to start service [ev-missing] is expired." 60
# Wine's sc.exe has no paramchange.
win 'C:\gandry-events\gandry-manager.exe' reload
check "a reload: information 103" \
  wait_event 0x0004 0x40020067 "Configuration reloaded: 3 item(s) watched, 0 added, 0 removed." 30
win sc.exe stop zt-gandry-demon
check "the stop: information 105" \
  wait_event 0x0004 0x40020069 "Self service was successfully stopped." 30
check "no event has the classic identifier" \
  bash -c "! grep -q ',0x40020001,' '$trace'"

if [ "$failures" -ne 0 ]; then
  echo "--- events seen:"
  events
fi
win sc.exe stop ev-ok
win sc.exe stop ev-nostop
exit $((failures != 0))
