#!/usr/bin/env bash
# joinkeys.sh OUT KEYFILE...: the keys of the files (one line of Base64 each, as trelkpublish
# keygen writes them) as one line separated by ",", the form of a program's root keys.
set -euo pipefail
out=$1
shift
line=
for f in "$@"; do line+=${line:+,}$(tr -d '\r\n' <"$f"); done
printf '%s\n' "$line" >"$out"
