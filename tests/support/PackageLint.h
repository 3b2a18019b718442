#pragma once

// The package lint: what Word reports as unreadable content and LibreOffice refuses, checked
// over a saved .docx. Tests run it after every merge they save; the merge fuzzer makes it its
// oracle. It reads the archive with libzip and every XML part with libxml2, a full XML 1.0
// parser of its own, so that it judges the engine's output without the engine's own reader.
//
// The checks, each problem one line:
//   - the archive opens and every entry reads;
//   - every XML part is well-formed and namespace-well-formed XML 1.0, with legal characters
//     only (no raw control characters, no character references to them);
//   - every part has a content type (an Override, or a Default for its extension);
//   - every relationships part belongs to a part, its ids are unique, and every internal target
//     is a part of the package; every relationship id the XML of a part names (r:id, r:embed, ...)
//     is one of that part's relationships;
//   - in the WordprocessingML parts: drawing ids (wp:docPr) unique within each part, as Word
//     numbers them per part; paragraph ids (w14:paraId), content-control ids and revision ids
//     unique in the document; bookmark ids unique within each part and every bookmark start
//     with its end and the reverse, comment ranges likewise; every footnote, endnote and comment
//     reference with a body, and no body with more than one reference;
//   - no wrapper left empty by an edit: a hyperlink, smart tag, tracked change, bidirectional
//     run, custom XML or content control, or a choice of alternate content, with nothing in it.
//
//   for (const std::string& problem : veltrane::test::LintPackage("out.docx")) ADD_FAILURE() <<
//   problem;

#include <string>
#include <vector>

namespace veltrane::test {

// The problems of the package in AFileName, sorted; empty when it passes. A file that is no
// zip archive gives one problem saying so.
std::vector<std::string> LintPackage(const std::string& AFileName);

// The problems of AFileName that ABaseline (the template it was made from) does not have
// already: a template's own flaws, which the engine carries through untouched, are no fault of
// the merge. Problems compare by their text before the parenthesis that gives counts.
std::vector<std::string> LintPackageAgainst(const std::string& AFileName,
                                            const std::string& ABaseline);

// The problems as one text, a line each, for a test's failure message ("" when none).
std::string LintReport(const std::vector<std::string>& AProblems);

}  // namespace veltrane::test
