#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/DocPrint.h"
#include "platform/docengine/Fragment.h"
#include "platform/host/Clipbrd.h"
#include "platform/host/Graphics.h"
#include "support/PackageLint.h"

namespace {

using docengine::EDocError;
using docengine::TDocView;
using docengine::test::End;
using docengine::test::Para;
using docengine::test::Row;
using docengine::test::Start;
using docengine::test::Table;
using docengine::test::TextRun;
using TEditing = docengine::test::TEditSession;

// One pass of the merge over a group: fill the field, then, when another record follows, paste
// a fresh copy of the template's group behind the filled one.
void FillAndRepeat(TDocView* AOutput, TDocView* ATemplate, const std::vector<std::string>& AValues,
                   const std::string& AGroup, const std::string& AField) {
  for (std::size_t i = 0; i < AValues.size(); ++i) {
    AOutput->SelectBookmark(AField);
    AOutput->GetDocument()->DeleteBookmark(AOutput->GetDocument()->FindBookmark(AField));
    AOutput->TypeText(AValues[i]);
    if (i + 1 == AValues.size()) break;
    AOutput->SelectBookmark(AGroup);
    AOutput->SelectBookmark("\\EndOfSel");
    ATemplate->SelectBookmark(AGroup);
    ATemplate->Copy();
    AOutput->Paste();
  }
}

TEST(FragmentTest, NextCopyLandsInsideEnclosingGroupsAndBeforeTheFollowingBookmark) {
  TEditing editing;
  const std::string body =
      Para(TextRun("To: ") + Start(1, "Outer") + Start(2, "Group") + TextRun("Dear ") +
           Start(3, "Name") + TextRun("name") + End(3) + TextRun("; ") + End(2) + End(1) +
           Start(4, "After") + TextRun("end") + End(4));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  FillAndRepeat(output, templ, {"Ann", "Bob", "Cy"}, "Group", "Name");
  EXPECT_DUMP(editing, output, "To: [Outer|Dear Ann; Dear Bob; [Group|Dear Cy; ]][After|end]\n");
  // The template is untouched.
  EXPECT_EQ(editing.Dump(templ), "To: [Outer|[Group|Dear [Name|name]; ]][After|end]\n");
}

TEST(FragmentTest, PastedBookmarksReplaceTheirNamesakesWhoseTextStays) {
  TEditing editing;
  TDocView* view = editing.OpenBody(Para(Start(1, "F") + TextRun("one") + End(1) + TextRun(" | ")));
  view->SelectBookmark("F");
  view->Copy();
  view->SelectBookmark("\\EndOfDoc");
  view->Paste();
  EXPECT_DUMP(editing, view, "one | [F|one]\n");
  EXPECT_EQ(view->GetDocument()->GetBookmarkCount(), 1);
}

// The document finds a bookmark by its name in any letter case, and lists them in order, while
// a merge pastes copies whose bookmarks replace their namesakes and deletes the fields it fills.
// The names share a long prefix, as a merge template's do; two of the group's names differ only
// in case, and the later one is the bookmark.
TEST(FragmentTest, BookmarksStayFoundAndListedAsCopiesReplaceAndFieldsGo) {
  TEditing editing;
  const std::string body =
      Para(Start(1, "Customers") + Start(2, "Customers_Name") + TextRun("n") + End(2) +
           TextRun(" ") + Start(3, "Customers_NameX") + TextRun("x") + End(3) + TextRun(" ") +
           Start(4, "Customers_dup") + TextRun("d") + End(4) + Start(5, "CUSTOMERS_DUP") +
           TextRun("D") + End(5) + TextRun(";") + End(1)) +
      Para(Start(6, "Customers_Zip") + TextRun("tail") + End(6));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  docengine::TDocument* document = output->GetDocument();
  const auto expectIndexed = [document](const std::vector<std::string>& AExpected) {
    std::vector<std::string> names;
    for (docengine::TDocBookmark* bookmark : document->GetAllBookmarks()) {
      names.push_back(bookmark->GetName());
      std::string lower = bookmark->GetName();
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_EQ(document->FindBookmark(lower), bookmark) << lower;
      EXPECT_EQ(document->FindBookmarkBySerial(bookmark->GetSerial()), bookmark) << lower;
    }
    EXPECT_EQ(names, AExpected);
  };
  expectIndexed(
      {"Customers", "CUSTOMERS_DUP", "Customers_Name", "Customers_NameX", "Customers_Zip"});
  for (int record = 1; record <= 40; ++record) {
    SCOPED_TRACE(record);
    for (const char* field : {"customers_name", "CUSTOMERS_NAMEX", "Customers_Dup"}) {
      output->SelectBookmark(field);
      document->DeleteBookmark(document->FindBookmark(field));
      EXPECT_EQ(document->FindBookmark(field), nullptr);
      output->TypeText(std::to_string(record));
    }
    expectIndexed({"Customers", "Customers_Zip"});
    output->SelectBookmark("Customers");
    output->SelectBookmark("\\EndOfSel");
    templ->SelectBookmark("Customers");
    templ->Copy();
    output->Paste();
    expectIndexed(
        {"Customers", "CUSTOMERS_DUP", "Customers_Name", "Customers_NameX", "Customers_Zip"});
  }
  EXPECT_EQ(document->GetBookmarkCount(), 5);
  std::string expected;
  // "Customers_dup" is no bookmark: its namesake replaced it, and the field typed over is that.
  for (int record = 1; record <= 40; ++record) {
    const std::string value = std::to_string(record);
    expected += value + " " + value + " d" + value + ";";
  }
  expected +=
      "[Customers|[Customers_Name|n] [Customers_NameX|x] d[CUSTOMERS_DUP|D];]\n"
      "[Customers_Zip|tail]\n";
  EXPECT_DUMP(editing, output, expected);
}

// Every id a copy brings along that the word processor wants unique (paragraphs, content
// controls, drawings, and each kind of tracked change) is fresh in every pasted copy.
TEST(FragmentTest, EveryPastedCopyGetsFreshIdsOfEveryKind) {
  const std::vector<std::string> revisions = {
      "cellDel",     "cellIns",         "cellMerge",  "del",       "ins",          "moveFrom",
      "moveTo",      "numberingChange", "pPrChange",  "rPrChange", "sectPrChange", "tblGridChange",
      "tblPrChange", "tblPrExChange",   "tcPrChange", "trPrChange"};
  const std::set<std::string> wrappers = {"del", "ins", "moveFrom", "moveTo"};
  std::string content = "<w:p w14:paraId=\"00000100\">" + Start(1, "G") +
                        "<w:sdt><w:sdtPr><w:id w:val=\"77\"/></w:sdtPr><w:sdtContent>" +
                        TextRun("c") + "</w:sdtContent></w:sdt></w:p>";
  int id = 10;
  for (const std::string& name : revisions) {
    const std::string mark = "w:" + name + " w:id=\"" + std::to_string(++id) + "\" w:author=\"A\"";
    content += "<w:p w14:paraId=\"" + std::to_string(200 + id) + "\">";
    content += wrappers.count(name) != 0
                   ? "<" + mark + ">" + TextRun(name) + "</w:" + name + ">"
                   : "<w:r><w:rPr><" + mark + "/></w:rPr><w:t>" + name + "</w:t></w:r>";
    content += "</w:p>";
  }
  content += Para(TextRun("end") + End(1));
  TEditing editing;
  TDocView* view = editing.OpenBody(content);
  for (int copy = 0; copy < 2; ++copy) {
    view->SelectBookmark("G");
    view->Copy();
    view->SelectBookmark("\\EndOfDoc");
    view->Paste();
  }
  std::map<std::string, std::vector<std::string>> ids;  // by kind
  const std::function<void(pugi::xml_node)> collect = [&](pugi::xml_node ANode) {
    const std::string name = ANode.name();
    if (name == "w14:paraId") return;
    for (pugi::xml_attribute attribute : ANode.attributes()) {
      if (std::string(attribute.name()) == "w14:paraId")
        ids["paragraph"].push_back(attribute.value());
    }
    if (name == "w:id" && std::string(ANode.parent().name()) == "w:sdtPr") {
      ids["control"].push_back(ANode.attribute("w:val").value());
    }
    if (std::find(revisions.begin(), revisions.end(), name.substr(2)) != revisions.end() &&
        name.rfind("w:", 0) == 0) {
      ids["revision"].push_back(ANode.attribute("w:id").value());
      ids[name].push_back("");
    }
    for (pugi::xml_node child : ANode.children()) {
      if (child.type() == pugi::node_element) collect(child);
    }
  };
  const std::string saved = (editing.Dir() / "ids.docx").string();
  view->SaveAs(saved);
  EXPECT_EQ(veltrane::test::LintReport(veltrane::test::LintPackage(saved)), "");
  pugi::xml_document xml;
  ASSERT_TRUE(xml.load_string(
      docengine::TDocument::Open(saved)->GetPackage()->GetMainPart()->GetData().c_str()));
  collect(xml.document_element());
  // The first paragraph of each copy joins the paragraph it is pasted into, which keeps its id.
  const std::map<std::string, std::size_t> counts = {
      {"paragraph", 1 + 3 * revisions.size()}, {"control", 3}, {"revision", 3 * revisions.size()}};
  for (const auto& [kind, count] : counts) {
    SCOPED_TRACE(kind);
    std::vector<std::string> found = ids[kind];
    EXPECT_EQ(found.size(), count);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(std::adjacent_find(found.begin(), found.end()), found.end());
  }
  for (const std::string& name : revisions) EXPECT_EQ(ids["w:" + name].size(), 3u) << name;
}

TEST(FragmentTest, CopiesParagraphsAndBlocksIntoTheMiddleOfAParagraph) {
  const struct {
    const char* Case;
    std::int64_t Start;
    std::int64_t End;
    std::string Expected;
  } rows[] = {
      {"inline", 0, 2, "ab\n[M|cd]\nef\nXabY\n"},
      {"open end with a bookmark", 1, 5, "ab\ncd\nef\nXb\n[M|cd]Y\n"},
      {"whole paragraphs with a bookmark", 3, 9, "ab\ncd\nef\nX[M|cd]\nef\nY\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    TEditing fresh;
    TDocView* target =
        fresh.OpenBody(Para(TextRun("ab")) + Para(Start(1, "M") + TextRun("cd") + End(1)) +
                       Para(TextRun("ef")) + Para(TextRun("XY")));
    target->SelectRange(row.Start, row.End);
    target->Copy();
    target->SelectRange(10, 10);
    target->Paste();
    EXPECT_DUMP(fresh, target, row.Expected);
  }
}

TEST(FragmentTest, ARowPastedAThousandTimesGivesAThousandRowsInOrder) {
  TEditing editing;
  const std::string body =
      Para(TextRun("head")) +
      Table("<w:tr>" +
            docengine::test::Cell(Start(1, "Line") + Start(2, "No") + TextRun("n") + End(2)) +
            docengine::test::Cell(TextRun("x")) + End(1) + "</w:tr>") +
      Para(Start(3, "Tail") + TextRun("tail") + End(3));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  std::vector<std::string> values;
  for (int i = 1; i <= 1000; ++i) values.push_back(std::to_string(i));
  FillAndRepeat(output, templ, values, "Line", "No");
  output->SelectBookmark("Line");
  EXPECT_EQ(output->SelInfo(15), 1000);
  EXPECT_EQ(output->SelInfo(13), 1000);
  std::string expected = "head\n";
  for (int i = 1; i < 1000; ++i) expected += std::to_string(i) + "^cx^c^r\n";
  expected += "[Line|1000^cx^c^r\n][Tail|tail]\n";
  EXPECT_DUMP(editing, output, expected);

  // The merge deletes the copy a group leaves over: whole rows go, no empty row stays.
  output->SelectBookmark("Line");
  EXPECT_EQ(output->SelInfo(16), 1);
  EXPECT_EQ(output->SelInfo(17), output->SelInfo(18));
  output->Delete();
  output->SelectRange(5, 5);
  EXPECT_EQ(output->SelInfo(15), 999);
  const std::string dump = editing.Dump(output);
  // The group's bookmark was selected, so it stays, empty, where its rows were.
  const std::string tail = "998^cx^c^r\n999^cx^c^r\n[Line|][Tail|tail]\n";
  ASSERT_GT(dump.size(), tail.size());
  EXPECT_EQ(dump.substr(dump.size() - tail.size()), tail);
  EXPECT_EQ(editing.Reloaded(output), dump);
}

TEST(FragmentTest, RowsPastedAfterTheLastRowJoinTheTable) {
  TEditing editing;
  TDocView* view = editing.OpenBody(Table(Row({Start(1, "R") + TextRun("a"), TextRun("b")}) +
                                          Row({TextRun("c"), TextRun("d") + End(1)})) +
                                    Para(TextRun("z")));
  view->SelectRange(0, 5);
  view->Copy();
  view->SelectRange(10, 10);  // after the table, before "z"
  view->Paste();
  EXPECT_DUMP(editing, view, "[R|a^cb^c^r\nc^cd]^c^r\na^cb^c^r\nz\n");
  view->SelectRange(0, 0);
  EXPECT_EQ(view->SelInfo(15), 3);
}

TEST(FragmentTest, PicturesAndLinksTravelToAnotherDocument) {
  TEditing editing;
  const std::string image = std::string("\x89PNG\r\n\x1a\n", 8) + "pixels";
  const std::string relationships =
      "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/image\" Target=\"media/image1.png\"/>"
      "<Relationship Id=\"rId6\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/hyperlink\" Target=\"https://example.org/\" TargetMode=\"External\"/>";
  const std::string picture =
      "<w:r><w:drawing><wp:inline><a:graphic "
      "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:graphicData><a:blip "
      "r:embed=\"rId5\"/></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
  TDocView* source =
      editing.OpenBody(Para(Start(1, "Pic") + picture + "<w:hyperlink r:id=\"rId6\">" +
                            TextRun("link") + "</w:hyperlink>" + End(1)),
                       relationships, {{"word/media/image1.png", image}});
  TDocView* target = editing.OpenBody(Para(TextRun("T")),
                                      "<Relationship Id=\"rId5\" Type=\"http://schemas."
                                      "openxmlformats.org/officeDocument/2006/relationships/"
                                      "image\" Target=\"media/image1.png\"/>",
                                      {{"word/media/image1.png", "other"}});
  source->SelectBookmark("Pic");
  source->Copy();
  editing.Session().Close(source);  // the fragment does not need its document
  target->SelectRange(1, 1);
  target->Paste();
  target->Paste();
  EXPECT_DUMP(editing, target, "T^glink[Pic|^glink]\n");
  docengine::TDocPackage* package = target->GetDocument()->GetPackage();
  const auto links = package->GetRelationships("word/document.xml");
  std::string embedded;
  for (const auto& found :
       target->GetDocument()->GetMainStory()->GetSegment(0)->GetRoot().select_nodes(".//a:blip")) {
    embedded = found.node().attribute("r:embed").value();
    EXPECT_NE(embedded, "rId5");
  }
  bool found = false;
  for (const auto& link : links) {
    if (link.Id != embedded) continue;
    found = true;
    ASSERT_NE(package->FindPart(link.TargetPart), nullptr);
    EXPECT_EQ(package->FindPart(link.TargetPart)->GetData(), image);
  }
  EXPECT_TRUE(found);
  // The same fragment pasted twice brings the picture once.
  int media = 0;
  for (int i = 0; i < package->GetPartCount(); ++i) {
    if (package->GetPart(i)->GetName().rfind("word/media/", 0) == 0) ++media;
  }
  EXPECT_EQ(media, 2);
}

// A PNG of AWidth x AHeight pixels: signature and header are all the engine reads.
std::string Png(std::uint32_t AWidth, std::uint32_t AHeight) {
  std::string data("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (std::uint32_t value : {AWidth, AHeight}) {
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((value >> shift) & 0xFF);
  }
  data += std::string("\x08\x02\0\0\0", 5) + std::string(4, '\0') + "IDATIEND";
  return data;
}

TEST(FragmentTest, PastesPicturesAtTheirSizeScaledToTheTextWidth) {
  const struct {
    const char* Case;
    std::uint32_t Width;
    std::uint32_t Height;
    std::int64_t Cx;
    std::int64_t Cy;
  } rows[] = {
      {"natural size at 96 dpi", 100, 50, 100 * 9525, 50 * 9525},
      // 6.5 inches of text (8.5 less two margins of one inch) for 12 inches of pixels
      {"scaled down to the text width", 1152, 576, 5943600, 2971800},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    TEditing editing;
    TDocView* view =
        editing.OpenBody(Para(Start(1, "Photo") + TextRun("photo") + End(1)) +
                         "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"1440\" "
                         "w:right=\"1440\"/></w:sectPr>");
    host::TPicture picture;
    picture.LoadFromBytes(Png(row.Width, row.Height));
    host::Clipboard()->Assign(&picture);
    view->SelectBookmark("Photo");
    view->Paste();
    EXPECT_DUMP(editing, view, "[Photo|^g]\n");
    pugi::xml_node body = view->GetDocument()->GetMainStory()->GetSegment(0)->GetRoot();
    const pugi::xml_node extent = body.select_node(".//wp:extent").node();
    EXPECT_EQ(extent.attribute("cx").as_llong(), row.Cx);
    EXPECT_EQ(extent.attribute("cy").as_llong(), row.Cy);
    const std::string id = body.select_node(".//a:blip").node().attribute("r:embed").value();
    bool stored = false;
    for (const auto& link :
         view->GetDocument()->GetPackage()->GetRelationships("word/document.xml")) {
      if (link.Id == id) {
        stored = view->GetDocument()->GetPackage()->FindPart(link.TargetPart)->GetData() ==
                 picture.GetBytes();
      }
    }
    EXPECT_TRUE(stored);
  }
}

TEST(FragmentTest, PastesPlainTextAndRefusesAnEmptyClipboard) {
  TEditing editing;
  TDocView* view = editing.OpenBody(Para(Start(1, "F") + TextRun("old") + End(1)));
  host::Clipboard()->Clear();
  view->SelectBookmark("F");
  try {
    view->Paste();
    ADD_FAILURE() << "pasted an empty clipboard";
  } catch (const EDocError& e) {
    EXPECT_EQ(e.GetKind(), docengine::dekClipboard);
  }
  host::Clipboard()->SetAsText("new\rline");
  view->Paste();
  EXPECT_DUMP(editing, view, "[F|new\nline]\n");
  view->SelectRange(2, 2);
  EXPECT_THROW(view->Copy(), EDocError);
}

}  // namespace

namespace {

// A group over two paragraphs: its start and its end arrive in different steps of the paste,
// and the copy must still carry the group's name for the next pass.
TEST(FragmentTest, AGroupOverSeveralParagraphsRepeatsWithItsBookmark) {
  TEditing editing;
  const std::string body =
      Para(TextRun("Head")) +
      Para(Start(1, "G") + TextRun("Name: ") + Start(2, "N") + TextRun("n") + End(2)) +
      Para(TextRun("end") + End(1)) + Para(TextRun("Tail"));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  FillAndRepeat(output, templ, {"Ann", "Bob", "Cy"}, "G", "N");
  EXPECT_DUMP(editing, output, "Head\nName: Ann\nendName: Bob\nend[G|Name: Cy\nend]\nTail\n");
  EXPECT_NE(output->GetDocument()->FindBookmark("G"), nullptr);
  EXPECT_EQ(output->GetDocument()->FindBookmark("G")->GetText(), "Name: Cy\rend");
}

// A group over whole paragraphs or rows ends where the next one starts; Word and Writer write its
// end marker as the first child of that paragraph (or of the first cell of what follows), or
// between the blocks; at the end of a cell, after the last run. Each copy brings exactly the
// paragraphs or rows of the region: no empty paragraph or row for the marker's element, and no
// paragraph run into the one before it.
TEST(FragmentTest, AGroupOverWholeParagraphsOrRowsAddsNoParagraphAndNoRowPerCopy) {
  const std::string item = Start(1, "G") + TextRun("Item ") + Start(2, "N") + TextRun("n") + End(2);
  const struct {
    const char* Case;
    std::string Body;
    std::string Expected;
    std::string AfterDelete;  // once the leftover copy is deleted, as the merge ends a group
  } rows[] = {
      {"the end in the next paragraph", Para(item) + Para(End(1) + TextRun("After")),
       "Before\nItem Ann\nItem Bob\n[G|Item Cy\n]After\n",
       "Before\nItem Ann\nItem Bob\n[G|]After\n"},
      {"the end between the paragraphs", Para(item) + End(1) + Para(TextRun("After")),
       "Before\nItem Ann\nItem Bob\n[G|Item Cy\n]After\n",
       "Before\nItem Ann\nItem Bob\n[G|]After\n"},
      {"two paragraphs, the end in the next one",
       Para(item) + Para(TextRun("more")) + Para(End(1) + TextRun("After")),
       "Before\nItem Ann\nmore\nItem Bob\nmore\n[G|Item Cy\nmore\n]After\n",
       "Before\nItem Ann\nmore\nItem Bob\nmore\n[G|]After\n"},
      {"the last paragraph before a table, the end in its first cell",
       Para(item) + Table(Row({End(1) + TextRun("cell"), TextRun("x")})) + Para(""),
       "Before\nItem Ann\nItem Bob\n[G|Item Cy\n]cell^cx^c^r\n\n",
       "Before\nItem Ann\nItem Bob\n[G|]cell^cx^c^r\n\n"},
      {"the last paragraph of a cell, the end after its last run",
       Table("<w:tr><w:tc>" + Para(TextRun("Names:")) + Para(item + End(1)) + "</w:tc>" +
             docengine::test::Cell(TextRun("x")) + "</w:tr>") +
           Para(""),
       "Before\nNames:\nItem Ann\nItem Bob[G|\nItem Cy]^cx^c^r\n\n",
       "Before\nNames:\nItem Ann\nItem Bob[G|]^cx^c^r\n\n"},
      {"a row, the end in the first cell of the next row",
       Table(Row({item, TextRun("x")}) + Row({End(1) + TextRun("total"), TextRun("y")})) + Para(""),
       "Before\nItem Ann^cx^c^r\nItem Bob^cx^c^r\n[G|Item Cy^cx^c^r\n]total^cy^c^r\n\n",
       "Before\nItem Ann^cx^c^r\nItem Bob^cx^c^r\n[G|]total^cy^c^r\n\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    TEditing editing;
    const std::string body = Para(TextRun("Before")) + row.Body;
    TDocView* output = editing.OpenBody(body);
    TDocView* templ = editing.OpenBody(body);
    FillAndRepeat(output, templ, {"Ann", "Bob", "Cy"}, "G", "N");
    EXPECT_DUMP(editing, output, row.Expected);
    output->SelectBookmark("G");
    output->Delete();
    EXPECT_DUMP(editing, output, row.AfterDelete);
  }
}

// A group whose bookmark runs from the first cell of a row into its last cell is a row group:
// selecting it takes the whole row, so copies join the table as rows and the leftover copy
// leaves no row behind.
TEST(FragmentTest, AGroupFromTheFirstToTheLastCellRepeatsAsRows) {
  TEditing editing;
  const std::string body = Table(Row({TextRun("h1"), TextRun("h2")}) +
                                 Row({Start(1, "Line") + Start(2, "No") + TextRun("n") + End(2),
                                      TextRun("x") + End(1)})) +
                           Para(TextRun("tail"));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  FillAndRepeat(output, templ, {"1", "2", "3"}, "Line", "No");
  output->SelectBookmark("Line");
  EXPECT_EQ(output->GetSelText(), "3\r\ax\r\a\r\a");
  EXPECT_EQ(output->SelInfo(15), 4);
  output->SelectBookmark("Line");
  output->Delete();
  // The rows went, and the group's bookmark with them: it lay inside the rows.
  EXPECT_DUMP(editing, output, "h1^ch2^c^r\n1^cx^c^r\n2^cx^c^r\ntail\n");
}

}  // namespace

namespace {

// A real PNG of 2 x 2 red pixels, so that a reader that decodes it finds nothing wrong.
std::string RedPng() {
  auto chunk = [](const std::string& AType, const std::string& AData) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
      out += static_cast<char>((AData.size() >> shift) & 0xFF);
    }
    const std::string body = AType + AData;
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    out += body;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((crc >> shift) & 0xFF);
    return out;
  };
  const std::string header("\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0", 13);
  const std::string pixels("\0\xff\0\0\xff\0\0\0\xff\0\0\xff\0\0", 14);
  std::string packed(compressBound(pixels.size()), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(pixels.data()), pixels.size());
  packed.resize(size);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) +
         chunk("IEND", "");
}

