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
import zlib

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


# ---- Archives for the directory reader and the decoder ---------------------------------

STUB = bytes((i * 7 + 3) % 256 for i in range(200))


def dos_time(t):
    return t[3] << 11 | t[4] << 5 | t[5] // 2


def dos_date(t):
    return (t[0] - 1980) << 9 | t[1] << 5 | t[2]


def expected_name(info):
    """The text the component makes of an entry name: a Unicode name record wins;
    otherwise without flag bit 11 the bytes go from CP866 to Windows-1251 first, then the
    stored-name rule (UTF-8 when valid with a byte of 0x80 or above, else Windows-1251)."""
    extra = info.extra
    while len(extra) >= 4:
        tp, ln = struct.unpack("<HH", extra[:4])
        data = extra[4:4 + ln]
        if tp == 0x554E and data[:4] == b"NUCX":
            n = struct.unpack("<I", data[4:8])[0]
            if 8 + 2 * n <= len(data):
                return data[8:8 + 2 * n].decode("utf-16-le")
        extra = extra[4 + ln:]
    if info.flag_bits & 0x800:
        raw = info.orig_filename.encode("utf-8")
        return stored_name_text(raw)[0]
    raw = info.orig_filename.encode("cp437")
    ansi = raw.decode("cp866").encode("cp1251", errors="replace")
    return stored_name_text(ansi)[0]


def write_items(path, names=None):
    """<archive>.items: one line per entry as Python's ZipInfo reads it."""
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
    with open(path[:-4] + ".items", "w") as f:
        for i, info in enumerate(infos):
            name = names[i] if names else expected_name(info)
            row = [i, info.create_system << 8 | info.create_version, info.extract_version, info.flag_bits,
                   info.compress_type, dos_time(info.date_time), dos_date(info.date_time), info.CRC,
                   info.file_size, info.compress_size, name.encode("utf-8").hex(), info.extra.hex(),
                   info.comment.hex(), info.internal_attr, info.external_attr, info.header_offset]
            f.write("\t".join(str(v) for v in row) + "\n")


def patch_names(data, old, new):
    """Replaces a name in the local and the central header (same length)."""
    assert len(old) == len(new)
    return data.replace(old, new)


