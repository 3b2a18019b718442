#!/usr/bin/env python3
"""Templates with many identifiers: the merge must stay linear in their number.

Usage: bench/merge/identifiers.py [--veltrane build-bench/src/cli/veltrane] [--counts 1000,4000,10000]

Writes a template per count whose every paragraph holds one field bookmark (T_Name_1 ...
T_Name_<n>, all of one column), merges it with a one-record SQLite table through `veltrane
merge`, and prints wall time, peak memory and the time per identifier. Ten times the
identifiers may cost at most eleven times the time; the script exits 1 when it costs more.
"""
import argparse
import os
import sqlite3
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/word/document.xml" ContentType="application/'
    'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/officeDocument" Target="word/document.xml"/></Relationships>')


def write_template(path, count):
    body = "".join(
        '<w:p><w:r><w:t xml:space="preserve">Line %d: </w:t></w:r>'
        '<w:bookmarkStart w:id="%d" w:name="T_Name_%d"/><w:r><w:t>Name</w:t></w:r>'
        '<w:bookmarkEnd w:id="%d"/></w:p>' % (i, i, i, i) for i in range(1, count + 1))
    document = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
                '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
                '<w:body>%s<w:sectPr/></w:body></w:document>' % body)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", RELS)
        z.writestr("word/document.xml", document)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--veltrane", default=os.path.join(ROOT, "build-bench", "src", "cli", "veltrane"))
    ap.add_argument("--counts", default="1000,4000,10000")
    args = ap.parse_args()
    counts = [int(c) for c in args.counts.split(",")]
    rows = []
    with tempfile.TemporaryDirectory(prefix="veltrane-ids-") as work:
        db = os.path.join(work, "t.sqlite")
        con = sqlite3.connect(db)
        con.execute("CREATE TABLE T (Name TEXT)")
        con.execute("INSERT INTO T VALUES ('Alice')")
        con.commit()
        con.close()
        for count in counts:
            template = os.path.join(work, "ids-%d.docx" % count)
            write_template(template, count)
            out = os.path.join(work, "out-%d.docx" % count)
            p = subprocess.run(["/usr/bin/time", "-f", "%e %M", args.veltrane, "merge", template,
                                "--db", db, "--source", "T=SELECT * FROM T", "--main", "T",
                                "-o", out, "--quiet"], capture_output=True, text=True)
            if p.returncode != 0:
                print("merge of %d identifiers failed: %s" % (count, p.stderr.strip()))
                return 1
            wall, rss = p.stderr.strip().splitlines()[-1].split()
            rows.append((count, float(wall), int(rss) / 1024))
    print("| identifiers | wall s | peak RSS MB | µs per identifier |")
    print("|---|---|---|---|")
    for count, wall, rss in rows:
        print("| %d | %.2f | %.0f | %.1f |" % (count, wall, rss, wall / count * 1e6))
    (n0, t0, _), (n1, t1, _) = rows[0], rows[-1]
    allowed = 1.1 * n1 / n0 * max(t0, 0.05)
    ok = t1 <= allowed
    print("%dx the identifiers cost %.1fx the time: %s" % (n1 // n0, t1 / max(t0, 0.05),
                                                          "linear" if ok else "NOT linear"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