// What the merge pastes for a picture field and a formatted memo field, saved and rendered by
// LibreOffice: the document must open there, and keep its text when read back.
TEST(FragmentTest, PastedPicturesAndRichTextSurviveASaveAndOpenInLibreOffice) {
  TEditing editing;
  TDocView* view = editing.OpenBody(Para(Start(1, "Photo") + TextRun("photo") + End(1)) +
                                    Para(Start(2, "Notes") + TextRun("notes") + End(2)));
  host::TPicture picture;
  picture.LoadFromBytes(RedPng());
  host::Clipboard()->Assign(&picture);
  view->SelectBookmark("Photo");
  view->Paste();
  host::Clipboard()->SetRichText("{\\rtf1\\ansi {\\b Bold} and \\i italic\\i0\\par second line}");
  view->SelectBookmark("Notes");
  view->Paste();
  const std::string saved = (editing.Dir() / "pasted.docx").string();
  view->SaveAs(saved);
  EXPECT_EQ(docengine::DumpDocument(*docengine::TDocument::Open(saved)),
            "[Photo|^g]\n[Notes|Bold and italic\nsecond line]\n");
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  }
  const std::string pdf = (editing.Dir() / "pasted.pdf").string();
  docengine::ConvertToPdf(saved, pdf);
  EXPECT_EQ(docengine::test::ReadFile(pdf).rfind("%PDF-", 0), 0u);
}

