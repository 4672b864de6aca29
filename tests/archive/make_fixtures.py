#!/usr/bin/python3
"""Writes the ZIP fixtures of the archive tests into the folder given as the argument.

Archives are made by independent tools: Info-ZIP zip, 7-Zip (7z) and Python's zipfile.
Beside each archive a table (<archive>.tsv) lists its records as Python's zipfile reads
them with its own record layouts, one record a line, tab-separated, numbers in decimal:

  local    <offset> <11 header fields> <name bytes, hex> <y> <m> <d> <h> <mi> <s>
  central  <offset> <17 header fields> <name bytes, hex> <file_size> <compress_size> <header_offset>
  end      <offset> <8 record fields>
  zip64end <offset> <10 record fields>
  locator  <offset> <4 record fields>

The date and time of a local line and the sizes and offset of a central line are the
values of Python's ZipInfo (the latter with any ZIP64 block applied).

names.tsv lists seeded byte strings with the text an archive name of these bytes stands
for: UTF-8 when the bytes are valid UTF-8 holding a byte of 0x80 or above, otherwise
Windows-1251 (Python's cp1251, byte 0x98 standing for U+0098):

  name <bytes, hex> <text as UTF-8, hex> <1 when read as UTF-8, else 0>

Source files get fixed times and Python entries a fixed date_time, so every run gives the
same files.
"""

import codecs
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

PEERS = [("zip", "zip"), ("7z", "p7zip-full")]


def require_peers():
    for program, package in PEERS:
        if shutil.which(program) is None:
            sys.exit(f"make_fixtures: '{program}' is not on PATH: install the Debian package {package}")


def run(args, cwd):
    env = dict(os.environ, TZ="UTC")
    subprocess.run(args, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL)


def make_sources(src):
    os.makedirs(os.path.join(src, "sub"), exist_ok=True)
    rnd = random.Random(31)
    files = {
        "hello.txt": b"Hello, archive!\n" * 3,
        "data.bin": bytes(rnd.randrange(256) for _ in range(5000)),
        "zeros.bin": bytes(65536),
        "empty.txt": b"",
        "sub/inner.txt": b"inner file\n",
    }
    for name, data in files.items():
        with open(os.path.join(src, name), "wb") as f:
            f.write(data)
        subprocess.run(["touch", "-d", "2021-03-04 05:06:08 UTC", os.path.join(src, name)], check=True)
    return files


def python_archives(out, files):
    stamp = (2019, 12, 31, 23, 59, 58)
    for name, method in (("py_stored.zip", zipfile.ZIP_STORED), ("py_deflated.zip", zipfile.ZIP_DEFLATED)):
        with zipfile.ZipFile(os.path.join(out, name), "w") as z:
            for i, (entry, data) in enumerate(sorted(files.items())):
                info = zipfile.ZipInfo(entry, date_time=stamp)
                info.compress_type = method
                if i % 2 == 1:
                    # An opaque block of our own, in the local and the central header.
                    info.extra = struct.pack("<HH", 0xCAFE, 6) + bytes(range(6))
                z.writestr(info, data)
    # Many dates, seeded, over the whole MS-DOS range.
    rnd = random.Random(1980)
    with zipfile.ZipFile(os.path.join(out, "py_dates.zip"), "w") as z:
        for i in range(60):
            stamp = (rnd.randint(1980, 2107), rnd.randint(1, 12), rnd.randint(1, 28),
                     rnd.randint(0, 23), rnd.randint(0, 59), rnd.randrange(0, 60, 2))
            z.writestr(zipfile.ZipInfo(f"d{i:02}.txt", date_time=stamp), b"x")


def peer_archives(out, src):
    entries = ["hello.txt", "data.bin", "zeros.bin", "empty.txt", "sub/inner.txt"]
    run(["zip", "-q", os.path.join(out, "infozip.zip")] + entries, src)
    run(["zip", "-q", "-fz", os.path.join(out, "infozip_zip64.zip")] + entries, src)
    run(["7z", "a", "-tzip", "-bd", os.path.join(out, "sevenzip.zip")] + entries, src)


