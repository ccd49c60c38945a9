#!/bin/sh
# Runs a test program and waits for it: RunToEnd.sh LOG COMMAND...
# wine 8 now and then does not end a process whose tests have all run (it hangs in the
# thread clean-up of its exit). Once LOG says the tests finished, the program has 20 s
# to end; then it is ended, says so, and LOG's totals decide.
log=$1
shift
"$@" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  if grep -q '^\*\*\*\*\*\*\*\*\* Finished testing' "$log" 2>/dev/null; then
    i=0
    while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 20 ]; do sleep 1; i=$((i + 1)); done
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      wait "$pid"
      echo "RunToEnd: the program did not end 20 s after its tests had run; it was ended" >&2
      grep -q '^Totals: [0-9]* passed, 0 failed' "$log"
      exit $?
    fi
  fi
  sleep 1
done
wait "$pid"