// The parts of a package with notes, comments and lists, as Word writes them.
std::map<std::string, std::string> NotesParts() {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  const std::string ns = std::string(" ") + docengine::test::WordNamespaces;
  return {
      {"word/footnotes.xml",
       declaration + "<w:footnotes" + ns +
           "><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p>"
           "</w:footnote><w:footnote w:id=\"1\"><w:p><w:r><w:footnoteRef/></w:r>" +
           Start(1, "G_Note") + TextRun("note") + End(1) + "</w:p></w:footnote></w:footnotes>"},
      {"word/comments.xml", declaration + "<w:comments" + ns +
                                "><w:comment w:id=\"4\" w:author=\"A\"><w:p>" + TextRun("remark") +
                                "</w:p></w:comment></w:comments>"},
      {"word/numbering.xml",
       declaration + "<w:numbering" + ns +
           "><w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/>"
           "<w:numFmt w:val=\"decimal\"/><w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum>"
           "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>"
           "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"0\"/></w:num></w:numbering>"},
  };
}

const char* const NotesRelationships =
    "<Relationship Id=\"rIdF\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/footnotes\" Target=\"footnotes.xml\"/>"
    "<Relationship Id=\"rIdC\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/comments\" Target=\"comments.xml\"/>"
    "<Relationship Id=\"rIdN\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/numbering\" Target=\"numbering.xml\"/>";