def reader_archives(out, src):
    stamp = (2020, 2, 29, 12, 30, 44)
    path = lambda n: os.path.join(out, n)
    # Comments, and an archive comment holding an end record signature with plausible fields.
    with zipfile.ZipFile(path("rd_comments.zip"), "w") as z:
        for i, method in enumerate((zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED)):
            info = zipfile.ZipInfo(f"c{i}.txt", date_time=stamp)
            info.compress_type = method
            info.comment = f"comment {i}".encode()
            z.writestr(info, b"commented " * (i + 3))
    # Python takes the last signature for the end record: its table comes from the archive
    # before the comment is added. The comment's record claims more comment than follows.
    write_items(path("rd_comments.zip"))
    with zipfile.ZipFile(path("rd_comments.zip"), "a") as z:
        z.comment = b"tail PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, 10, 0, 500) + b" end"
    # Info-ZIP with a folder entry, an empty file and a file.
    run(["zip", "-q", "-r", path("rd_infozip_dir.zip"), "sub", "empty.txt", "hello.txt"], src)
    # ZIP64 blocks everywhere, by patching the module's limits.
    limits = (zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT)
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 40, 2
    try:
        with zipfile.ZipFile(path("rd_py_zip64.zip"), "w") as z:
            for i in range(3):
                z.writestr(zipfile.ZipInfo(f"z{i}.bin", date_time=stamp), bytes(range(i, i + 100)))
        # Only the offsets need ZIP64 here: small entries after the first.
        zipfile.ZIP_FILECOUNT_LIMIT = limits[1]
        with zipfile.ZipFile(path("_offsets64.zip"), "w") as z:
            for i in range(3):
                z.writestr(zipfile.ZipInfo(f"o{i}.txt", date_time=stamp), f"entry {i} ".encode() * 3)
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = limits
    # The ZIP64 end records replaced by a plain end record, behind a stub, offsets relative.
    data = open(path("_offsets64.zip"), "rb").read()
    loc_at = data.rfind(b"PK\x06\x07")
    z64_at = struct.unpack("<Q", data[loc_at + 8:loc_at + 16])[0]
    z64 = struct.unpack(zipfile.structEndArchive64, data[z64_at:z64_at + 56])
    count, cd_size, cd_at = z64[7], z64[8], z64[9]
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, cd_size, cd_at, 0)
    open(path("rd_offsets64_stub.zip"), "wb").write(STUB + data[:z64_at] + end)
    os.remove(path("_offsets64.zip"))
    # 7-Zip from standard input: a ZIP64 block in the local header only.
    subprocess.run(["7z", "a", "-tzip", "-bd", "-sipiped.bin", path("rd_sevenzip_si.zip")],
                   input=bytes(range(256)) * 40, check=True, stdout=subprocess.DEVNULL)
    # A stub before an archive with relative offsets; the same adjusted by zip -A; Python
    # appending to a file holding the stub.
    plain = open(path("infozip.zip"), "rb").read()
    open(path("rd_stub_relative.zip"), "wb").write(STUB + plain)
    shutil.copy(path("rd_stub_relative.zip"), path("rd_stub_zipA.zip"))
    run(["zip", "-q", "-A", path("rd_stub_zipA.zip")], out)
    open(path("rd_stub_pyappend.zip"), "wb").write(STUB)
    with zipfile.ZipFile(path("rd_stub_pyappend.zip"), "a") as z:
        for entry in ("hello.txt", "data.bin"):
            z.write(os.path.join(src, entry), entry)
    # An empty archive after 1000 bytes of other data.
    with zipfile.ZipFile(path("_empty.zip"), "w"):
        pass
    open(path("rd_empty_junk.zip"), "wb").write(bytes(1000) + open(path("_empty.zip"), "rb").read())
    os.remove(path("_empty.zip"))
    # Names: UTF-8 with bit 11; CP866 without it (patched); a Unicode name record.
    with zipfile.ZipFile(path("rd_names.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("Привет/файл.txt", date_time=stamp), b"utf8")
        z.writestr(zipfile.ZipInfo("OEMNAME1.txt", date_time=stamp), b"oem")
        info = zipfile.ZipInfo("record.txt", date_time=stamp)
        uname = "Юникод ✓.txt".encode("utf-16-le")
        info.extra = struct.pack("<HH", 0x554E, 8 + len(uname)) + b"NUCX" + struct.pack("<I", len(uname) // 2) + uname
        z.writestr(info, b"record")
    data = open(path("rd_names.zip"), "rb").read()
    open(path("rd_names.zip"), "wb").write(patch_names(data, b"OEMNAME1", "Имя-файл".encode("cp866")))
    # Info-ZIP's UTF-8 names (without bit 11 where it writes them so).
    os.makedirs(os.path.join(out, "utf"), exist_ok=True)
    with open(os.path.join(out, "utf", "Данные.txt"), "wb") as f:
        f.write(b"utf name\n")
    subprocess.run(["zip", "-q", path("rd_infozip_utf8.zip"), "Данные.txt", "-x", "."], cwd=os.path.join(out, "utf"),
                   env=dict(os.environ, LC_ALL="C.UTF-8"), check=True, stdout=subprocess.DEVNULL)
    # Duplicate names; an empty name followed by two entries.
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        with zipfile.ZipFile(path("rd_duplicates.zip"), "w") as z:
            z.writestr(zipfile.ZipInfo("same.txt", date_time=stamp), b"first")
            z.writestr(zipfile.ZipInfo("SAME.txt", date_time=stamp), b"second")
            z.writestr(zipfile.ZipInfo("same.txt", date_time=stamp), b"third")
    write_raw_zip(path("rd_empty_name.zip"), [raw_entry(b"", b"nothing"), raw_entry(b"a.txt", b"A"),
                                              raw_entry(b"b.txt", b"B")])
    # Malformed central extra fields and signatures, read by the component only.
    block = lambda tp, data, size=None: struct.pack("<HH", tp, len(data) if size is None else size) + data
    malformed = {
        "mal_extra_cut.zip": (0x02014B50, block(0xCAFE, bytes(range(6)), 20)),
        "mal_extra_stray.zip": (0x02014B50, block(0xCAFE, b"ab") + b"\x01\x02"),
        "mal_central_signature.zip": (0x02014B51, b""),
        "mal_unicode_huge.zip": (0x02014B50, block(0x554E, b"NUCX" + struct.pack("<I", 0x80000000) + b"x\0")),
    }
    for name, (signature, extra) in malformed.items():
        write_raw_zip(path(name), [raw_entry(b"m.txt", b"malformed")], central_signature=signature,
                      central_extra=[extra])
    for name in sorted(os.listdir(out)):
        if name.startswith("rd_") and name.endswith(".zip") and name != "rd_comments.zip":
            write_items(path(name))
    for name in ("py_stored.zip", "py_deflated.zip", "infozip.zip", "infozip_zip64.zip", "sevenzip.zip"):
        write_items(path(name))


def raw_entry(name, data, method=0, stored=None, crc=None, size=None, flags=0, version=20, extra=b"",
              local_name_length=None, local_signature=0x04034B50):
    """One entry of a hand-made archive; stored holds the bytes as stored (data itself
    for method 0, deflated raw data for method 8 when not given)."""
    if stored is None:
        if method == 8:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            stored = c.compress(data) + c.flush()
        else:
            stored = data
    return dict(name=name, stored=stored, method=method, crc=zlib.crc32(data) if crc is None else crc,
                size=len(data) if size is None else size, flags=flags, version=version, extra=extra,
                local_name_length=len(name) if local_name_length is None else local_name_length,
                local_signature=local_signature)


def write_raw_zip(path, entries, central_signature=0x02014B50, central_extra=None):
    body, central = b"", b""
    for i, e in enumerate(entries):
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", e["local_signature"], e["version"], e["flags"], e["method"], 0x6000,
                            0x5021, e["crc"], len(e["stored"]), e["size"], e["local_name_length"], 0)
        body += e["name"] + e["stored"]
        extra = e["extra"] if central_extra is None else central_extra[i]
        central += struct.pack("<IHHHHHHIIIHHHHHII", central_signature, 20, e["version"], e["flags"], e["method"],
                               0x6000, 0x5021, e["crc"], len(e["stored"]), e["size"], len(e["name"]), len(extra), 0,
                               0, 0, 0x20, offset)
        central += e["name"] + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(body), 0)
    with open(path, "wb") as f:
        f.write(body + central + end)


def decode_archives(out, src):
    """dec_*.zip and decode.tsv: <archive> <index> <ok or native error> <expected output or ->
    <largest number of bytes the decoder may write>."""
    path = lambda n: os.path.join(out, n)
    rows = []
    rnd = random.Random(3)
    mixed = b"".join(bytes(rnd.randrange(256) for _ in range(4096)) if i % 3 == 0 else bytes([i % 251]) * 8192
                     for i in range(500))[:3 * 1024 * 1024]
    open(path("mixed.bin"), "wb").write(mixed)
    with zipfile.ZipFile(path("dec_big.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("mixed_deflated.bin"), mixed, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo("mixed_stored.bin"), mixed, compress_type=zipfile.ZIP_STORED)
    rows += [("dec_big.zip", 0, "ok", "mixed.bin"), ("dec_big.zip", 1, "ok", "mixed.bin")]
    for archive in ("py_stored.zip", "py_deflated.zip", "infozip.zip", "infozip_zip64.zip", "sevenzip.zip"):
        with zipfile.ZipFile(path(archive)) as z:
            for i, info in enumerate(z.infolist()):
                rows.append((archive, i, "ok", os.path.join("src", info.filename)))
    open(path("piped.bin"), "wb").write(bytes(range(256)) * 40)
    rows.append(("rd_sevenzip_si.zip", 0, "ok", "piped.bin"))
    text = b"compressible text, " * 300
    open(path("text.bin"), "wb").write(text)
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    deflated = c.compress(text) + c.flush()
    bad = bytearray(deflated)
    bad[len(bad) // 2] ^= 0x55
    cases = [
        ("dec_trailing.zip", [raw_entry(b"t.txt", text, 8, stored=deflated + b"JUNK!")], "ok"),
        ("dec_method9.zip", [raw_entry(b"m.txt", text, 9, stored=deflated)], 55),
        ("dec_corrupt_deflate.zip", [raw_entry(b"c.txt", text, 8, stored=bytes(bad))], 8),
        ("dec_flipped_stored.zip", [raw_entry(b"f.txt", text, 0, stored=text[:100] + b"X" + text[101:])], 8),
        ("dec_small_declared.zip", [raw_entry(b"s.txt", text, 8, size=1000)], 8),
        ("dec_local_signature.zip", [raw_entry(b"l.txt", text, 0, local_signature=0x04034B51)], 8),
        ("dec_local_name_length.zip", [raw_entry(b"n.txt", text, 0, local_name_length=60000)], 8),
        ("dec_version_4114.zip", [raw_entry(b"v.txt", text, 0, stored=text[:7] + b"#" + text[8:], version=0x4114)], 8),
        ("dec_empty.zip", [raw_entry(b"zero.txt", b"")], "ok"),
    ]
    open(path("empty.out"), "wb").write(b"")
    for archive, entries, expected in cases:
        write_raw_zip(path(archive), entries)
        ok = expected == "ok"
        rows.append((archive, 0, expected, ("empty.out" if archive == "dec_empty.zip" else "text.bin") if ok else "-"))
    # A compressed size running past the start of the directory: read up to it.
    write_raw_zip(path("dec_size_beyond.zip"), [raw_entry(b"b.txt", text, 0)])
    data = bytearray(open(path("dec_size_beyond.zip"), "rb").read())
    cd = data.rfind(b"PK\x01\x02")
    struct.pack_into("<II", data, cd + 20, len(text) + 5000, len(text) + 5000)
    open(path("dec_size_beyond.zip"), "wb").write(bytes(data))
    rows.append(("dec_size_beyond.zip", 0, 8, "-"))
    # A truncated archive: the data of the first entry is cut short by the directory.
    whole = open(path("py_deflated.zip"), "rb").read()
    with zipfile.ZipFile(path("py_deflated.zip")) as z:
        infos = z.infolist()
    cut = infos[1].header_offset - 100
    dir_at = whole.rfind(b"PK\x05\x06")
    cd_at = struct.unpack("<I", whole[dir_at + 16:dir_at + 20])[0]
    cd = bytearray(whole[cd_at:dir_at + 22])
    struct.pack_into("<I", cd, len(cd) - 6, cd_at - (infos[1].header_offset - cut))
    # Offsets after the cut move down by the bytes removed.
    removed = infos[1].header_offset - cut
    at = 0
    while cd[at:at + 4] == b"PK\x01\x02":
        off = struct.unpack("<I", cd[at + 42:at + 46])[0]
        if off >= infos[1].header_offset:
            struct.pack_into("<I", cd, at + 42, off - removed)
        n, e, k = struct.unpack("<HHH", cd[at + 28:at + 34])
        at += 46 + n + e + k
    open(path("dec_truncated.zip"), "wb").write(whole[:cut] + whole[infos[1].header_offset:cd_at] + bytes(cd))
    rows.append(("dec_truncated.zip", 0, 8, "-"))
    # bzip2 (method 12) from Info-ZIP.
    run(["zip", "-q", "-Z", "bzip2", path("dec_bzip2.zip"), "text.bin"], out)
    rows.append(("dec_bzip2.zip", 0, 8, "-"))
    with open(path("decode.tsv"), "w") as f:
        for row in rows:
            f.write("\t".join(str(v) for v in row) + "\n")


def crypto_archives(out):
    """enc_*.zip, encrypted by the peers with the password "pw", and crypto.tsv:

      entry   <archive> <index> <source file> <flags> <AE vendor version, 0 for traditional>
      wrongpw <archive> <index> <password>

    A wrongpw password is not the right one but passes the traditional check byte (found
    with zipfile, which tests the same byte)."""
    path = lambda n: os.path.join(out, n)
    folder = os.path.join(out, "crypt")
    os.makedirs(folder, exist_ok=True)
    rnd = random.Random(106)
    # More than 256 AES blocks, so the counter carries beyond its first byte.
    sources = {"random.bin": bytes(rnd.randrange(256) for _ in range(70000)),
               "text.txt": b"".join(b"line %05d of compressible text\n" % i for i in range(3000))}
    for name, data in sources.items():
        open(os.path.join(folder, name), "wb").write(data)
    names = sorted(sources)
    made = []
    for bits in (128, 192, 256):
        made.append(f"enc_7z_aes{bits}.zip")
        run(["7z", "a", "-tzip", "-bd", f"-mem=AES{bits}", "-ppw", path(made[-1])] + names, folder)
        run(["7z", "t", "-bd", "-ppw", path(made[-1])], out)
    made.append("enc_7z_zipcrypto.zip")
    run(["7z", "a", "-tzip", "-bd", "-mem=ZipCrypto", "-ppw", path(made[-1])] + names, folder)
    made.append("enc_infozip.zip")
    run(["zip", "-q", "-P", "pw", path(made[-1])] + names, folder)
    rows = []
    for archive in made:
        if "aes" not in archive:
            run(["unzip", "-tq", "-P", "pw", path(archive)], out)
        with zipfile.ZipFile(path(archive)) as z:
            for i, info in enumerate(z.infolist()):
                version = 0
                extra = info.extra
                while len(extra) >= 4:
                    tp, ln = struct.unpack("<HH", extra[:4])
                    if tp == 0x9901:
                        version = struct.unpack("<H", extra[4:6])[0]
                    extra = extra[4 + ln:]
                rows.append(("entry", archive, i, os.path.join("crypt", info.filename), info.flag_bits, version))
                if version == 0 and i == 0:
                    for k in range(100000):
                        try:
                            z.open(info, pwd=b"w%d" % k).close()
                        except RuntimeError:
                            continue
                        except Exception:
                            pass
                        rows.append(("wrongpw", archive, i, "w%d" % k))
                        break
    # AE-1: the 7-Zip AE-2 archive with vendor version 1 in every AES record and the real
    # CRC-32 in both headers; the same with a wrong CRC-32.
    for name, delta in (("enc_ae1.zip", 0), ("enc_ae1_badcrc.zip", 1)):
        data = bytearray(open(path("enc_7z_aes128.zip"), "rb").read())
        data = bytearray(data.replace(b"\x01\x99\x07\x00\x02\x00AE", b"\x01\x99\x07\x00\x01\x00AE"))
        with zipfile.ZipFile(path("enc_7z_aes128.zip")) as z:
            infos = z.infolist()
        crcs = [zlib.crc32(sources[info.filename]) ^ delta for info in infos]
        for info, crc in zip(infos, crcs):
            struct.pack_into("<I", data, info.header_offset + 14, crc)
        at = data.rfind(b"PK\x01\x02", 0, data.rfind(b"PK\x05\x06"))
        at = struct.unpack("<I", data[data.rfind(b"PK\x05\x06") + 16:][:4])[0]
        for crc in crcs:
            struct.pack_into("<I", data, at + 16, crc)
            n, e, k = struct.unpack("<HHH", data[at + 28:at + 34])
            at += 46 + n + e + k
        open(path(name), "wb").write(bytes(data))
    run(["7z", "t", "-bd", "-ppw", path("enc_ae1.zip")], out)
    # Compressed sizes below the encryption overhead: 5 bytes for traditional encryption
    # (12), 20 bytes for AES-256 (16 + 2 + 10).
    aes256 = struct.pack("<HHHHBH", 0x9901, 7, 2, 0x4541, 3, 0)
    write_raw_zip(path("enc_short_traditional.zip"), [raw_entry(b"t.txt", b"hello", 0, stored=b"12345", flags=1)])
    write_raw_zip(path("enc_short_aes.zip"),
                  [raw_entry(b"a.txt", b"hello", 99, stored=bytes(20), flags=1, version=51, extra=aes256)])
    # Flagged as encrypted, stored in plain.
    write_raw_zip(path("enc_plain_flagged.zip"), [raw_entry(b"e.txt", b"plain text " * 10, 0, flags=1)])
    with open(path("crypto.tsv"), "w") as f:
        for row in rows:
            f.write("\t".join(str(v) for v in row) + "\n")


def volume_archives(out):
    """vol/: sources whose data and central directory cross 64 KiB volumes, split by zip -s
    as written (zs/), renamed to upper case (upper/), to the numbered naming (adv/) and to
    a self-extracting split set (sfx/); the set as 7-Zip extracts it (by7z/); two entries
    split with the password "secret" (enc/)."""
    vol = os.path.join(out, "vol")
    src = os.path.join(vol, "src")
    os.makedirs(os.path.join(src, "many"))
    rnd = random.Random(44)
    with open(os.path.join(src, "random.bin"), "wb") as f:
        f.write(bytes(rnd.randrange(256) for _ in range(240000)))
    with open(os.path.join(src, "text.txt"), "w") as f:
        f.write("".join(f"line {i} of the compressible text\n" for i in range(20000)))
    for i in range(300):
        with open(os.path.join(src, "many", f"f{i:03}.txt"), "w") as f:
            f.write(f"small file {i}\n" * (i % 7 + 1))
    zs = os.path.join(vol, "zs")
    os.makedirs(zs)
    run(["zip", "-q", "-r", "-s", "64k", os.path.join(zs, "sp.zip"), "random.bin", "text.txt", "many"], src)
    parts = sorted(n for n in os.listdir(zs) if n != "sp.zip")
    with open(os.path.join(zs, "sp.zip"), "rb") as f:
        data = f.read()
    end = struct.unpack("<IHHHHIIH", data[data.rfind(b"PK\x05\x06"):][:22])
    # The directory must begin on an earlier volume than the end record's.
    if not (len(parts) >= 3 and end[2] < end[1] == len(parts)):
        sys.exit(f"make_fixtures: the split set does not cross volumes as needed: {parts} {end}")
    renamings = {
        "upper": lambda i, n: n if i == len(parts) else n.replace(".z", ".Z"),
        "adv": lambda i, n: f"sp_{i + 1:03}.zip" if i < len(parts) else n,
        "sfx": lambda i, n: "sp.exe" if i == 0 else (n.replace(".z", ".Z") if i < len(parts) else "sp.ZIP"),
    }
    for folder, rename in renamings.items():
        os.makedirs(os.path.join(vol, folder))
        for i, name in enumerate(parts + ["sp.zip"]):
            shutil.copyfile(os.path.join(zs, name), os.path.join(vol, folder, rename(i, name)))
    # Traditionally encrypted entries split alike: the keys run on across the volumes.
    os.makedirs(os.path.join(vol, "enc"))
    run(["zip", "-q", "-s", "64k", "-P", "secret", os.path.join(vol, "enc", "enc.zip"), "random.bin", "text.txt"], src)
    # The peer's reading of the set. (zip -s 0 --out, Info-ZIP 3.0, joins this set with a
    # damaged random.bin, so the join is not used.)
    run(["7z", "x", "-bd", "-o" + os.path.join(vol, "by7z"), os.path.join(zs, "sp.zip")], vol)


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
    reader_archives(out, src)
    decode_archives(out, src)
    crypto_archives(out)
    volume_archives(out)


if __name__ == "__main__":
    main()