def describe(path):
    """The record lines of an archive, read with zipfile's own layouts."""
    data = open(path, "rb").read()
    lines = []
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
    for info in infos:
        at = info.header_offset
        f = struct.unpack(zipfile.structFileHeader, data[at:at + zipfile.sizeFileHeader])
        sig = struct.unpack("<I", f[0])[0]
        version = f[1] | f[2] << 8
        fields = [sig, version] + list(f[3:])
        name = data[at + 30:at + 30 + f[10]]
        lines.append(["local", at] + fields + [name.hex()] + list(info.date_time))
    end_at = data.rfind(b"PK\x05\x06")
    end = struct.unpack(zipfile.structEndArchive, data[end_at:end_at + zipfile.sizeEndCentDir])
    lines.append(["end", end_at, struct.unpack("<I", end[0])[0]] + list(end[1:]))
    cd_at = end[6]
    loc_at = end_at - zipfile.sizeEndCentDir64Locator
    if data[loc_at:loc_at + 4] == b"PK\x06\x07":
        loc = struct.unpack(zipfile.structEndArchive64Locator, data[loc_at:loc_at + zipfile.sizeEndCentDir64Locator])
        lines.append(["locator", loc_at, struct.unpack("<I", loc[0])[0]] + list(loc[1:]))
        z64_at = loc[2]
        z64 = struct.unpack(zipfile.structEndArchive64, data[z64_at:z64_at + zipfile.sizeEndCentDir64])
        lines.append(["zip64end", z64_at, struct.unpack("<I", z64[0])[0]] + list(z64[1:]))
        cd_at = z64[9]
    for info in infos:
        c = struct.unpack(zipfile.structCentralDir, data[cd_at:cd_at + zipfile.sizeCentralDir])
        sig = struct.unpack("<I", c[0])[0]
        fields = [sig, c[1] | c[2] << 8, c[3] | c[4] << 8] + list(c[5:])
        name = data[cd_at + 46:cd_at + 46 + c[12]]
        lines.append(["central", cd_at] + fields + [name.hex(), info.file_size, info.compress_size, info.header_offset])
        cd_at += 46 + c[12] + c[13] + c[14]
    with open(path[:-4] + ".tsv", "w") as f:
        for line in lines:
            f.write("\t".join(str(v) for v in line) + "\n")


def cp1251_byte_98(error):
    # Windows-1251 has no character at 0x98; the system's table gives it U+0098.
    return ("".join(chr(b) for b in error.object[error.start:error.end]), error.end)


def stored_name_text(raw):
    if any(b >= 0x80 for b in raw):
        try:
            return raw.decode("utf-8"), 1
        except UnicodeDecodeError:
            pass
    return raw.decode("cp1251", errors="cp1251-byte-98"), 0


def names_table(out):
    codecs.register_error("cp1251-byte-98", cp1251_byte_98)
    rnd = random.Random(2024)
    ranges = [(0x20, 0x7E), (0xA0, 0x17F), (0x400, 0x4FF), (0x370, 0x3FF), (0x4E00, 0x9FFF), (0x1F300, 0x1F6FF)]

    def text(n):
        lo, hi = rnd.choice(ranges)
        return "".join(chr(rnd.randint(lo, hi)) for _ in range(n))

    def cyrillic(n):
        return "".join(chr(rnd.randint(0x410, 0x44F)) for _ in range(n)).encode("cp1251")

    samples = [b"", b"plain.txt", b"dir/name with spaces.bin"]
    samples += [text(rnd.randint(1, 20)).encode("utf-8") for _ in range(40)]
    samples += [cyrillic(rnd.randint(1, 20)) for _ in range(40)]
    samples += [bytes(rnd.randrange(256) for _ in range(rnd.randint(1, 20))) for _ in range(60)]
    samples += [text(rnd.randint(1, 8)).encode("utf-8") + cyrillic(rnd.randint(1, 8)) for _ in range(20)]
    with open(os.path.join(out, "names.tsv"), "w") as f:
        for raw in samples:
            # Encoded surrogates (0xED 0xA0..0xBF) count as UTF-8 for the component but
            # not for Python: they are left out.
            if any(raw[i] == 0xED and 0xA0 <= raw[i + 1] <= 0xBF for i in range(len(raw) - 1)):
                continue
            decoded, was_utf8 = stored_name_text(raw)
            f.write(f"name\t{raw.hex()}\t{decoded.encode('utf-8').hex()}\t{was_utf8}\n")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_fixtures.py <output folder>")
    require_peers()
    out = os.path.abspath(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    src = os.path.join(out, "src")
    os.makedirs(src)
    files = make_sources(src)
    python_archives(out, files)
    peer_archives(out, src)
    for name in sorted(os.listdir(out)):
        if name.endswith(".zip"):
            describe(os.path.join(out, name))
    names_table(out)


if __name__ == "__main__":
    main()