std::string Numbered(int AList, const std::string& AContent) {
  return "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"" + std::to_string(AList) +
         "\"/></w:numPr></w:pPr>" + AContent + "</w:p>";
}

// A group holding a note, a comment with its range and two lists, one begun before the group:
// each copy gets a note and a comment of its own (the note's bookmark with it), its own ranges,
// a list that starts again, and the other list still counting on.
TEST(FragmentTest, CopiesGetNotesCommentsAndListsOfTheirOwn) {
  TEditing editing;
  const std::string body =
      Numbered(2, TextRun("Earlier item")) +
      Numbered(1,
               Start(9, "G") + TextRun("Item ") + Start(2, "G_Name") + TextRun("n") + End(2) +
                   "<w:r><w:footnoteReference w:id=\"1\"/></w:r><w:commentRangeStart w:id=\"4\"/>" +
                   TextRun("said") +
                   "<w:commentRangeEnd w:id=\"4\"/>"
                   "<w:r><w:commentReference w:id=\"4\"/></w:r>") +
      Numbered(2, TextRun("Continued")) + Para(End(9) + TextRun("After"));
  TDocView* output = editing.OpenBody(body, NotesRelationships, NotesParts());
  TDocView* templ = editing.OpenBody(body, NotesRelationships, NotesParts());
  FillAndRepeat(output, templ, {"Ann", "Bob", "Cy"}, "G", "G_Name");
  const std::string saved = (editing.Dir() / "notes.docx").string();
  output->SaveAs(saved);
  EXPECT_EQ(veltrane::test::LintReport(veltrane::test::LintPackage(saved)), "");

  auto reopened = docengine::TDocument::Open(saved);
  docengine::TDocPackage* package = reopened->GetPackage();
  const std::string footnotes = package->FindPart("word/footnotes.xml")->GetData();
  const std::string comments = package->FindPart("word/comments.xml")->GetData();
  const std::string numbering = package->FindPart("word/numbering.xml")->GetData();
  const std::string document = package->GetMainPart()->GetData();
  const auto count = [](const std::string& AText, const std::string& AWhat) {
    int result = 0;
    for (std::size_t at = AText.find(AWhat); at != std::string::npos;
         at = AText.find(AWhat, at + 1)) {
      ++result;
    }
    return result;
  };
  EXPECT_EQ(count(footnotes, "<w:footnote w:id="), 3);
  EXPECT_EQ(count(comments, "<w:comment w:id="), 3);
  EXPECT_EQ(count(document, "<w:commentRangeStart"), 3);
  // The list of the group starts again in the two copies; the one begun before keeps counting.
  EXPECT_EQ(count(numbering, "<w:startOverride w:val=\"1\"/>"), 2);
  EXPECT_EQ(count(document, "<w:numId w:val=\"2\"/>"), 4);
  // The note's bookmark lives in the last copy's note, and the flow puts it after its
  // reference there: inside the group's last copy.
  const docengine::TDocBookmark* note = reopened->FindBookmark("G_Note");
  const docengine::TDocBookmark* group = reopened->FindBookmark("G");
  ASSERT_NE(note, nullptr);
  ASSERT_NE(group, nullptr);
  EXPECT_GT(reopened->FlowStart(note), reopened->FlowStart(group));
  EXPECT_LT(reopened->FlowEnd(note), reopened->FlowEnd(group));
}

