#!/usr/bin/env bash
# testkey.sh [--root] FOLDER TRELKPUBLISH.EXE EMULATOR...: the build's key pair for the signed
# example programs, made by the maker's tool under Wine ("trelkpublish keygen [--root] FOLDER"). The tool's and
# the Wine server's output go to FOLDER.log: a server that outlives the tool would otherwise keep
# the build waiting on the pipe it inherited.
set -euo pipefail
root=() name=update
if [ "$1" = --root ]; then root=(--root) name=root; shift; fi
folder=$1 tool=$2
shift 2
mkdir -p "$(dirname "$folder")"
if ! "$@" "$tool" keygen "${root[@]}" "Z:$folder" </dev/null >"$folder.log" 2>&1; then
  cat "$folder.log"
  exit 1
fi
[ -s "$folder/$name-public.key" ] && [ -s "$folder/$name-secret.key" ] || { cat "$folder.log"; exit 1; }
