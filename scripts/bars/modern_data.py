#!/usr/bin/env python3
"""Black-box check of jx4 convert with today's data, from the outside: it
reads the real Level III files and the .jx4 files by its own code, knows the
catalogues by their published tables and the extended ids by their rule,
runs the jx4 (and nimbrel) programs given, and says PASS or FAIL for each
claim:

  1. with --catalogue extended, every real product whose category is in
     either table, whose station is in the tables and whose header passes is
     stored, byte for byte, under its id, and nothing else is; a volume of
     more than 60 products (real products stamped with one station and
     time) continues in NAME_2.jx4, NAME_3.jx4, each file filled to 60, no
     id twice;
  2. the classic catalogue files what nimbrel files, byte for byte;
  3. --only, --station, --from and --to store what they select, and a
     category or station the catalogue lacks is a usage error;
  4. a dry run writes nothing and reports what the real run then does;
  5. every layout puts each file in its folders, with the same products;
  6. two collections converted apart and merged hold what one run over all
     their inputs files.

Usage: modern_data.py JX4 TESTDATA_DIR [WORK_DIR]   (nimbrel beside JX4)
Exit status 0 when every claim holds, 1 when one fails, 77 without the data.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from feeds import unframe  # noqa: E402  (the feed check's de-framing)

FRAME_START = b"\x01\r\r\n"

CLASSIC = {"N0R": 1, "N1R": 2, "N2R": 3, "N3R": 4, "N0Z": 5, "N0W": 6, "N0V": 7, "N1V": 8, "N2V": 9, "N3V":
           10, "NSP": 11, "NSW": 12, "NCR": 14, "NCZ": 15, "NET": 16, "NVW": 18, "N0S": 19,
           "N1S": 20, "N2S": 21, "N3S": 22, "NVL": 23, "NST": 24, "NHI": 25, "NME": 26, "NTV":
           27, "NSS": 28, "N1P": 34, "N3P": 35, "NTP": 36, "DSP": 138, "NMD": 141, "TZL": 186,
           "TR0": 1810, "TR1": 1811, "TR2": 1812, "TV0": 1820, "TV1": 1821, "TV2": 1822, "N0Q":
           941, "NAQ": 942, "N1Q": 943, "NBQ": 944, "N2Q": 945, "N3Q": 946, "N0U": 991, "NAU":
           992, "N1U": 993, "NBU": 994, "N2U": 995, "N3U": 996, "X0S": 1000, "X1S": 1001, "X2S":
           1002, "X3S": 1003, "DVL": 134, "EET": 135}
STATIONS = """pabc pacg pahg pakc paih paec papd kbmx keox khtx kmxx kmob ksrx klzk kfsx kiwa kemx kyux
kbbx keyx kbhx kvtx kdax knkx kmux khnx ksox kvbx kftg kgjx kpux kdox kevx kjax kbyx kmlb
kamx ktlh ktbw kffc kvax kjgx pgua phki phkm phmo phwa kdmx kdvn kcbx ksfx klot kilx kvwx
kiwx kind kddc kgld ktwx kict khpx kjkl klvx kpah kpoe klch klix kshv kbox kcbw kgyx kdtx
kapx kgrr kmqt kdlh kmpx keax ksgf klsx kgwx kdgx kblx kggw ktfx kmsx kmhx krax kltx kbis
kmvx kmbx kuex klnx koax kdix kabx kfdx khdx klrx kesx krgx kenx kbgm kbuf ktyx kokx kcle
kiln kfdr ktlx kinx kvnx kmax kpdt krtx kpbz kccx tjua kclx kcae kgsp kabr kudx kfsd kmrx
knqa kohx kama kbro kgrk kcrp kfws kdyx kepz khgx kdfx klbb kmaf ksjt kewx kicx kmtx kfcx
klwx kakq kcxx katx kotx kgrb karx kmkx krlx kcys kriw tphx tden tfll tmia tmco ttpa tpbi
tatl tmdw tord tids tich tsdf tmsy tbos tadw tbwi tdca tdtw tmsp tmci tstl tclt trdu tewr
tlas tjfk tcvg tlve tcmh tday tokc ttul tphl tpit tsju tmem tbna tdal tdfw thou tiah tslc
tiad tmke""".split()
TILTS = "0A1B23XYZ"  # slots 1 to 9
FAMILIES = {"B": 153, "G": 154, "X": 159, "C": 161, "K": 163, "H": 165, "M": 166, "F": 113}
VOLUME_PRODUCTS = {"DHR": 32, "NLL": 65, "NML": 66, "NLA": 67, "RCM": 74, "DPA": 81, "SPD": 82, "NHL": 90,
                   "RSL": 152, "OHA": 169, "DAA": 170, "PTA": 171, "DTA": 172, "DOD": 174, "DSD": 175,
                   "DPR": 176, "HHC": 177, "NRR": 197, "DU3": 1731, "DU6": 1732, "NC1": 341, "NC2": 342,
                   "NC3": 343, "NC4": 344, "NC5": 345, "TZ0": 1800, "TZ1": 1801, "TZ2": 1802}
ADDED_STATIONS = "klgx khdc kcri koun tjbq tjrv rkjk rksg rodn lpla".split()
MAX_ENTRIES = 60
failures = []


def extended_table():
    table = dict(CLASSIC)
    for letter, code in FAMILIES.items():
        for slot, tilt in enumerate(TILTS, 1):
            table["N" + tilt + letter] = code * 10 + slot
    for letter, code in {"Q": 94, "U": 99}.items():
        for slot in (7, 8, 9):
            table["N" + TILTS[slot - 1] + letter] = code * 10 + slot
    table.update(VOLUME_PRODUCTS)
    table["NOW"] = CLASSIC["N0W"]
    return table


EXTENDED = extended_table()


def claim(ok, what):
    print(("PASS  " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def product_of(name, image, extended):
    """(station, volume time, id) under which the intake files `image`, or
    None: the GSM rule, the codes at bytes 21-26, the tables, the header's
    consistency tests and the time range."""
    if "GSM" in name or len(image) < 48:
        return None
    category = image[21:24].decode("latin-1").upper()
    site = image[24:27].decode("latin-1").lower()
    table = EXTENDED if extended else CLASSIC
    stations = STATIONS + ADDED_STATIONS if extended else STATIONS
    station = next((s for s in stations if s[1:] == site), None)
    start = 30 if image[0] != 0 else 0
    length = len(image) - start
    if category not in table or station is None or length < 120:
        return None
    h = image[start:start + 120]
    message_code, = struct.unpack(">h", h[0:2])
    message_time, message_length = struct.unpack(">II", h[4:12])
    product_code, = struct.unpack(">h", h[30:32])
    volume_date, volume_time, generation_date, generation_time = struct.unpack(">HIHI", h[40:52])
    offsets = struct.unpack(">III", h[108:120])
    if (message_code != product_code or message_length != length or generation_date == 0 or
            volume_date == 0 or max(message_time, generation_time, volume_time) > 86400 or
            max(offsets) > length):
        return None
    seconds = volume_date * 86400 + volume_time - 86400
    if seconds > 2**31 - 1:
        return None
    return station, seconds, table[category]


def real_products(testdata):
    """(name, image) of each real product file; a framed feed file's frames
    taken apart (each named NAME#N when there are several)."""
    folder = os.path.join(testdata, "level3")
    products = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or name.endswith(".md"):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if not data.startswith(FRAME_START):
            products.append((name, data))
            continue
        frames = [FRAME_START + part for part in data.split(FRAME_START)[1:]]
        for n, frame in enumerate(frames, 1):
            products.append((name if len(frames) == 1 else "%s#%d" % (name, n), unframe(frame)))
    return products


def read_jx4(path):
    """(station, time, [(id, image)]) of a .jx4 file, or None when it is not
    one whose index can be read."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 980 or data[:4] != b"JX4\0":
        return None
    volume_time, = struct.unpack("<i", data[4:8])
    station = data[8:16].split(b"\0")[0].decode("latin-1")
    count, = struct.unpack("<I", data[16:20])
    if count > MAX_ENTRIES:
        return None
    entries = []
    for i in range(count):
        pid, _, offset, size = struct.unpack("<IIII", data[20 + 16 * i:36 + 16 * i])
        entries.append((pid, data[offset:offset + size]))
    return station, volume_time, entries


def volumes(folder):
    """{(station, time): {id: image}} of every .jx4 file under `folder`, the
    files of a volume together; and the problems met (a file unreadable, out
    of its place, over 60, an id twice)."""
    found, problems, parts = {}, [], {}
    for root, _, names in os.walk(folder):
        for name in names:
            if not name.endswith(".jx4"):
                continue
            content = read_jx4(os.path.join(root, name))
            if content is None:
                problems.append(name + ": unreadable")
                continue
            station, volume_time, entries = content
            stem = name[:-4]
            part = 1
            if stem.count("_") == 3:
                stem, number = stem.rsplit("_", 1)
                part = int(number)
            parts.setdefault((station, volume_time), []).append((part, len(entries)))
            held = found.setdefault((station, volume_time), {})
            for pid, image in entries:
                if pid in held:
                    problems.append("%s: id %d twice" % (name, pid))
                held[pid] = image
    for volume, counts in parts.items():
        counts.sort()
        if [p for p, _ in counts] != list(range(1, len(counts) + 1)):
            problems.append("%s: files %s" % (volume, [p for p, _ in counts]))
        if any(n != MAX_ENTRIES for _, n in counts[:-1]):
            problems.append("%s: a file before the last not full: %s" % (volume, counts))
    return found, problems


def expected(products, extended, keep=lambda station, time, pid: True):
    wanted = {}
    for name, image in products:
        filed = product_of(name, image, extended)
        if filed is not None and keep(*filed):
            wanted.setdefault(filed[:2], {}).setdefault(filed[2], image)
    return wanted


def run(program, *arguments, cwd=None, stdin=None):
    result = subprocess.run([program, *arguments], cwd=cwd, input=stdin, capture_output=True)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def stamped(products, site, date, seconds):
    """The real products of distinct categories of the extended table, each
    as if from `site` at one volume scan: a volume of many products."""
    seen, out = set(), []
    for name, image in products:
        start = 30 if image and image[0] != 0 else 0
        category = image[21:24].decode("latin-1").upper() if len(image) > 27 else ""
        if category in seen or product_of(name, image, True) is None:
            continue
        seen.add(category)
        copy = bytearray(image)
        copy[24:27] = site
        copy[start + 40:start + 46] = struct.pack(">HI", date, seconds)
        out.append(("STAMPED_" + category, bytes(copy)))
    return out


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    jx4 = os.path.abspath(sys.argv[1])
    nimbrel = os.path.join(os.path.dirname(jx4), "nimbrel")
    testdata = sys.argv[2]
    if not os.path.isdir(os.path.join(testdata, "level3")):
        print("no Level III test data in " + testdata)
        return 77
    work = tempfile.mkdtemp(prefix="modern-data-", dir=sys.argv[3] if len(sys.argv) > 3 else None)
    try:
        return check(jx4, nimbrel, testdata, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check(jx4, nimbrel, testdata, work):
    products = real_products(testdata)
    inputs = os.path.join(work, "inputs")
    os.makedirs(inputs)
    everything = products + stamped(products, b"TLX", 19844, 43392)
    for name, image in everything:
        with open(os.path.join(inputs, name.replace("#", "-")), "wb") as f:
            f.write(image)
    big = max(len(v) for v in expected(everything, True).values())

    # 1. The extended catalogue files every product of either table.
    out = os.path.join(work, "extended")
    status, _, err = run(jx4, "convert", "-q", "--catalogue", "extended", "-o", out, inputs)
    got, problems = volumes(out)
    want = expected(everything, True)
    claim(status in (0, 1) and got == want and not problems,
          "extended: %d products of %d volumes stored under their ids, the biggest volume %d products%s"
          % (sum(map(len, want.values())), len(want), big, "" if not problems else ": " + "; ".join(problems[:5])))
    claim(big > MAX_ENTRIES, "a volume of more than 60 products was filed (%d)" % big)

    # 2. The classic catalogue files what nimbrel files, byte for byte.
    plain = os.path.join(work, "plain.tar")
    names = [n for n, _ in products if not n.startswith(("Level3_", "NIDS_"))]
    subprocess.run(["tar", "-cf", plain, "-C", os.path.join(testdata, "level3"), *names], check=True)
    ours, theirs = os.path.join(work, "classic"), os.path.join(work, "nimbrel")
    os.makedirs(theirs)
    run(nimbrel, plain, cwd=theirs, stdin=b"y\n")
    run(jx4, "convert", "-q", "-j", "1", "-o", ours, plain)
    same = sorted(os.listdir(ours)) == sorted(os.listdir(theirs)) and all(
        open(os.path.join(ours, f), "rb").read() == open(os.path.join(theirs, f), "rb").read()
        for f in os.listdir(theirs))
    got, _ = volumes(ours)
    claim(same and got == expected([p for p in products if p[0] in names], False),
          "classic: the same %d files as nimbrel, byte for byte" % len(os.listdir(theirs)))

    # 3. The selection.
    times = sorted({t for _, t in want})
    middle = times[len(times) // 2]
    stamp = lambda t: "%04d-%02d-%02dT%02d:%02d:%02d" % tuple(time.gmtime(t)[:6])
    selections = [
        (["--only", "N0Q,n0b,HHC"], lambda s, t, i: i in (941, 1531, 177)),
        (["--station", "KLSX,bmx"], lambda s, t, i: s in ("klsx", "kbmx")),
        (["--from", stamp(middle)], lambda s, t, i: t >= middle),
        (["--to", stamp(middle)], lambda s, t, i: t <= middle),
    ]
    for arguments, keep in selections:
        out = os.path.join(work, "selected-" + arguments[0].strip("-"))
        status, _, _ = run(jx4, "convert", "-q", "--catalogue", "extended", "-o", out, *arguments, inputs)
        got, _ = volumes(out)
        claim(status in (0, 1) and got == expected(everything, True, keep), "selection " + " ".join(arguments))
    for arguments in (["--only", "XYZ"], ["--only", "N0B"], ["--station", "KLGX"], ["--from", "2024-02-30"]):
        status, _, err = run(jx4, "convert", "-q", "-o", os.path.join(work, "never"), *arguments, inputs)
        claim(status == 2 and arguments[1] in err and not os.path.exists(os.path.join(work, "never")),
              "usage error for " + " ".join(arguments))

    # 4. A dry run writes nothing, and reports what the real run does.
    out = os.path.join(work, "dry")
    run(jx4, "convert", "-q", "-n", "-j", "1", "--catalogue", "extended", "--layout", "station/year",
        "-o", out, "--report", out + ".dry.jsonl", inputs)
    nothing = not os.path.exists(out)
    run(jx4, "convert", "-q", "-j", "1", "--catalogue", "extended", "--layout", "station/year",
        "-o", out, "--report", out + ".real.jsonl", inputs)
    claim(nothing and open(out + ".dry.jsonl").read() == open(out + ".real.jsonl").read(),
          "a dry run writes nothing and reports what the run then does")

    # 5. Layouts.
    for layout in ("station", "station/year", "station/year/month", "station/year/month/day"):
        out = os.path.join(work, "layout-" + layout.replace("/", "-"))
        run(jx4, "convert", "-q", "--catalogue", "extended", "--layout", layout, "-o", out, inputs)
        placed = True
        for root, _, names in os.walk(out):
            for name in names:
                station, date = name.split("_")[0], name.split("_")[1]
                fields = {"station": station, "year": date[:4], "month": date[4:6], "day": date[6:8]}
                folder = os.path.join(out, *[fields[f] for f in layout.split("/")])
                placed &= os.path.samefile(root, folder)
        got, problems = volumes(out)
        claim(placed and got == want and not problems, "layout " + layout)

    # 6. Collections merged hold what one run over all the inputs files.
    halves = [os.path.join(work, "half-a"), os.path.join(work, "half-b")]
    for i, half in enumerate(halves):
        os.makedirs(half)
        for name in sorted(os.listdir(inputs))[i::2]:
            shutil.copy(os.path.join(inputs, name), half)
    run(jx4, "convert", "-q", "--catalogue", "extended", "--layout", "station", "-o", halves[0] + ".jx4", halves[0])
    run(jx4, "convert", "-q", "--catalogue", "extended", "-o", halves[1] + ".jx4", halves[1])
    merged = os.path.join(work, "merged")
    status, _, _ = run(jx4, "convert", "-q", "--catalogue", "extended", "--layout", "station/year", "-o", merged,
                       halves[0] + ".jx4", halves[1] + ".jx4")
    got, problems = volumes(merged)
    claim(status == 0 and got == want and not problems, "two collections merged hold what one run files")

    print("%d claims failed" % len(failures) if failures else "every claim holds")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
