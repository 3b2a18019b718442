#!/usr/bin/env python3
"""Writes the templates of the acceptance cases that are made rather than copied: each case
folder named below gets its template.docx. The cases whose case.txt names a template under
tests/data (the field reports) have none here.

Usage: make_templates.py            (writes into the case folders beside this script)

Bookmarks are placed as Word and LibreOffice Writer place them: a group over whole paragraphs
ends as the first child of the paragraph after it (or of the first cell of a table after it);
a group that ends inside a paragraph ends after that paragraph's last run. Only the Python
standard library is used, with the helpers of examples/make_templates.py; the .docx files are
committed, so this script is needed only to change them.
"""
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "examples"))
import make_templates as mt  # noqa: E402

W_NS = mt.W_NS
R_NS = mt.R_NS
PART_TYPE = "application/vnd.openxmlformats-officedocument.wordprocessingml.%s+xml"
REL_TYPE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/%s"


def write_docx(path, body, header=None, footer=None):
    """A package with the body and an optional page header and footer (paragraph XML)."""
    parts = {"header": header, "footer": footer}
    overrides = "".join('<Override PartName="/word/%s1.xml" ContentType="%s"/>'
                        % (kind, PART_TYPE % kind) for kind, xml in parts.items() if xml)
    rels = "".join('<Relationship Id="rId%s" Type="%s" Target="%s1.xml"/>'
                   % (kind, REL_TYPE % kind, kind) for kind, xml in parts.items() if xml)
    refs = "".join('<w:%sReference w:type="default" r:id="rId%s"/>' % (kind, kind)
                   for kind, xml in parts.items() if xml)
    document = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<w:document xmlns:w="%s" xmlns:r="%s"><w:body>%s<w:sectPr>%s'
                '<w:pgSz w:w="11906" w:h="16838"/></w:sectPr></w:body></w:document>'
                % (W_NS, R_NS, body, refs))

    def put(z, name, text):
        # Fixed time stamps keep the committed files identical from run to run.
        info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, text.encode("utf-8"))

    with zipfile.ZipFile(path, "w") as z:
        put(z, "[Content_Types].xml", mt.CONTENT_TYPES % overrides)
        put(z, "_rels/.rels", mt.ROOT_RELS)
        put(z, "word/_rels/document.xml.rels", mt.DOC_RELS % rels)
        put(z, "word/document.xml", document)
        put(z, "word/styles.xml", mt.STYLES)
        for kind, xml in parts.items():
            if xml:
                root = "hdr" if kind == "header" else "ftr"
                put(z, "word/%s1.xml" % kind,
                    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                    '<w:%s xmlns:w="%s" xmlns:r="%s">%s</w:%s>' % (root, W_NS, R_NS, xml, root))


def item_list(m, group="Items"):
    """The paragraph of one item, as the start of a group over whole paragraphs."""
    start, end = m.new(group)
    return start, end, mt.para("Item ", mt.field(m, "Items_Name", "Name"), prefix=start)


def last_paragraph_before_table():
    m = mt.Marks()
    start, end, item = item_list(m)
    body = (mt.para("Items:") + item +
            mt.table([3000, 3000], [[mt.cell("End of list", 3000, prefix=end),
                                     mt.cell("x", 3000)]]) +
            mt.para("After"))
    return body, None, None


def cell_table(content):
    return (mt.para("Before") +
            mt.table([3000, 3000], [['<w:tc><w:tcPr><w:tcW w:w="3000" w:type="dxa"/></w:tcPr>' +
                                     content + "</w:tc>", mt.cell("x", 3000)]]) +
            mt.para("After"))


def end_of_cell_next_paragraph():
    """A group over a paragraph of a cell that ends in the cell's next paragraph."""
    m = mt.Marks()
    start, end = m.new("Items")
    return cell_table(mt.para("Names:") +
                      mt.para("- ", mt.field(m, "Items_Name", "Name"), prefix=start) +
                      mt.para("That is all.", prefix=end)), None, None


def end_of_cell_last_paragraph():
    """A group over the cell's last paragraph, ending after its last run: Writer cannot end a
    bookmark beyond it."""
    m = mt.Marks()
    start, end = m.new("Items")
    return cell_table(mt.para("Names:") +
                      mt.para("- ", mt.field(m, "Items_Name", "Name"), prefix=start,
                              suffix=end)), None, None


def nested_paragraph_groups():
    """Orders over paragraphs; inside, the order's lines, one paragraph each; both groups end in
    the paragraph after their region, the inner one inside the outer region."""
    m = mt.Marks()
    o_start, o_end = m.new("Orders")
    l_start, l_end = m.new("Lines")
    body = (mt.para("Orders") +
            mt.para("Order ", mt.field(m, "Orders_OrderId", "OrderId"), prefix=o_start) +
            mt.para("  ", mt.field(m, "Lines_Product", "Product"), " x ",
                    mt.field(m, "Lines_Quantity", "Quantity"), prefix=l_start) +
            mt.para("Total ", mt.field(m, "Orders_Total", "Total@0.00"), prefix=l_end) +
            mt.para("End", prefix=o_end))
    return body, None, None


def nested_groups_ending_together():
    """Orders and their lines end together, in the paragraph after both regions."""
    m = mt.Marks()
    o_start, o_end = m.new("Orders")
    l_start, l_end = m.new("Lines")
    body = (mt.para("Order ", mt.field(m, "Orders_OrderId", "OrderId"), prefix=o_start) +
            mt.para("  ", mt.field(m, "Lines_Product", "Product"), prefix=l_start) +
            mt.para("End", prefix=l_end + o_end))
    return body, None, None


