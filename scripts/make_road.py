#!/usr/bin/env python3
"""make_road.py WORK BIN: a staging folder for the update road of Notizkasten.exe.

WORK/root    the maker's web server's folder, served by tests/support/testserver.py --root:
             "Updates.ini" (no "Date", so today's date counts) and "Updates/Notizkasten.zip",
             version 2.0 with a small template, filled with incompressible bytes up to
             20,000,000 bytes in all
WORK/prog    Notizkasten.exe (version 1.0) dated ten days back, so that the update is newer
WORK/temp    an empty folder for the program's temporary files
"""
import os
import shutil
import sys
import time
import zipfile

work, bin_dir = sys.argv[1], sys.argv[2]
for sub in ("root/Updates", "prog", "temp"):
    os.makedirs(os.path.join(work, sub), exist_ok=True)
archive = os.path.join(work, "root", "Updates", "Notizkasten.zip")


def build(filler):
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.write(os.path.join(bin_dir, "NotizkastenNeu.exe"), "Notizkasten.exe")
        z.writestr("Update.bat", "@echo off\r\n")
        if filler:
            z.writestr(zipfile.ZipInfo("fuellung.bin"), os.urandom(filler), zipfile.ZIP_STORED)


build(0)
build(20000000 - os.path.getsize(archive) - 100)
with open(os.path.join(work, "root", "Updates.ini"), "w", newline="") as f:
    f.write("[Notizkasten]\r\nFile=Notizkasten.zip\r\nNews=\"Version 2.0\"\r\n")
program = os.path.join(work, "prog", "Notizkasten.exe")
shutil.copy(os.path.join(bin_dir, "Notizkasten.exe"), program)
old = time.time() - 10 * 86400
os.utime(program, (old, old))
print("archive: %d bytes" % os.path.getsize(archive))
