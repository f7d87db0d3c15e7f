#!/usr/bin/env bash
# run_with_server.sh COMMAND...: starts the misbehaving test server on 127.0.0.1, runs COMMAND
# with NET_TEST_PORT, NET_TEST_CLOSED_PORT, NET_TEST_PORT80 and NET_TEST_OTHER_HOST (a second name of 127.0.0.1)
# in the environment, stops the server and returns COMMAND's exit code.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
python3 "$here/testserver.py" --port-file "$work/port" --lifetime 1200 </dev/null >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
if [ ! -s "$work/port" ]; then
  echo "test server did not start"; cat "$work/server.log"; kill "$server" 2>/dev/null; exit 1
fi
read -r port closed port80 <"$work/port"
# Another name that the resolver gives as 127.0.0.1: an alias from /etc/hosts other than
# localhost and the machine's own name (Wine answers that one with the interface addresses),
# else localhost in capitals.
other=$(awk -v me="$(hostname)" '$1 == "127.0.0.1" { for (i = 2; i <= NF; i++) if (tolower($i) != "localhost" && $i != me) { print $i; exit } }' /etc/hosts)
export NET_TEST_PORT=$port NET_TEST_CLOSED_PORT=$closed NET_TEST_PORT80=$port80 NET_TEST_OTHER_HOST=${other:-LOCALHOST}
"$@"
rc=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$work"
exit $rc
