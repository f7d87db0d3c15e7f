#!/usr/bin/env bash
# run_with_update_server.sh COMMAND...: starts the maker's web server of the update road on
# 127.0.0.1 over a fresh folder, runs COMMAND with UPDATE_TEST_PORT and UPDATE_TEST_ROOT (the
# folder) in the environment, stops the server and returns COMMAND's exit code.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
mkdir -p "$work/root/Updates"
python3 "$here/update_server.py" --root "$work/root" --port-file "$work/port" --lifetime 1800 </dev/null \
  >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
if [ ! -s "$work/port" ]; then
  echo "update server did not start"; cat "$work/server.log"; kill "$server" 2>/dev/null; exit 1
fi
export UPDATE_TEST_PORT=$(cat "$work/port") UPDATE_TEST_ROOT="$work/root"
"$@"
rc=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$work"
exit $rc
