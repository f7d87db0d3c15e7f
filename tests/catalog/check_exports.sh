#!/bin/sh
# The export table of each Kalvor.dll given: exactly GetArrayData @1 and ProgramsCount @2,
# undecorated.
status=0
for dll in "$@"; do
  triple=x86_64-w64-mingw32
  case "$dll" in */i686/*) triple=i686-w64-mingw32 ;; esac
  dump=$("$triple-objdump" -p "$dll") || { echo "$dll: cannot be read"; status=1; continue; }
  names=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep '\[ *[0-9]' | awk '{print $NF}' | tr '\n' ' ')
  base=$(printf '%s\n' "$dump" | sed -n 's/.*Ordinal Base[[:space:]]*\([0-9][0-9]*\).*/\1/p' | head -n 1)
  echo "$dll: ordinal base $base, names in ordinal order: $names"
  if [ "$names" != "GetArrayData ProgramsCount " ] || [ "$base" != 1 ]; then
    echo "FAIL: $dll must export GetArrayData @1 and ProgramsCount @2 and nothing else"
    status=1
  fi
done
[ $status = 0 ] && echo "exports as expected"
exit $status
