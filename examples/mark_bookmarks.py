#!/usr/bin/env python3
"""Writes a copy of a .docx template in which every bookmark shows where it starts and ends,
for pictures of templates: "[Name " in small grey letters before its start and "]" after its
end, as the identifiers command shows them. Only the Python standard library is used.

Usage: mark_bookmarks.py TEMPLATE.docx OUT.docx
"""
import re
import sys
import zipfile
from xml.sax.saxutils import escape

MARK = ('<w:r><w:rPr><w:color w:val="2F6FB0"/><w:sz w:val="14"/></w:rPr>'
        '<w:t xml:space="preserve">%s</w:t></w:r>')


def marked(xml):
    def start(match):
        if match.group(1).startswith("_"):
            return match.group(0)
        return MARK % escape("[" + match.group(1) + " ") + match.group(0)

    def end(match):
        return match.group(0) + MARK % "]"

    # Marks inside paragraphs only: a run cannot stand between blocks or table rows.
    out = []
    for part in re.split(r"(<w:p[ >].*?</w:p>)", xml, flags=re.S):
        if part.startswith("<w:p"):
            part = re.sub(r'<w:bookmarkStart\b[^>]*?w:name="([^"]*)"[^>]*/>', start, part)
            part = re.sub(r"<w:bookmarkEnd\b[^>]*/>", end, part)
        out.append(part)
    return "".join(out)


def main():
    source, target = sys.argv[1], sys.argv[2]
    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as zout:
        for info in zin.infolist():
            data = zin.read(info)
            if re.match(r"word/(document|header\d*|footer\d*)\.xml$", info.filename):
                data = marked(data.decode("utf-8")).encode("utf-8")
            zout.writestr(info, data)


if __name__ == "__main__":
    main()