// A part another document's content refers to comes along with its own relationships, once
// however often it is pasted: a control's part and its binary, a picture.
TEST(FragmentTest, PartsFromAnotherDocumentComeWithTheirRelationshipsOnce) {
  TEditing editing;
  const std::string control =
      "<w:r><w:object><w:control r:id=\"rIdX\" w:name=\"Box\"/></w:object></w:r>";
  const std::string activeX =
      "<?xml version=\"1.0\"?><ax:ocx xmlns:ax=\"http://schemas.microsoft."
      "com/office/2006/activeX\" xmlns:r=\"http://schemas.openxmlformats."
      "org/officeDocument/2006/relationships\" r:id=\"rIdB\"/>";
  const std::string activeXRels =
      "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
      "2006/relationships\"><Relationship Id=\"rIdB\" Type=\"http://schemas.microsoft.com/office/"
      "2006/relationships/activeXControlBinary\" Target=\"activeX1.bin\"/></Relationships>";
  TDocView* source = editing.OpenBody(
      Para(Start(1, "G") + TextRun("box: ") + control + End(1)),
      "<Relationship Id=\"rIdX\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/control\" Target=\"activeX/activeX1.xml\"/>",
      {{"word/activeX/activeX1.xml", activeX},
       {"word/activeX/_rels/activeX1.xml.rels", activeXRels},
       {"word/activeX/activeX1.bin", "binary"}});
  TDocView* target = editing.OpenBody(Para(Start(5, "Here") + TextRun("x") + End(5)));
  const int parts = target->GetDocument()->GetPackage()->GetPartCount();
  for (int i = 0; i < 3; ++i) {
    source->SelectBookmark("G");
    source->Copy();
    target->SelectBookmark("Here");
    target->SelectBookmark("\\EndOfSel");
    target->Paste();
  }
  const std::string saved = (editing.Dir() / "controls.docx").string();
  target->SaveAs(saved);
  EXPECT_EQ(veltrane::test::LintReport(veltrane::test::LintPackage(saved)), "");
  // The control's part, its relationships and its binary: three parts, whatever the pastes.
  EXPECT_EQ(docengine::TDocument::Open(saved)->GetPackage()->GetPartCount(), parts + 3);
}

