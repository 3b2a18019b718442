#!/usr/bin/env python3
"""Pictures in merges: time linear in the records, and one media part per distinct picture.

Usage: bench/merge/media.py [--veltrane build-bench/src/cli/veltrane] [--counts 500,1000,2000]

Two merges per count, with the field reports' templates (tests/data/field-reports/cases/engine):
  nested   media-nested.docx: <count> orders, each with two lines, and a picture in the line
           group (one picture of the template, pasted twice per order);
  photos   media-photo.docx: <count> records, each with a picture field, ten distinct pictures
           taking turns.
Prints wall time, peak memory, the time per record and the media parts of the result. Four
times the records may cost at most 4.4 times the time (the smallest run's time counts as at
least 0.05 s), and the results must hold one media part (nested) and ten (photos); the script
exits 1 otherwise.
"""
import argparse
import os
import sqlite3
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
CASES = os.path.join(ROOT, "tests", "data", "field-reports", "cases", "engine")


def png(width, height, rgb):
    """A small PNG of one colour."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def nested_db(path, count):
    con = sqlite3.connect(path)
    con.execute("CREATE TABLE orders (Id INTEGER)")
    con.execute("CREATE TABLE lines (OrderId INTEGER, Product TEXT)")
    con.executemany("INSERT INTO orders VALUES (?)", [(i,) for i in range(count)])
    con.executemany("INSERT INTO lines VALUES (?, ?)",
                    [(i, "P%d-%d" % (i, j)) for i in range(count) for j in range(2)])
    con.execute("CREATE INDEX lines_order ON lines (OrderId)")
    con.commit()
    con.close()


def photos_db(path, count):
    pictures = [png(4, 3, (25 * k, 200, 255 - 20 * k)) for k in range(10)]
    con = sqlite3.connect(path)
    con.execute("CREATE TABLE r (Name TEXT, Photo IMAGE)")
    con.executemany("INSERT INTO r VALUES (?, ?)",
                    [("n%d" % i, pictures[i % 10]) for i in range(count)])
    con.commit()
    con.close()


MERGES = {
    "nested": ("media-nested.docx", nested_db,
               ["--source", "O=SELECT Id FROM orders ORDER BY Id",
                "--source", "L=SELECT Product FROM lines WHERE OrderId = :Id", "--detail", "L=O"],
               1),
    "photos": ("media-photo.docx", photos_db, ["--source", "R=SELECT * FROM r"], 10),
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--veltrane", default=os.path.join(ROOT, "build-bench", "src", "cli", "veltrane"))
    ap.add_argument("--counts", default="500,1000,2000")
    args = ap.parse_args()
    counts = [int(c) for c in args.counts.split(",")]
    failed = False
    with tempfile.TemporaryDirectory(prefix="veltrane-media-") as work:
        for name, (template, make_db, sources, parts) in MERGES.items():
            rows = []
            for count in counts:
                db = os.path.join(work, "%s-%d.sqlite" % (name, count))
                make_db(db, count)
                out = os.path.join(work, "%s-%d.docx" % (name, count))
                p = subprocess.run(["/usr/bin/time", "-f", "%e %M", args.veltrane, "merge",
                                    os.path.join(CASES, template), "--db", db] + sources +
                                   ["-o", out, "--quiet"], capture_output=True, text=True)
                if p.returncode != 0:
                    print("%s merge of %d records failed: %s" % (name, count, p.stderr.strip()))
                    return 1
                wall, rss = p.stderr.strip().splitlines()[-1].split()
                with zipfile.ZipFile(out) as z:
                    media = len([n for n in z.namelist() if n.startswith("word/media/")])
                rows.append((count, float(wall), int(rss) / 1024, media))
            print("%s (%s)" % (name, template))
            print("| records | wall s | peak RSS MB | ms per record | media parts |")
            print("|---|---|---|---|---|")
            for count, wall, rss, media in rows:
                print("| %d | %.2f | %.0f | %.2f | %d |" % (count, wall, rss, wall / count * 1e3,
                                                          media))
            (n0, t0, _, _), (n1, t1, _, _) = rows[0], rows[-1]
            linear = t1 <= 1.1 * n1 / n0 * max(t0, 0.05)
            stored = all(media == parts for _, _, _, media in rows)
            print("%dx the records cost %.1fx the time: %s; %s\n" % (
                n1 // n0, t1 / max(t0, 0.05), "linear" if linear else "NOT linear",
                "one media part per distinct picture" if stored else "media parts MULTIPLIED"))
            failed = failed or not linear or not stored
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
