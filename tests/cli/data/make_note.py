#!/usr/bin/env python3
"""Writes note.docx, the command tests' smallest template: two fields, one with a date mask,
and no groups. Uses the helpers of examples/make_templates.py."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "..", "examples"))
import make_templates as mt  # noqa: E402

marks = mt.Marks()
body = (mt.para("Dear ", mt.field(marks, "Customers_LastName", "LastName"), ", customer since ",
                mt.field(marks, "Customers_Since", "Since@dd.mm.yyyy"), ".") + mt.para())
mt.write_docx(os.path.join(here, "note.docx"), body, None)
