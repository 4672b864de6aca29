#!/usr/bin/python3
"""Writes one ZIP archive with Python's zipfile from a JSON description.

  make_zip.py <archive> <description.json> [append]

The description: {"entries": [...], "patches": [[from_hex, to_hex], ...]}. Each entry:
  name      hex bytes of the stored name (Python writes names as UTF-8, setting bit 11
            for non-ASCII ones); a placeholder is turned into bytes zipfile refuses
            (NUL, say) by a patch of the same length
  data      hex bytes, or "repeat": [hex, count]
  date      [y, m, d, h, mi, s]; the month may be 0 (written as given)
  attr      external attributes (32-bit)
  stored    true for method 0 (default deflate)
  extra     hex bytes of extra blocks, for the local and the central header
With "append" the entries are added to an existing archive. Patches replace every
occurrence of their bytes in the finished file.
"""

import json
import sys
import zipfile


def main():
    path, spec_path = sys.argv[1], sys.argv[2]
    mode = "a" if len(sys.argv) > 3 and sys.argv[3] == "append" else "w"
    with open(spec_path) as f:
        spec = json.load(f)
    with zipfile.ZipFile(path, mode) as z:
        for e in spec.get("entries", []):
            name = bytes.fromhex(e["name"]).decode("utf-8", "surrogateescape")
            info = zipfile.ZipInfo("x", date_time=tuple(e.get("date", [2020, 6, 15, 12, 30, 0])))
            # Set after construction: the constructor would cut at NUL and change separators.
            info.filename = name
            info.orig_filename = name
            info.external_attr = e.get("attr", 0)
            info.compress_type = zipfile.ZIP_STORED if e.get("stored") else zipfile.ZIP_DEFLATED
            if "extra" in e:
                info.extra = bytes.fromhex(e["extra"])
            if "repeat" in e:
                data = bytes.fromhex(e["repeat"][0]) * e["repeat"][1]
            else:
                data = bytes.fromhex(e.get("data", ""))
            z.writestr(info, data)
    patches = spec.get("patches", [])
    if patches:
        with open(path, "rb") as f:
            raw = f.read()
        for old, new in patches:
            raw = raw.replace(bytes.fromhex(old), bytes.fromhex(new))
        with open(path, "wb") as f:
            f.write(raw)


if __name__ == "__main__":
    main()
