#!/usr/bin/env python3
# Writes the seeds of the merge fuzzer into this directory: word/document.xml of the bundled
# examples and of hand-made templates, each followed by a NUL byte and word/header1.xml when
# the template has a page header (the fuzzer builds the rest of the package around them).
import os
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
examples = os.path.join(here, '..', '..', '..', 'examples')
W = 'http://schemas.openxmlformats.org/wordprocessingml/2006/main'
R = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
SECT = ('<w:sectPr>%s<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1417" w:right="1417" '
        'w:bottom="1134" w:left="1417" w:header="708" w:footer="708" w:gutter="0"/></w:sectPr>')
HEADER_REF = '<w:headerReference w:type="default" r:id="rIdHeader1"/>'


def write(name, document, header=None):
    data = document.encode('utf-8')
    if header is not None:
        data += b'\0' + header.encode('utf-8')
    with open(os.path.join(here, name), 'wb') as f:
        f.write(data)


def from_example(name):
    with zipfile.ZipFile(os.path.join(examples, name)) as z:
        document = z.read('word/document.xml').decode('utf-8')
        header = (z.read('word/header1.xml').decode('utf-8')
                  if 'word/header1.xml' in z.namelist() else None)
    return document, header


class Marks:
    def __init__(self):
        self.next_id = 0

    def new(self, name):
        self.next_id += 1
        return ('<w:bookmarkStart w:id="%d" w:name="%s"/>' % (self.next_id, name),
                '<w:bookmarkEnd w:id="%d"/>' % self.next_id)

    def field(self, name, text):
        start, end = self.new(name)
        return start + run(text) + end


def run(text):
    return '<w:r><w:t xml:space="preserve">%s</w:t></w:r>' % text


def p(*parts):
    return '<w:p>%s</w:p>' % ''.join(x if x.startswith('<') else run(x) for x in parts)


def tc(*parts):
    return '<w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr>%s</w:tc>' % p(*parts)


def table(*rows):
    return ('<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/></w:tblPr><w:tblGrid>'
            '<w:gridCol w:w="2000"/><w:gridCol w:w="2000"/><w:gridCol w:w="2000"/></w:tblGrid>%s'
            '</w:tbl>' % ''.join('<w:tr>%s</w:tr>' % ''.join(r) for r in rows))


def doc(body, header=False):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<w:document xmlns:w="%s" xmlns:r="%s"><w:body>%s%s</w:body></w:document>'
            % (W, R, body, SECT % (HEADER_REF if header else '')))


def hdr(body):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<w:hdr xmlns:w="%s" xmlns:r="%s">%s</w:hdr>' % (W, R, body))


write('letter.xml', *from_example('letter.docx'))
write('customers.xml', *from_example('customers.docx'))
# The letter once more as the archive itself, for the zip side of opening a template.
with open(os.path.join(examples, 'letter.docx'), 'rb') as source:
    with open(os.path.join(here, 'letter.docx'), 'wb') as target:
        target.write(source.read())

# A group over one table row, inside a record group over two paragraphs and the table.
m = Marks()
orders_s, orders_e = m.new('Orders')
lines_s, lines_e = m.new('Lines')
write('row-group.xml', doc(
    p(orders_s, 'Order ', m.field('Orders_OrderId', 'OrderId@00000')) +
    table([tc(run('Product')), tc(run('Qty')), tc(run('Price'))],
          [tc(lines_s, m.field('Lines_Product', 'Product')),
           tc(m.field('Lines_Quantity', 'Quantity')),
           tc(m.field('Lines_Price', 'Price@#,##0.00'), lines_e)]) +
    p('Total ', m.field('Orders_Total', 'Total@#,##0.00'), orders_e)))

# Nested groups in paragraphs: orders, their lines, and a key-field group over the country.
m = Marks()
orders_s, orders_e = m.new('Orders')
lines_s, lines_e = m.new('Lines')
country_s, country_e = m.new('Country')
write('nested.xml', doc(
    p(orders_s, country_s, m.field('Orders_Country', 'Country'), ': ',
      m.field('Orders_LastName', 'LastName')) +
    p(lines_s, m.field('Lines_Product', 'Product'), ' x ', m.field('Lines_Quantity', 'Quantity'),
      ' shipped ', m.field('Lines_Shipped', 'Shipped@dd.mm.yyyy'), ' ',
      m.field('Lines_Note', 'Note'), lines_e) +
    p(m.field('Orders_City', 'City'), country_e, orders_e) + p(run('end'))))

# Every kind of value, with and without masks, and a picture and rich text in a group.
m = Marks()
orders_s, orders_e = m.new('Orders')
write('typed-fields.xml', doc(
    p(orders_s, m.field('Orders_OrderDate', 'OrderDate@d mmmm yyyy'), ' ',
      m.field('Orders_Since', 'Since@dd.mm.yyyy hh:nn:ss'), ' ',
      m.field('Orders_Total', 'Total@#,##0.00;(#,##0.00);zero'), ' ',
      m.field('Orders_Paid', 'Paid'), ' ', m.field('Orders_Weight', 'Weight@0.000E+00'), ' ',
      m.field('Orders_Zip', 'Zip@!>cccccc;0;_')) +
    p(m.field('Orders_Remark', 'Remark')) +
    p(m.field('Orders_Notes', 'Notes')) +
    p(m.field('Orders_Logo', 'Logo'), orders_e) +
    p(m.field('Shop_Phone', 'Phone'), ' ', m.field('Orders_Unknown', 'nothing'))))

