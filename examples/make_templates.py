#!/usr/bin/env python3
"""Writes the example templates of Veltrane (.docx files with bookmarks).

Usage: make_templates.py [OUTDIR]      (default: the folder of this script)

Writes letter.docx (one letter per order: a header field, fields with masks, the order lines
as a table-row group, the total after the group), customers.docx (the customers listed
by country: a group keyed on the Country field inside the group of customers) and orders.docx
(the orders one after the other, shaped as LibreOffice Writer makes templates: a group over
whole paragraphs, and the order lines as a group over the first cell of the table row). Only the Python
standard library is used; the .docx files are committed, so this script is needed only to
change them.

How a template names its data: a bookmark named SOURCE_FIELD is replaced by that field's
value, a bookmark named after a data source (or a field of the main data source) is a group
repeated per record (or per run of equal values), and the bookmarked text may carry a mask
after '@' ('Total@#,##0.00').
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

W_NS = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


class Marks:
    """Hands out bookmark ids and builds the start/end elements."""

    def __init__(self):
        self.next_id = 0

    def new(self, name):
        self.next_id += 1
        return ('<w:bookmarkStart w:id="%d" w:name="%s"/>' % (self.next_id, name),
                '<w:bookmarkEnd w:id="%d"/>' % self.next_id)


PAGE_BREAK = '<w:r><w:br w:type="page"/></w:r>'
LINE_BREAK = "<w:r><w:br/></w:r>"


def run(text, bold=False):
    props = "<w:rPr><w:b/></w:rPr>" if bold else ""
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (props, escape(text))


def field(marks, name, placeholder, bold=False):
    start, end = marks.new(name)
    return start + run(placeholder, bold) + end


def para(*parts, bold=False, right=False, page_break=False, prefix="", suffix=""):
    props = ""
    if page_break or right:
        props = "<w:pPr>%s%s</w:pPr>" % ("<w:pageBreakBefore/>" if page_break else "",
                                         '<w:jc w:val="right"/>' if right else "")
    body = "".join(p if p.startswith("<") else run(p, bold) for p in parts)
    return "<w:p>%s%s%s%s</w:p>" % (props, prefix, body, suffix)


def cell(content, width, right=False, bold=False, prefix="", suffix=""):
    jc = '<w:pPr><w:jc w:val="right"/></w:pPr>' if right else ""
    text = content if content.startswith("<") else run(content, bold)
    return ('<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/></w:tcPr><w:p>%s%s%s%s</w:p></w:tc>'
            % (width, jc, prefix, text, suffix))


def table(widths, rows):
    grid = "".join('<w:gridCol w:w="%d"/>' % w for w in widths)
    borders = "".join('<w:%s w:val="single" w:sz="4" w:space="0" w:color="808080"/>' % side
                      for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    return ('<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/><w:tblBorders>%s</w:tblBorders>'
            '</w:tblPr><w:tblGrid>%s</w:tblGrid>%s</w:tbl>'
            % (borders, grid, "".join("<w:tr>%s</w:tr>" % "".join(r) for r in rows)))


def letter():
    m = Marks()
    group_start, group_end = m.new("Orders")
    body = [
        para("Sampletown, ", field(m, "Orders_OrderDate", "OrderDate@dd.mm.yyyy"),
             prefix=group_start),
        para(field(m, "Orders_Salutation", "Salutation"), " ",
             field(m, "Orders_FirstName", "FirstName"), " ",
             field(m, "Orders_LastName", "LastName")),
        para(field(m, "Orders_Street", "Street")),
        para(field(m, "Orders_Zip", "Zip"), " ", field(m, "Orders_City", "City")),
        para(),
        para("Order ", field(m, "Orders_OrderId", "OrderId@00000", bold=True), bold=True),
        para(),
        para("Dear ", field(m, "Orders_Salutation_2", "Salutation"), " ",
             field(m, "Orders_LastName_2", "LastName"), ","),
        para("thank you for your order of ",
             field(m, "Orders_OrderDate_2", "OrderDate@d mmmm yyyy"),
             ". We have delivered the following items:"),
    ]
    lines_start, lines_end = m.new("Lines")
    widths = [4200, 1200, 1700, 1700]
    header = [cell("Product", widths[0], bold=True), cell("Quantity", widths[1], True, True),
              cell("Price", widths[2], True, True), cell("Amount", widths[3], True, True)]
    data = [cell(field(m, "Lines_Product", "Product"), widths[0], prefix=lines_start),
            cell(field(m, "Lines_Quantity", "Quantity"), widths[1], right=True),
            cell(field(m, "Lines_Price", "Price@#,##0.00"), widths[2], right=True),
            cell(field(m, "Lines_Amount", "Amount@#,##0.00"), widths[3], right=True,
                 suffix=lines_end)]
    body.append(table(widths, [header, data]))
    body += [
        para("Total: EUR ", field(m, "Orders_Total", "Total@#,##0.00", bold=True), bold=True,
             right=True),
        para(),
        para("Kind regards,"),
        # The group ends with a page break inside its last paragraph: each copy of the region
        # then starts on a page of its own, right behind the break.
        para("Example Supplies Ltd", PAGE_BREAK, suffix=group_end),
        para(),
    ]
    header_para = para(field(m, "Shop_Name", "Name"), " \u00b7 ",
                       field(m, "Shop_Street", "Street"), " \u00b7 ",
                       field(m, "Shop_Phone", "Phone"))
    return "".join(body), header_para


def customers():
    m = Marks()
    # The record group Customers holds the country's name and, inside it, the group Country,
    # named after a field: Country repeats the entry line over the run of customers of one
    # country and leaves the data set on the run's last record, so the next pass of Customers
    # starts with the next country. Both live in one paragraph; line breaks end the lines.
    outer_start, outer_end = m.new("Customers")
    country_start, country_end = m.new("Country")
    listing = para(field(m, "Customers_Country", "Country", bold=True), LINE_BREAK,
                   country_start, "    ",
                   field(m, "Customers_LastName", "LastName"), ", ",
                   field(m, "Customers_FirstName", "FirstName"), " \u2013 ",
                   field(m, "Customers_City", "City"), ", customer since ",
                   field(m, "Customers_Since", "Since@mmmm yyyy"), LINE_BREAK,
                   prefix=outer_start, suffix=country_end + outer_end)
    body = [para("Our customers by country", bold=True), para(), listing,
            para("Printed by Veltrane.")]
    return "".join(body), None


def orders():
    m = Marks()
    # The order list as LibreOffice Writer users make it. Orders is a group over whole
    # paragraphs: its bookmark starts at the first paragraph's start and ends at the start of
    # the paragraph after them, so that it holds the last paragraph's mark. Writer cannot make
    # a bookmark over several table cells, so the order lines are a group over the whole text
    # of the row's first cell; the row's other cells hold only fields of Lines, so the merge
    # repeats the whole row.
    orders_start, orders_end = m.new("Orders")
    lines_start, lines_end = m.new("Lines")
    widths = [4200, 1200, 1700]
    header = [cell("Product", widths[0], bold=True), cell("Quantity", widths[1], True, True),
              cell("Amount", widths[2], True, True)]
    data = [cell(field(m, "Lines_Product", "Product"), widths[0], prefix=lines_start,
                 suffix=lines_end),
            cell(field(m, "Lines_Quantity", "Quantity"), widths[1], right=True),
            cell(field(m, "Lines_Amount", "Amount@#,##0.00"), widths[2], right=True)]
    body = [para("Orders of the month", bold=True), para(),
            para("Order ", field(m, "Orders_OrderId", "OrderId@00000", bold=True), " of ",
                 field(m, "Orders_OrderDate", "OrderDate@d mmmm yyyy"), bold=True,
                 prefix=orders_start),
            para("for ", field(m, "Orders_FirstName", "FirstName"), " ",
                 field(m, "Orders_LastName", "LastName"), ", ", field(m, "Orders_City", "City")),
            table(widths, [header, data]),
            para("Total: EUR ", field(m, "Orders_Total", "Total@#,##0.00")),
            para(prefix=orders_end)]
    header_para = para(field(m, "Shop_Name", "Name"), " \u00b7 ", field(m, "Shop_Phone", "Phone"))
    return "".join(body), header_para


def document_xml(body, with_header):
    header_ref = ('<w:headerReference w:type="default" r:id="rIdHeader1"/>'
                  if with_header else "")
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<w:document xmlns:w="%s" xmlns:r="%s"><w:body>%s<w:sectPr>%s'
            '<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1417" w:right="1417" '
            'w:bottom="1134" w:left="1417" w:header="708" w:footer="708" w:gutter="0"/>'
            '</w:sectPr></w:body></w:document>' % (W_NS, R_NS, body, header_ref))


CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
    '<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>'
    '%s</Types>')
HEADER_TYPE = ('<Override PartName="/word/header1.xml" ContentType="application/'
               'vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/>')
ROOT_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/officeDocument" Target="word/document.xml"/></Relationships>')
DOC_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rIdStyles" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/styles" Target="styles.xml"/>%s</Relationships>')
HEADER_REL = ('<Relationship Id="rIdHeader1" Type="http://schemas.openxmlformats.org/'
              'officeDocument/2006/relationships/header" Target="header1.xml"/>')
STYLES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<w:styles xmlns:w="%s"><w:docDefaults><w:rPrDefault><w:rPr>'
    '<w:rFonts w:ascii="Liberation Sans" w:hAnsi="Liberation Sans" w:cs="Liberation Sans"/>'
    '<w:sz w:val="22"/></w:rPr></w:rPrDefault><w:pPrDefault><w:pPr>'
    '<w:spacing w:after="60"/></w:pPr></w:pPrDefault></w:docDefaults>'
    '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/>'
    '</w:style></w:styles>' % W_NS)


def write_docx(path, body, header_para):
    # Fixed time stamps keep the committed files identical from run to run.
    def put(z, name, text):
        info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, text.encode("utf-8"))

    with zipfile.ZipFile(path, "w") as z:
        put(z, "[Content_Types].xml", CONTENT_TYPES % (HEADER_TYPE if header_para else ""))
        put(z, "_rels/.rels", ROOT_RELS)
        put(z, "word/_rels/document.xml.rels", DOC_RELS % (HEADER_REL if header_para else ""))
        put(z, "word/document.xml", document_xml(body, header_para is not None))
        put(z, "word/styles.xml", STYLES)
        if header_para:
            put(z, "word/header1.xml",
                '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<w:hdr xmlns:w="%s" xmlns:r="%s">%s</w:hdr>' % (W_NS, R_NS, header_para))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, make in (("letter.docx", letter), ("customers.docx", customers),
                       ("orders.docx", orders)):
        body, header = make()
        write_docx(os.path.join(out, name), body, header)
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