def key_field_paragraphs():
    """Customers by country: the country's heading, then the key-field group Country over one
    paragraph per customer; both end in the paragraph after their region."""
    m = mt.Marks()
    c_start, c_end = m.new("Customers")
    k_start, k_end = m.new("Country")
    body = (mt.para("Customers by country") +
            mt.para(mt.field(m, "Customers_Country", "Country"), prefix=c_start) +
            mt.para("  ", mt.field(m, "Customers_Name", "Name"), prefix=k_start) +
            mt.para("", prefix=k_end) +
            mt.para("End", prefix=c_end))
    return body, None, None


def row_group():
    """A table row group ending in the first cell of the row after it."""
    m = mt.Marks()
    start, end = m.new("Items")
    widths = [2000, 4000]
    rows = [[mt.cell("Id", widths[0]), mt.cell("Name", widths[1])],
            [mt.cell(mt.field(m, "Items_Id", "Id"), widths[0], prefix=start),
             mt.cell(mt.field(m, "Items_Name", "Name"), widths[1])],
            [mt.cell("Total", widths[0], prefix=end), mt.cell("", widths[1])]]
    return mt.para("List") + mt.table(widths, rows) + mt.para("After"), None, None


def header_fields_beside_a_body_group():
    """Header and footer fields whose positions, counted in their own story, fall across the
    boundaries of the body's group."""
    m = mt.Marks()
    start, end, item = item_list(m)
    body = mt.para("Items") + item + mt.para("After", prefix=end)
    header = mt.para("Shop: ", mt.field(m, "Shop_Name", "Name"), " ",
                     mt.field(m, "Shop_Phone", "Phone"))
    footer = mt.para(mt.field(m, "Shop_Street", "A street of the shop"))
    return body, header, footer


def aborts():
    """The list the silent-abort cases share: a field before the group, the group over one
    paragraph with a field of the data and one the application supplies, a field after it."""
    m = mt.Marks()
    start, end = m.new("Items")
    body = (mt.para("First: ", mt.field(m, "Items_Name_2", "Name")) +
            mt.para(mt.field(m, "Items_Name", "Name"), " (", mt.field(m, "Note", "note"), ")",
                    prefix=start) +
            mt.para("Last: ", mt.field(m, "Items_Name_3", "Name"), prefix=end))
    return body, None, None


def nested_key_aborts():
    """A key-field group nested in a record group, over one paragraph."""
    m = mt.Marks()
    c_start, c_end = m.new("Customers")
    k_start, k_end = m.new("Country")
    body = (mt.para(mt.field(m, "Customers_Country", "Country"), ":", prefix=c_start) +
            mt.para("  ", mt.field(m, "Customers_Name", "Name"), prefix=k_start) +
            mt.para("End", prefix=k_end + c_end))
    return body, None, None


def greeting():
    """Hi [Country|[Customers_Name] from [Customers_Country]]. in one paragraph, after a record
    group over the customers that walks the bookmarks first."""
    m = mt.Marks()
    r_start, r_end = m.new("Customers")
    k_start, k_end = m.new("Country")
    body = (mt.para("All: ", r_start, mt.field(m, "Customers_Name_2", "Name"), " ", r_end) +
            mt.para("Hi ", k_start, mt.field(m, "Customers_Name", "Name"), " from ",
                    mt.field(m, "Customers_Country", "Country"), k_end, "."))
    return body, None, None


def bookmarks_list():
    m = mt.Marks()
    start, end, item = item_list(m)
    return mt.para("Chosen") + item + mt.para("Done", prefix=end), None, None


CASES = {
    "last-paragraph-before-table": last_paragraph_before_table,
    "end-of-cell-next-paragraph": end_of_cell_next_paragraph,
    "end-of-cell-last-paragraph": end_of_cell_last_paragraph,
    "nested-paragraph-groups": nested_paragraph_groups,
    "nested-groups-ending-together": nested_groups_ending_together,
    "key-field-paragraphs": key_field_paragraphs,
    "row-group-end-in-next-row": row_group,
    "header-fields-beside-a-body-group": header_fields_beside_a_body_group,
    "abort-before-print-field": aborts,
    "abort-on-identifier-value": aborts,
    "abort-before-insert-text": aborts,
    "abort-after-print-field": aborts,
    "abort-before-print-group": aborts,
    "abort-before-print-group-nested-key": nested_key_aborts,
    "abort-before-end-of-group": aborts,
    "abort-before-next-group": aborts,
    "abort-before-print-record": aborts,
    "abort-after-print-record": aborts,
    "abort-after-print-group": aborts,
    "guard-group-without-progress": aborts,
    "print-and-close": aborts,
    "bookmarks-over-several-prints": bookmarks_list,
    "bookmarks-first-invalid": bookmarks_list,
    "key-group-per-record": greeting,
}


def main():
    for name, make in CASES.items():
        folder = os.path.join(HERE, name)
        os.makedirs(folder, exist_ok=True)
        body, header, footer = make()
        write_docx(os.path.join(folder, "template.docx"), body, header, footer)
        print(os.path.join(folder, "template.docx"))


if __name__ == "__main__":
    main()
