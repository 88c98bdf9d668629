#!/usr/bin/env python3
"""Black-box check of jx4 behind a feed, from the outside: it frames, splits
and reads back everything by its own code (the real framed files taken apart
here are the oracle), runs the jx4 program given, and says PASS or FAIL for
each claim:

  1. a 300 MB framed stream (the real framed products, each copy at another
     volume time and station), plain and gzipped, through a file and through
     a pipe, stores exactly the products of its frames, with peak memory of
     at most 48 MB;
  2. products written into a pipe one by one are each stored before the next
     is written;
  3. a SIGTERM in the middle of a piped stream, then a rerun of the whole
     stream, loses nothing;
  4. an overlong frame and broken frames in the middle cost only themselves.

Usage: feeds.py JX4 TESTDATA_DIR [WORK_DIR] [MEGABYTES]
Exit status 0 when every claim holds, 1 when one fails, 77 without the data.
"""
import gzip
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

FRAMED = ["Level3_LSX_N1U_20211228_0446.nids", "Level3_STL_NCR_20211211_0200.nids",
          "Level3_STL_TV0_20211211_0200.nids", "Level3_STL_TZL_20211211_0200.nids",
          "NIDS_DYX_NST_NST_20200522_0222"]  # every one of a catalogued kind
SITES = [b"TLX", b"INX", b"FWS", b"LSX", b"BMX", b"DYX", b"LOT", b"DMX", b"OKX", b"AMX"]
PEAK_LIMIT_KB = 48 * 1024
failures = []
passes = []


def claim(ok, what):
    print(("PASS  " if ok else "FAIL  ") + what, flush=True)
    (passes if ok else failures).append(what)


def unframe(frame):
    """The product of one frame (SOH ... ETX): heading and message, the
    message inflated when it is zlib-compressed, a control block dropped."""
    assert frame[:4] == b"\x01\r\r\n" and frame[-4:] == b"\r\r\n\x03"
    seq_end = frame.index(b"\r\r\n", 4) + 3
    first = frame.index(b"\r\r\n", seq_end) + 3
    heading_end = frame.index(b"\r\r\n", first) + 3
    heading, body = frame[seq_end:heading_end], frame[heading_end:-4]
    if len(body) < 2 or (body[0] & 0x0F) != 8 or ((body[0] << 8) | body[1]) % 31:
        return heading + body
    inflated = b""
    while len(body) >= 2 and (body[0] & 0x0F) == 8 and ((body[0] << 8) | body[1]) % 31 == 0:
        d = zlib.decompressobj()
        inflated += d.decompress(body)
        body = d.unused_data
    inflated += body
    at = inflated.find(heading, 0, 64 + len(heading))
    return inflated[at:] if 0 <= at <= 64 else heading + inflated


def frame_of(image, sequence, compressed):
    """Frames a product; compressed, as today's feed: the heading in clear,
    then the control block, heading and message in 4000-byte zlib streams."""
    out = b"\x01\r\r\n%03d \r\r\n" % (sequence % 1000) + image[:30]
    if compressed:
        plain = bytes(24) + image
        out += b"".join(zlib.compress(plain[i:i + 4000], 6) for i in range(0, len(plain), 4000))
    else:
        out += image[30:]
    return out + b"\r\r\n\x03"