// A group over a section break repeats the section in each copy; the copy the merge deletes at
// the group's end takes its section break along.
TEST(FragmentTest, ASectionBreakInAGroupRepeatsAndGoesWithTheLeftoverCopy) {
  TEditing editing;
  const std::string sectionBreak =
      "<w:p><w:pPr><w:sectPr><w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/>"
      "</w:sectPr></w:pPr></w:p>";
  const std::string body = Para(Start(1, "G") + Start(2, "G_Name") + TextRun("n") + End(2)) +
                           sectionBreak + Para(End(1) + TextRun("After"));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  FillAndRepeat(output, templ, {"Ann", "Bob", "Cy"}, "G", "G_Name");
  // The merge's end of a group: one more copy, then deleted.
  output->SelectBookmark("G");
  output->SelectBookmark("\\EndOfSel");
  templ->SelectBookmark("G");
  templ->Copy();
  const std::int64_t start = output->GetSelStart();
  output->Paste();
  output->SelectRange(start, output->GetSelStart());
  output->Delete();
  EXPECT_DUMP(editing, output, "Ann\n^b\nBob\n^b\nCy\n^b\n[G|]After\n");
}

// A text box in a group's region: each pasted copy's box is a story segment with its bookmarks,
// which the merge fills; deleting a copy takes its box's segment along. A stray marker in the
// box is copied with it and gets an id of its own each time.
TEST(FragmentTest, TextBoxesOfPastedCopiesAreIndexedAndGoWithTheirCopy) {
  TEditing editing;
  const std::string box =
      "<w:r><w:drawing><wp:anchor><wp:docPr id=\"3\" name=\"Box\"/><wps:txbx>"
      "<w:txbxContent>" +
      Para(Start(3, "G_Box") + TextRun("box") + End(3) + Start(7, "Stray")) +
      "</w:txbxContent></wps:txbx></wp:anchor></w:drawing></w:r>";
  const std::string body = Para(Start(1, "G") + Start(2, "G_Name") + TextRun("n") + End(2) + box) +
                           Para(End(1) + TextRun("After"));
  TDocView* output = editing.OpenBody(body);
  TDocView* templ = editing.OpenBody(body);
  for (const char* name : {"Ann", "Bob", "Cy"}) {
    for (const auto& [field, value] : {std::pair<std::string, std::string>{"G_Name", name},
                                       {"G_Box", std::string("in ") + name}}) {
      output->SelectBookmark(field);
      output->GetDocument()->DeleteBookmark(output->GetDocument()->FindBookmark(field));
      output->TypeText(value);
    }
    output->SelectBookmark("G");
    output->SelectBookmark("\\EndOfSel");
    templ->SelectBookmark("G");
    templ->Copy();
    const std::int64_t start = output->GetSelStart();
    output->Paste();
    if (std::string(name) == "Cy") {
      output->SelectRange(start, output->GetSelStart());
      output->Delete();
    }
  }
  const docengine::TDocStory* frames = output->GetDocument()->FindStory(docengine::dstTextFrame);
  ASSERT_NE(frames, nullptr);
  EXPECT_EQ(frames->GetSegmentCount(), 3);
  EXPECT_EQ(frames->GetText(0, frames->GetLength()), "in Ann\rin Bob\rin Cy\r");
  const std::string saved = (editing.Dir() / "boxes.docx").string();
  output->SaveAs(saved);
  EXPECT_EQ(
      veltrane::test::LintReport(veltrane::test::LintPackageAgainst(saved, templ->GetFullName())),
      "");
}

}  // namespace
