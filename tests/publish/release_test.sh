#!/usr/bin/env bash
# release_test.sh ROOT BATCH_PROBE EMULATOR...: scripts/release.sh run on the 32-bit programs of
# build/i686 with a fresh key pair; the server folder checked by trelkpublish verify and read
# back (list, archive entries byte for byte, the family's written template for the tool's key),
# also by trelkpublish.exe under Wine; then the archive's batch template made into "Update.bat"
# as the wizard does and run by Wine's cmd.exe on a program folder with a blank in its name: both
# files replaced, the outcome in the tool's key, the batch file gone (the search folder with the
# copies is the program's to remove).
set -euo pipefail
root=$1 probe=$2
shift 2
emulator=("$@")
tool="$root/build/native/bin/trelkpublish"
i686="$root/build/i686/bin"
if [ ! -x "$tool" ] || [ ! -f "$i686/Brisel.exe" ] || [ ! -f "$i686/Kalvor.dll" ]; then
  echo "release_test: needs build/native and build/i686 (bash scripts/build.sh builds both)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "release_test: $*" >&2; exit 1; }

"$tool" keygen "$work/keys" >/dev/null
TRELKPUBLISH="$tool" bash "$root/scripts/release.sh" "$work/server" --key "$work/keys/update-secret.key" \
  --bin "$i686" --date 15.03.2024 --news "15.03.2024:Neue Suche" --news Fix >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; fail "release.sh failed"; }
"$tool" verify --server "$work/server" --public "$work/keys/update-public.key" || fail "verify found problems"

# Without a key (or with the wrong one) the release refuses.
if env -u TRELK_UPDATE_SECRET_KEY bash "$root/scripts/release.sh" "$work/other" --bin "$i686" >/dev/null 2>&1; then fail "ran without a key"; fi
[ ! -e "$work/other" ] || fail "wrote a folder without a key"

python3 - "$work/server" "$i686" <<'PY' || fail "the server folder is not as published"
import datetime, hashlib, sys, zipfile
server, bin_dir = sys.argv[1], sys.argv[2]
archive = server + "/Updates/Brisel.zip"
data = open(archive, "rb").read()
expected = (b"[Ostvane]\r\nDate=15.03.2024\r\nFile=Brisel.zip\r\nNews=\"15.03.2024:Neue Suche\",Fix\r\n"
            b"SHA256=" + hashlib.sha256(data).hexdigest().encode() + b"\r\n"
            b"Size=" + str(len(data)).encode() + b"\r\n\r\n[<Liste>]\r\nSerial=1\r\nExpires=" +
            (datetime.date.today() + datetime.timedelta(days=365)).strftime("%d.%m.%Y").encode() + b"\r\n")
listing = open(server + "/Updates.ini", "rb").read()
assert listing == expected, listing
with zipfile.ZipFile(archive) as z:
    names = sorted(z.namelist())
    assert names == ["Brisel.exe", "Kalvor.dll", "Update.bat"], names
    for name in ("Brisel.exe", "Kalvor.dll"):
        assert z.read(name) == open(bin_dir + "/" + name, "rb").read(), name
    batch = z.read("Update.bat")
    assert b'"HKLM\\Software\\Trelk\\Ostvane" /v UpdateResult' in batch, batch
    assert b"|G|Brisel.exe\r\n" in batch and b"|G|Kalvor.dll\r\n" in batch, batch
PY

# The Windows build of the tool reads the folder alike, and finds a list changed after signing.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
winverify() {
  "${emulator[@]}" "$(dirname "$probe")/trelkpublish.exe" verify --server "$(win "$1")" \
    --public "$(win "$work/keys/update-public.key")" </dev/null >"$work/verify.log" 2>&1
}
winverify "$work/server" || { cat "$work/verify.log"; fail "trelkpublish.exe verify found problems"; }
grep -q "1 section(s) checked, no problems, signature right." "$work/verify.log" || fail "trelkpublish.exe said: $(cat "$work/verify.log")"
cp -r "$work/server" "$work/changed"
printf '; nachher\r\n' >>"$work/changed/Updates.ini"
if winverify "$work/changed"; then fail "trelkpublish.exe verify missed a changed list"; fi
grep -q "the list was changed after signing" "$work/verify.log" || fail "trelkpublish.exe said: $(cat "$work/verify.log")"

# The installation: the archive unpacked into the search folder, the batch file made and run.
temp="$work/temp"
prog="$work/Programme Ostvane"
mkdir -p "$temp" "$prog"
printf 'alt' >"$prog/Brisel.exe"
printf 'alt' >"$prog/Kalvor.dll"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$work/server/Updates/Brisel.zip" "$temp"
"${emulator[@]}" "$probe" "$(win "$temp/Update.bat")" "$(win "$temp/")" "$(win "$prog/")" "$(win "$temp/Update.bat")" ||
  fail "the template could not be made into a batch file"
"${emulator[@]}" reg delete 'HKLM\Software\Trelk\Ostvane' /v UpdateResult /f >/dev/null 2>&1 || true
"${emulator[@]}" cmd /c "$(win "$temp/Update.bat")" </dev/null >"$work/cmd.log" 2>&1 || true
for f in Brisel.exe Kalvor.dll; do
  cmp -s "$prog/$f" "$i686/$f" || { cat "$work/cmd.log"; fail "$f was not replaced"; }
done
"${emulator[@]}" reg query 'HKLM\Software\Trelk\Ostvane' /v UpdateResult </dev/null 2>/dev/null | tr -d '\r' |
  grep -q 'UpdateResult *REG_SZ .*|ok$' || { cat "$work/cmd.log"; fail "the outcome \"ok\" is not in the tool's key"; }
"${emulator[@]}" reg delete 'HKLM\Software\Trelk\Ostvane' /f >/dev/null 2>&1 || true
# The batch's last line deletes the batch itself (the folder is the program's to remove).
for _ in $(seq 100); do [ -e "$temp/Update.bat" ] || break; sleep 0.1; done
[ ! -e "$temp/Update.bat" ] || fail "Update.bat did not delete itself"
echo "release_test: published, verified and installed"