def vary(image, copy):
    """The product at volume `copy` (5 minutes apart) of another station."""
    b = bytearray(image)
    b[24:27] = SITES[copy % len(SITES)]
    seconds = 7200 + 300 * copy
    struct.pack_into(">HI", b, 30 + 40, 18000 + seconds // 86400, seconds % 86400)
    return bytes(b)


def make_stream(products, megabytes):
    frames, images, size, copy = [], [], 0, 0
    while size < megabytes * 1_000_000:
        for k, image in enumerate(products):
            v = vary(image, copy)
            f = frame_of(v, len(frames), compressed=(k % 2 == 1))
            frames.append(f)
            images.append(v)
            size += len(f)
        copy += 1
    return frames, images


def stored_images(folder):
    """Every image indexed in the .jx4 files of `folder`, as hashes."""
    found = []
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if not name.endswith(".jx4"):
            continue
        data = open(os.path.join(folder, name), "rb").read()
        count = struct.unpack_from("<I", data, 16)[0]
        for i in range(count):
            _, _, offset, length = struct.unpack_from("<IIII", data, 20 + 16 * i)
            found.append(hashlib.sha256(data[offset:offset + length]).hexdigest())
    return sorted(found)


def hashes(images):
    return sorted(hashlib.sha256(i).hexdigest() for i in images)


def convert(jx4, work, out, input_path=None, stdin_path=None, report=None):
    """Runs jx4 convert under /usr/bin/time; exit status and peak kilobytes."""
    shutil.rmtree(out, ignore_errors=True)
    timing = os.path.join(work, "time.txt")
    args = ["/usr/bin/time", "-f", "%M", "-o", timing, jx4, "convert", "-q", "-j", "1", "-o", out]
    if report:
        args += ["--report", report]
    args.append(input_path or "-")
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    if stdin_path:  # through a pipe, not a file
        cat = subprocess.Popen(["cat", stdin_path], stdout=subprocess.PIPE)
        rc = subprocess.call(args, stdin=cat.stdout)
        cat.wait()
    else:
        rc = subprocess.call(args, stdin=stdin)
    peak = int(open(timing).read().split()[-1])
    return rc, peak


def records(report):
    try:
        return open(report).read().count('"type":"product"')
    except FileNotFoundError:
        return 0


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    jx4, data = os.path.abspath(sys.argv[1]), os.path.join(sys.argv[2], "level3")
    if not all(os.path.exists(os.path.join(data, f)) for f in FRAMED):
        print("feeds: the real framed files are missing in %s" % data)
        return 77
    work = tempfile.mkdtemp(prefix="nimbrel-feeds-", dir=sys.argv[3] if len(sys.argv) > 3 else None)
    megabytes = int(sys.argv[4]) if len(sys.argv) > 4 else 300
    try:
        products = [unframe(open(os.path.join(data, f), "rb").read()) for f in FRAMED]
        frames, images = make_stream(products, megabytes)
        feed = os.path.join(work, "feed.nids")
        with open(feed, "wb") as f:
            f.writelines(frames)
        with open(feed, "rb") as f, gzip.open(feed + ".gz", "wb", compresslevel=1) as g:
            shutil.copyfileobj(f, g)
        expected = hashes(images)
        print("stream: %.1f MB, %d frames" % (os.path.getsize(feed) / 1e6, len(frames)), flush=True)

        # 1. Plain and gzipped, through a file and through a pipe.
        for name, path in (("plain", feed), ("gzipped", feed + ".gz")):
            for route in ("file", "pipe"):
                out = os.path.join(work, "out")
                rc, peak = (convert(jx4, work, out, input_path=path) if route == "file"
                            else convert(jx4, work, out, stdin_path=path))
                got = stored_images(out)
                claim(rc == 0 and got == expected,
                      "%s stream through a %s: exit %d, %d of %d products stored exactly"
                      % (name, route, rc, len(set(got) & set(expected)), len(expected)))
                claim(peak <= PEAK_LIMIT_KB, "%s stream through a %s: peak memory %.1f MB (at most 48 MB)"
                      % (name, route, peak / 1024))
                shutil.rmtree(out, ignore_errors=True)

        # 2. One by one through a pipe: each stored before the next is written.
        out, report = os.path.join(work, "live"), os.path.join(work, "live.jsonl")
        child = subprocess.Popen([jx4, "convert", "-q", "-o", out, "--report", report, "-"],
                                 stdin=subprocess.PIPE)
        in_time, slowest = 0, 0.0
        for i in range(20):
            started = time.monotonic()
            child.stdin.write(frames[i])
            child.stdin.flush()
            while len(stored_images(out)) < i + 1 and time.monotonic() - started < 30:
                time.sleep(0.001)
            slowest = max(slowest, time.monotonic() - started)
            in_time += len(stored_images(out)) == i + 1 and records(report) == i + 1
            time.sleep(0.05)
        child.stdin.close()
        child.wait()
        claim(in_time == 20 and stored_images(out) == hashes(images[:20]),
              "20 products written into a pipe one by one: %d stored and reported before the next "
              "was written (slowest %.1f ms)" % (in_time, slowest * 1000))

        # 3. SIGTERM in the middle of a piped stream, then a rerun.
        out, report = os.path.join(work, "stopped"), os.path.join(work, "stopped.jsonl")
        shutil.rmtree(out, ignore_errors=True)
        child = subprocess.Popen([jx4, "convert", "-q", "-o", out, "--report", report, "-"],
                                 stdin=subprocess.PIPE)
        half = len(frames) // 2
        for i in range(half):
            child.stdin.write(frames[i])
        child.stdin.write(frames[half][:len(frames[half]) // 2])
        child.stdin.flush()
        deadline = time.monotonic() + 120
        while records(report) < half and time.monotonic() < deadline:
            time.sleep(0.01)
        child.send_signal(signal.SIGTERM)
        rc = child.wait()
        child.stdin.close()
        stopped = len(stored_images(out))
        rerun = subprocess.call([jx4, "convert", "-q", "-o", out, feed])
        claim(rc == 143 and stopped == half and rerun == 0 and stored_images(out) == expected,
              "SIGTERM in the middle (exit %d, %d of %d stored), then a rerun (exit %d): %s"
              % (rc, stopped, half, rerun, "nothing lost" if stored_images(out) == expected else "LOST"))

        # 4. An overlong frame and broken ones in the middle.
        overlong = b"\x01\r\r\n999 \r\r\n" + b"SDUS54 KTLX 031203\r\r\nN0RTLX\r\r\n" + bytes(17 << 20)
        cut = frames[3][:len(frames[3]) // 2]
        broken = bytearray(frames[1])
        broken[60] ^= 0xFF  # inside its first zlib stream
        damaged = frames[:3] + [overlong, cut, bytes(broken), b"no frame here"] + frames[4:40]
        kept = images[:3] + images[4:40]
        path = os.path.join(work, "damaged.nids")
        with open(path, "wb") as f:
            f.writelines(damaged)
        out, report = os.path.join(work, "damaged"), os.path.join(work, "damaged.jsonl")
        rc, peak = convert(jx4, work, out, input_path=path, report=report)
        text = open(report).read()
        claim(rc == 0 and stored_images(out) == hashes(kept) and '"outcome":"too-large"' in text
              and text.count('"outcome":"not-a-product"') == 3 and "at byte" in text,
              "an overlong frame, a cut one, a broken zlib stream and stray bytes in the middle: "
              "exit %d, %d of %d others stored, peak %.1f MB" % (rc, len(stored_images(out)), len(kept),
                                                                 peak / 1024))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("feeds: %d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
