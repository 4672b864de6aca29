#!/usr/bin/python3
"""Python's zipfile and Info-ZIP as independent readers of the archives the component writes.

  make-rich OUT        an archive with entry and archive comments, opaque extra blocks, a
                       Unicode name record over a CP866 name and ZIP64 blocks
  make-many OUT N      N small stored entries (ZIP64 end records once N passes 65535)
  make-spread OUT      entries for a set of 64 KiB volumes: large stored entries, and many
                       with long names, extra blocks and comments (a directory of several
                       volumes)
  compare ORIG OURS    OURS holds the entries of ORIG: every ZipInfo field equal (ZIP64
                       blocks left out of the extra fields), the archive comment equal,
                       `unzip -t` passes and `unzip -p` gives the same bytes
  names OURS           one line per entry: bit 11 (0/1), the stored name bytes in hex
  volumes V... LAST    the central directory of a split set (its volumes in order): no
                       header with its name and extra field straddles two
                       volumes; prints the number of headers checked
Exits non-zero with a message on the first difference.
"""
import os
import struct
import subprocess
import sys
import zipfile

STAMP = (2021, 7, 14, 9, 41, 58)


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def block(header_id, data):
    return struct.pack("<HH", header_id, len(data)) + data


def make_rich(out):
    placeholder = b"NAMEOEM"
    oem = "Имя.txt".encode("cp866")
    assert len(oem) == len(placeholder)
    # ZIP64 blocks in the central headers wherever a value passes the lowered limit
    # (the directory is written on closing), behind the blocks an entry brings.
    limit = zipfile.ZIP64_LIMIT
    zipfile.ZIP64_LIMIT = 40
    try:
        write_rich(out, placeholder)
    finally:
        zipfile.ZIP64_LIMIT = limit
    data = open(out, "rb").read()
    open(out, "wb").write(data.replace(placeholder, oem))


def write_rich(out, placeholder):
    with zipfile.ZipFile(out, "w") as z:
        info = zipfile.ZipInfo("plain.txt", date_time=STAMP)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.comment = b"first entry comment"
        info.extra = block(0xCAFE, b"opaque!")
        z.writestr(info, b"plain text " * 50)
        info = zipfile.ZipInfo(placeholder.decode(), date_time=STAMP)
        uname = "Имя.txt".encode("utf-16-le")
        info.extra = block(0x554E, b"NUCX" + struct.pack("<I", len(uname) // 2) + uname)
        z.writestr(info, b"unicode record")
        info = zipfile.ZipInfo("dir/z64.bin", date_time=STAMP)
        info.extra = block(0xCAFE, b"one") + block(0xBEEF, b"two!")
        info.comment = b"zip64"
        z.writestr(info, bytes(range(200)))
        z.comment = b"archive comment"


def make_many(out, count):
    with zipfile.ZipFile(out, "w") as z:
        for i in range(count):
            z.writestr(zipfile.ZipInfo(f"e{i:05d}", date_time=STAMP), b"")


def make_spread(out):
    import random
    rnd = random.Random(45)
    with zipfile.ZipFile(out, "w") as z:
        for i in range(5):
            z.writestr(zipfile.ZipInfo(f"large{i}.bin", date_time=STAMP), rnd.randbytes(50000 + 777 * i))
        for i in range(300):
            info = zipfile.ZipInfo(f"names/{i:03d}-" + "n" * (150 + i % 50) + ".txt", date_time=STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.extra = block(0xCAFE, bytes(i % 90))
            info.comment = b"c" * (i % 120)
            z.writestr(info, f"entry {i} ".encode() * (1 + i % 7))


def without_zip64(extra):
    out, at = b"", 0
    while at + 4 <= len(extra):
        header_id, size = struct.unpack("<HH", extra[at:at + 4])
        if header_id != 1:
            out += extra[at:at + 4 + size]
        at += 4 + size
    return out + extra[at:]


FIELDS = ("orig_filename", "date_time", "compress_type", "comment", "create_system", "create_version",
          "extract_version", "reserved", "flag_bits", "volume", "internal_attr", "external_attr", "CRC",
          "compress_size", "file_size")


def compare(orig, ours):
    with zipfile.ZipFile(orig) as a, zipfile.ZipFile(ours) as b:
        ia, ib = a.infolist(), b.infolist()
        if len(ia) != len(ib):
            fail(f"{len(ib)} entries, expected {len(ia)}")
        for x, y in zip(ia, ib):
            for field in FIELDS:
                if getattr(x, field) != getattr(y, field):
                    fail(f"{x.orig_filename}: {field} {getattr(y, field)!r}, expected {getattr(x, field)!r}")
            if without_zip64(x.extra) != without_zip64(y.extra):
                fail(f"{x.orig_filename}: extra {y.extra.hex()}, expected {x.extra.hex()}")
            if not x.is_dir() and a.read(x) != b.read(y):
                fail(f"{x.orig_filename}: data differs")
        if a.comment != b.comment:
            fail(f"archive comment {b.comment!r}, expected {a.comment!r}")
    test = subprocess.run(["unzip", "-t", ours], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if test.returncode != 0:
        fail(test.stdout.decode(errors="replace"))
    pa = subprocess.run(["unzip", "-p", orig], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    pb = subprocess.run(["unzip", "-p", ours], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if pb.returncode != 0 or pa.stdout != pb.stdout:
        fail("unzip -p gives other bytes")


def names(ours):
    with zipfile.ZipFile(ours) as z:
        for info in z.infolist():
            utf8 = info.flag_bits & 0x800
            raw = info.orig_filename.encode("utf-8" if utf8 else "cp437")
            print(1 if utf8 else 0, raw.hex())


def volumes(paths):
    sizes = [os.path.getsize(p) for p in paths]
    last = open(paths[-1], "rb").read()
    end = last.rfind(b"PK\x05\x06")
    _, this_disk, start_disk, _, total, cd_size, cd_offset, _ = struct.unpack("<IHHHHIIH", last[end:end + 22])
    if this_disk != len(paths) - 1:
        fail(f"end record on disk {this_disk}, {len(paths)} volumes")
    disk, at, checked = start_disk, cd_offset, 0
    while checked < total:
        data = open(paths[disk], "rb").read()
        if at == len(data):
            disk, at = disk + 1, 0
            continue
        if at + 46 > len(data):
            fail(f"header {checked} cut at the end of volume {disk}")
        signature, n, m, k = struct.unpack("<I24xHHH", data[at:at + 34])
        if signature != 0x02014B50:
            fail(f"no central header {checked} at {at} of volume {disk}")
        if at + 46 + n + m > len(data):
            fail(f"header {checked} with its name and extra field straddles volume {disk}")
        at += 46 + n + m
        # The comment may go on across volumes.
        while k > 0:
            size = sizes[disk]
            step = min(k, size - at)
            k -= step
            at += step
            if k > 0:
                disk, at = disk + 1, 0
        checked += 1
    print(checked)


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "make-rich":
        make_rich(args[0])
    elif command == "make-many":
        make_many(args[0], int(args[1]))
    elif command == "make-spread":
        make_spread(args[0])
    elif command == "compare":
        compare(args[0], args[1])
    elif command == "names":
        names(args[0])
    elif command == "volumes":
        volumes(args)
    else:
        fail(f"unknown command {command}")


if __name__ == "__main__":
    main()
