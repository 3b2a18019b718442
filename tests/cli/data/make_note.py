#!/usr/bin/env python3
"""Writes the command tests' small templates: note.docx (two fields, one with a date mask, no
groups), paragraphs.docx (a group over two paragraphs, ending inside the second) and
cell_group.docx (a group inside one table cell). Uses the
helpers of examples/make_templates.py."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "..", "examples"))
import make_templates as mt  # noqa: E402

marks = mt.Marks()
body = (mt.para("Dear ", mt.field(marks, "Customers_LastName", "LastName"), ", customer since ",
                mt.field(marks, "Customers_Since", "Since@dd.mm.yyyy"), ".") + mt.para())
mt.write_docx(os.path.join(here, "note.docx"), body, None)

marks = mt.Marks()
start, end = marks.new("Customers")
body = (mt.para("Head") +
        mt.para("Name: ", mt.field(marks, "Customers_LastName", "LastName"), prefix=start) +
        mt.para("City: ", mt.field(marks, "Customers_City", "City"), suffix=end) +
        mt.para("Tail"))
mt.write_docx(os.path.join(here, "paragraphs.docx"), body, None)

# cell_group.docx: a group inside the second cell of a table row, with a field of its data
# source in the first cell; neither a row group nor one a Writer user makes.
marks = mt.Marks()
start, end = marks.new("Customers")
row = [mt.cell(mt.field(marks, "Customers_LastName", "LastName"), 3000),
       mt.cell(mt.field(marks, "Customers_City", "City"), 3000, prefix=start, suffix=end)]
body = mt.para("List") + mt.table([3000, 3000], [row]) + mt.para()
mt.write_docx(os.path.join(here, "cell_group.docx"), body, None)
