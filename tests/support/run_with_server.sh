#!/usr/bin/env bash
# run_with_server.sh [--files] COMMAND...: starts the test server (testserver.py) on 127.0.0.1,
# runs COMMAND with TEST_SERVER_PORT, TEST_SERVER_CLOSED_PORT (refuses connections),
# TEST_SERVER_PROXY_PORT (its forwarding proxy) and TEST_SERVER_OTHER_HOST (a second name of
# 127.0.0.1) in the environment, stops the server and
# returns COMMAND's exit code. With its TLS servers (testserver.py --tls, certificates from
# testca.sh) it exports TEST_TLS_PORT, TEST_TLS_OTHERNAME_PORT, TEST_TLS_UNTRUSTED_PORT,
# TEST_TLS_EXPIRED_PORT, TEST_TLS13_PORT and TEST_TLS_SEGMENTED_PORT, and runs COMMAND in a
# mount namespace of its own (with the server) where the machine's bundle of trusted roots also holds the test CA
# (TEST_TLS_TRUSTED=1); the host's bundle stays untouched. Without root (or unshare) the CA is
# not trusted and TEST_TLS_TRUSTED=0.
#   --files   the maker's web server of the update road: it serves a fresh folder, named in
#             TEST_SERVER_ROOT, and a path that is no file there is 404; a second one of the
#             kind, a company's mirror, serves TEST_MIRROR_ROOT on TEST_MIRROR_PORT
#   otherwise the transfer tests' server: unknown paths answer with their name, and a twin
#             listens on port 80 where it can be had (TEST_SERVER_PORT80, else 0)
set -u
# As root, the server and COMMAND run in a mount namespace of their own, where files of the
# machine can be replaced for them alone (the trusted roots, the names of 127.0.0.1).
if [ -z "${TRELK_TEST_NAMESPACE:-}" ] && [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
   unshare -m true 2>/dev/null; then
  TRELK_TEST_NAMESPACE=1 exec unshare -m bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
options=(--port80)
if [ "${1:-}" = --files ]; then
  shift
  mkdir -p "$work/root/Updates"
  options=(--root "$work/root")
fi
# Another name that the resolver gives as 127.0.0.1: an alias from /etc/hosts other than
# localhost and the machine's own name (Wine answers that one with the interface addresses);
# where the machine has none, one added to /etc/hosts in the namespace; else localhost in
# capitals. Requests to it go through a proxy; the good certificate names it.
other=$(awk -v me="$(hostname)" '$1 == "127.0.0.1" { for (i = 2; i <= NF; i++) if (tolower($i) != "localhost" && $i != me) { print $i; exit } }' /etc/hosts)
[ -n "${TRELK_TEST_NO_ALIAS:-}" ] && other=  # as on a machine without such an alias
if [ -z "$other" ] && [ -n "${TRELK_TEST_NAMESPACE:-}" ]; then
  { cat /etc/hosts; echo "127.0.0.1 trelk-testserver"; } >"$work/hosts" &&
    mount --bind "$work/hosts" /etc/hosts && other=trelk-testserver
fi
bash "$here/testca.sh" "$work/tls" "${other:-}" && options+=(--tls "$work/tls")
python3 "$here/testserver.py" --port-file "$work/port" --lifetime 1800 "${options[@]}" </dev/null \
  >"$work/server.log" 2>&1 &
server=$!
mirror=
if [ -d "$work/root" ]; then
  mkdir -p "$work/mirror/Updates"
  python3 "$here/testserver.py" --port-file "$work/mirror-port" --lifetime 1800 --root "$work/mirror" </dev/null \
    >"$work/mirror.log" 2>&1 &
  mirror=$!
fi
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
if [ -n "$mirror" ]; then
  for _ in $(seq 100); do [ -s "$work/mirror-port" ] && break; sleep 0.05; done
  read -r mirror_port _ <"$work/mirror-port"
  export TEST_MIRROR_PORT=${mirror_port:-0} TEST_MIRROR_ROOT="$work/mirror"
fi
if [ ! -s "$work/port" ]; then
  echo "test server did not start"; cat "$work/server.log"; kill "$server" $mirror 2>/dev/null; exit 1
fi
{ read -r port closed port80 proxy; read -r tls othername untrusted expired tls13 segmented; } <"$work/port"
export TEST_TLS_PORT=${tls:-0} TEST_TLS_OTHERNAME_PORT=${othername:-0} TEST_TLS_UNTRUSTED_PORT=${untrusted:-0}
export TEST_TLS_EXPIRED_PORT=${expired:-0} TEST_TLS13_PORT=${tls13:-0} TEST_TLS_SEGMENTED_PORT=${segmented:-0}
export TEST_SERVER_PORT=$port TEST_SERVER_CLOSED_PORT=$closed TEST_SERVER_PORT80=$port80 TEST_SERVER_PROXY_PORT=$proxy
export TEST_SERVER_OTHER_HOST=${other:-LOCALHOST}
[ -d "$work/root" ] && export TEST_SERVER_ROOT="$work/root"
bundle=/etc/ssl/certs/ca-certificates.crt
if [ -s "$work/tls/bundle.crt" ] && [ -n "${TRELK_TEST_NAMESPACE:-}" ] && [ -f "$bundle" ] &&
   mount --bind "$work/tls/bundle.crt" "$bundle"; then
  TEST_TLS_TRUSTED=1 "$@"
else
  TEST_TLS_TRUSTED=0 "$@"
fi
rc=$?
kill "$server" $mirror 2>/dev/null
wait "$server" $mirror 2>/dev/null
rm -rf "$work"
exit $rc