# Bookmarks in a page header: a shop field and a field of the main source.
m = Marks()
body_s, body_e = m.new('Orders')
header_m = Marks()
header_m.next_id = 100
write('header-fields.xml',
      doc(p(body_s, 'Dear ', m.field('Orders_FirstName', 'FirstName'), ',', body_e), header=True),
      hdr(p(header_m.field('Shop_Name', 'Name'), ' ', header_m.field('Orders_OrderId', 'Id'))))

# A group in a page header, which the merge fills like a field.
m = Marks()
header_m = Marks()
header_m.next_id = 100
hs, he = header_m.new('Customers')
write('header-group.xml',
      doc(p('Dear ', m.field('Orders_FirstName', 'FirstName')), header=True),
      hdr(p(header_m.field('Shop_Name', 'Name'), ' ', hs,
            header_m.field('Customers_City', 'City'), he)))

# A group and a field over exactly the same text.
m = Marks()
orders_s, orders_e = m.new('Orders')
write('same-range.xml', doc(p('Names: ', orders_s, m.field('Orders_FirstName', 'FirstName'),
                              orders_e, '.')))

# A group whose region starts in one table cell and ends in the next.
m = Marks()
orders_s, orders_e = m.new('Orders')
lines_s, lines_e = m.new('Lines')
write('two-cells.xml', doc(
    p(orders_s, m.field('Orders_OrderId', 'OrderId')) +
    table([tc(run('a'), lines_s, m.field('Lines_Product', 'Product')),
           tc(m.field('Lines_Price', 'Price'), lines_e, run('b')), tc(run('c'))],
          [tc(run('d')), tc(run('e')), tc(run('f'))]) +
    p(run('after'), orders_e)))

# Bookmark ends without starts, starts without ends, a duplicate name and crossed bookmarks.
m = Marks()
orders_s, orders_e = m.new('Orders')
lines_s, lines_e = m.new('Lines')
write('orphans.xml', doc(
    p('<w:bookmarkEnd w:id="77"/>', orders_s, run('x'), '<w:bookmarkEnd w:id="78"/>',
      m.field('Orders_City', 'City')) +
    p(lines_s, run('y'), orders_e, m.field('Lines_Product', 'Product')) +
    p('<w:bookmarkStart w:id="90" w:name="Orders_LastName"/>', run('z'),
      m.field('Orders_LastName', 'again'), lines_e) +
    p('<w:bookmarkStart w:id="91" w:name="Shop_Name"/>', run('open'))))

# Groups over whole paragraphs whose ends are the first children of the paragraphs after them,
# as Word and Writer write them: the orders, each with its lines, one paragraph each.
m = Marks()
orders_s, orders_e = m.new('Orders')
lines_s, lines_e = m.new('Lines')
write('whole-paragraphs.xml', doc(
    p(orders_s, 'Order ', m.field('Orders_OrderId', 'OrderId')) +
    p(lines_s, m.field('Lines_Product', 'Product'), ' x ', m.field('Lines_Quantity', 'Quantity')) +
    p(lines_e, 'Total ', m.field('Orders_Total', 'Total@#,##0.00')) +
    p(orders_e, 'end')))

# A group over the last paragraph of a table cell, which can only end after its last run, and
# two groups that overlap, which the merge refuses.
m = Marks()
lines_s, lines_e = m.new('Lines')
orders_s, orders_e = m.new('Orders')
customers_s, customers_e = m.new('Customers')
write('cell-end-and-overlap.xml', doc(
    table(['<w:tc><w:tcPr><w:tcW w:w="2000" w:type="dxa"/></w:tcPr>' + p('Lines:') +
           p(lines_s, m.field('Lines_Product', 'Product'), lines_e) + '</w:tc>',
           tc(run('x')), tc(run('y'))]) +
    p(orders_s, m.field('Orders_City', 'City'), customers_s) +
    p(m.field('Orders_LastName', 'LastName'), orders_e, m.field('Customers_City', 'City'),
      customers_e)))

# What real documents put around fields: a hyperlink, a content control, a tracked insertion and
# deletion, a simple field, a text box and a section break, in a group, filled with the odd
# values (control characters, every plane, broken UTF-8).
m = Marks()
orders_s, orders_e = m.new('Orders')
text_box = ('<w:r><w:drawing><wp:anchor xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/'
            'wordprocessingDrawing"><wp:docPr id="4" name="Text Box 4"/><a:graphic xmlns:a='
            '"http://schemas.openxmlformats.org/drawingml/2006/main"><a:graphicData><wps:wsp '
            'xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">'
            '<wps:txbx><w:txbxContent>%s</w:txbxContent></wps:txbx></wps:wsp></a:graphicData>'
            '</a:graphic></wp:anchor></w:drawing></w:r>' % p(m.field('Orders_City', 'City')))
write('fidelity.xml', doc(
    p(orders_s, '<w:hyperlink r:id="rIdHeader1">', m.field('Orders_Odd', 'odd'), '</w:hyperlink>',
      '<w:sdt><w:sdtPr><w:id w:val="7"/><w:showingPlcHdr/></w:sdtPr><w:sdtContent>',
      m.field('Orders_Remark', 'remark'), '</w:sdtContent></w:sdt>') +
    p('<w:ins w:id="50" w:author="a">', m.field('Orders_FirstName', 'first'), '</w:ins>',
      m.field('Orders_LastName', 'last'), '<w:del w:id="51" w:author="a"><w:r><w:delText>gone'
      '</w:delText></w:r></w:del>', '<w:fldSimple w:instr=" PAGE ">',
      m.field('Orders_Zip', 'zip'), '</w:fldSimple>', text_box) +
    '<w:p><w:pPr><w:sectPr><w:pgSz w:w="16838" w:h="11906" w:orient="landscape"/></w:sectPr>'
    '</w:pPr></w:p>' + p(orders_e, 'after')))
