#!/usr/bin/env python3
"""Rate along a long master-detail merge: the example letter over N invoices with their lines.

Usage: bench/merge/invoices.py [--veltrane build-bench/src/cli/veltrane] [--invoices 20000]
                               [--lines 5] [--word95]

Builds a SQLite shop (examples/shop.sql, then N orders with 1 to LINES lines each, typed columns
as the example declares them) in bench/merge/work/data, merges examples/letter.docx over it into
one document (the order lines as a table-row group in every letter), and reads the command's
progress display through a pseudo-terminal. Prints the invoices per second of each tenth of the
merge, the last tenth's rate over the first's, the wall time and the peak resident memory.
A merge whose rate holds from first to last tenth prints a ratio near 1.0.
"""
import argparse
import os
import pty
import re
import select
import sqlite3
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(HERE, "work")

ORDERS = ("Orders=SELECT o.OrderId, o.OrderDate, c.Salutation, c.FirstName, c.LastName, c.Street,"
          " c.Zip, c.City, (SELECT SUM(Quantity * Price) FROM orderlines l"
          " WHERE l.OrderId = o.OrderId) AS Total"
          " FROM orders o JOIN customers c USING (CustomerId) ORDER BY o.OrderId")
LINES = ("Lines=SELECT Product, Quantity, Price, Quantity * Price AS Amount"
         " FROM orderlines WHERE OrderId = :OrderId ORDER BY LineId")
SHOP = "Shop=SELECT Name, Street, Phone FROM shop"


def shop_database(invoices, lines):
    folder = os.path.join(WORK, "data")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "shop-%d-%d.sqlite" % (invoices, lines))
    if os.path.exists(path):
        return path
    tmp = path + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    db = sqlite3.connect(tmp)
    with open(os.path.join(ROOT, "examples", "shop.sql"), encoding="utf-8") as f:
        db.executescript(f.read())
    db.executemany("INSERT INTO orders VALUES (?, ?, ?)",
                   ((2000 + g, 1 + g % 5, "2024-%02d-%02d" % (1 + g % 12, 1 + g % 28))
                    for g in range(invoices)))
    db.executemany("INSERT INTO orderlines VALUES (?, ?, ?, ?, ?)",
                   ((None, 2000 + g, "Item %d-%d" % (g, k), 1 + k, 2.5 + k)
                    for g in range(invoices) for k in range(1 + g % lines)))
    db.execute("CREATE INDEX orderlines_order ON orderlines (OrderId)")
    db.commit()
    db.close()
    os.replace(tmp, path)
    return path


def merge(args, database, out):
    """Runs the merge with its stderr on a pseudo-terminal; returns [(seconds, done)], rusage."""
    cmd = [args.veltrane, "merge", os.path.join(ROOT, "examples", "letter.docx"),
           "--db", database, "--source", ORDERS, "--source", LINES, "--source", SHOP,
           "--detail", "Lines=Orders", "--locale", "C", "-o", out]
    if args.word95:
        cmd.append("--word95")
    master, slave = pty.openpty()
    start = time.monotonic()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    points, pending = [], b""
    while True:
        ready, _, _ = select.select([master], [], [], 1.0)
        if not ready:
            if p.poll() is not None:
                break
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the child closed the terminal
            break
        if not chunk:
            break
        now = time.monotonic() - start
        pending += chunk
        # A draw is "\rDONE/TOTAL records ...\x1b[K"; a draw cut by the read waits for the rest.
        for m in re.finditer(rb"(\d+)/(\d+) records[^\x1b]*\x1b\[K", pending):
            points.append((now, int(m.group(1)), int(m.group(2))))
        end = pending.rfind(b"\x1b[K")
        if end >= 0:
            pending = pending[end + 3:]
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.monotonic() - start
    os.close(master)
    if status != 0:
        sys.exit("veltrane merge failed (status %d): %s" % (status, " ".join(cmd)))
    return points, wall, usage


def time_at(points, done):
    """The time the merge reached `done` records, interpolated between two progress draws."""
    prev = (0.0, 0)
    for t, d, _ in points:
        if d >= done:
            if d == prev[1]:
                return t
            return prev[0] + (t - prev[0]) * (done - prev[1]) / (d - prev[1])
        prev = (t, d)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--veltrane", default=os.path.join(ROOT, "build-bench", "src", "cli", "veltrane"))
    ap.add_argument("--invoices", type=int, default=20000)
    ap.add_argument("--lines", type=int, default=5, help="an invoice has 1 to LINES lines")
    ap.add_argument("--word95", action="store_true", help="use the Word 95 back-end")
    args = ap.parse_args()

    database = shop_database(args.invoices, args.lines)
    os.makedirs(os.path.join(WORK, "out"), exist_ok=True)
    out = os.path.join(WORK, "out", "invoices-%d.docx" % args.invoices)
    points, wall, usage = merge(args, database, out)
    total = points[-1][2] if points else args.invoices
    tenth = total / 10
    rates = []
    print("| tenth | invoices | invoices/s |")
    print("|---|---|---|")
    for k in range(10):
        t0, t1 = time_at(points, k * tenth) if k else 0.0, time_at(points, (k + 1) * tenth)
        if t0 is None or t1 is None or t1 <= t0:
            print("| %d | - | - |" % (k + 1))
            continue
        rates.append(tenth / (t1 - t0))
        print("| %d | %d-%d | %.0f |" % (k + 1, k * tenth + 1, (k + 1) * tenth, rates[-1]))
    # The first tenth also holds the start-up (template load, queries); the last the save.
    if len(rates) == 10:
        print("last tenth / first tenth: %.2f; last / second: %.2f" % (rates[9] / rates[0],
                                                                      rates[9] / rates[1]))
    print("wall %.2f s (%.0f invoices/s), peak RSS %.0f MB, output %s (%.1f MB)"
          % (wall, total / wall, usage.ru_maxrss / 1024.0, out, os.path.getsize(out) / 1e6))


if __name__ == "__main__":
    main()
