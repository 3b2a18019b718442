// Bookmark layouts, comments at bookmarks and bookmarks carried over their rows: the facts a
// template check reads and the markup it writes, checked on documents built from XML snippets
// and read back after saving.

#include <gtest/gtest.h>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/DocMarkup.h"
#include "platform/docengine/Document.h"

namespace {

using namespace docengine::test;
using docengine::TDocument;
using veltrane::test::TScratchDir;

std::unique_ptr<TDocument> OpenBody(const std::string& ABody,
                                    const std::string& ARelationships = "",
                                    const std::map<std::string, std::string>& AParts = {}) {
  return TDocument::OpenMemory(MakeDocx(ABody, ARelationships, AParts), "t.docx");
}

TEST(DocMarkupTest, LayoutTellsParagraphsAndCellsApart) {
  const std::string body =
      Para(Start(1, "Inline") + TextRun("Item") + End(1) + TextRun(" rest")) +
      Para(TextRun("x ") + Start(2, "Mid") + TextRun("y") + End(2)) +
      Para(Start(3, "Whole") + TextRun("a")) + Para(TextRun("b") + End(3)) +
      Para(Start(4, "Broken") + TextRun("c") + "<w:r><w:br/></w:r>" + End(4)) +
      Table(Row({Start(5, "First") + TextRun("1") + End(5),
                 Start(6, "Second") + TextRun("2") + End(6)}) +
            Row({TextRun("p") + Start(7, "Part") + TextRun("q") + End(7), TextRun("r")}));
  const auto document = OpenBody(body);
  const struct {
    const char* Name;
    bool StartsParagraph, HoldsMark, EndsWithBreak, AtCellEnd, AtParagraphEnd;
    int Cell;
    bool OneCell, WholeCell;
  } rows[] = {
      {"Inline", true, false, false, false, false, -1, false, false},
      {"Mid", false, false, false, false, true, -1, false, false},
      {"Whole", true, true, false, false, true, -1, false, false},
      {"Broken", true, false, true, false, true, -1, false, false},
      {"First", true, false, false, true, false, 0, true, true},
      {"Second", true, false, false, true, false, 1, true, true},
      {"Part", false, false, false, true, false, 0, true, false},
  };
  std::uintptr_t firstRow = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    docengine::TBookmarkLayout layout;
    ASSERT_TRUE(docengine::GetBookmarkLayout(*document, row.Name, layout));
    EXPECT_EQ(layout.StartsParagraph, row.StartsParagraph);
    EXPECT_EQ(layout.HoldsParagraphMark, row.HoldsMark);
    EXPECT_EQ(layout.EndsWithBreak, row.EndsWithBreak);
    EXPECT_EQ(layout.EndsAtCellEnd, row.AtCellEnd);
    EXPECT_EQ(layout.EndsAtParagraphEnd, row.AtParagraphEnd);
    EXPECT_EQ(layout.Cell, row.Cell);
    EXPECT_EQ(layout.InOneCell, row.OneCell);
    EXPECT_EQ(layout.WholeCell, row.WholeCell);
    EXPECT_EQ(layout.RowKey != 0, row.Cell >= 0);
    if (std::string(row.Name) == "First") firstRow = layout.RowKey;
  }
  docengine::TBookmarkLayout second;
  docengine::TBookmarkLayout part;
  docengine::GetBookmarkLayout(*document, "second", second);
  docengine::GetBookmarkLayout(*document, "Part", part);
  EXPECT_EQ(second.RowKey, firstRow);  // names match in any letter case
  EXPECT_NE(part.RowKey, firstRow);
  docengine::TBookmarkLayout none;
  EXPECT_FALSE(docengine::GetBookmarkLayout(*document, "Missing", none));

  // A bookmark that starts before a paragraph's mark, as some Writer templates' groups do.
  const auto writer = OpenBody(Para(TextRun("Head") + Start(1, "G")) + Para(TextRun("x") + End(1)));
  docengine::TBookmarkLayout group;
  ASSERT_TRUE(docengine::GetBookmarkLayout(*writer, "G", group));
  EXPECT_TRUE(group.StartsWithMark);
  EXPECT_FALSE(group.StartsParagraph);
  EXPECT_FALSE(none.StartsWithMark);
}

TEST(DocMarkupTest, CommentsAnchorAtBookmarksAndContinueTheIdsInUse) {
  TScratchDir scratch;
  const std::string comments =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:comments " + std::string(WordNamespaces) +
      "><w:comment w:id=\"4\" w:author=\"Ann\"><w:p><w:r><w:t>old</w:t></w:r></w:p></w:comment>"
      "</w:comments>";
  const std::string body =
      Para("<w:commentRangeStart w:id=\"4\"/>" + TextRun("Dear ") +
           "<w:commentRangeEnd w:id=\"4\"/><w:r><w:commentReference w:id=\"4\"/></w:r>" +
           Start(1, "Orders_Name") + TextRun("Name") + End(1)) +
      Table(Row({Start(2, "Lines") + TextRun("1"), TextRun("2")}) + End(2));
  const std::string rel =
      "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/comments\" Target=\"comments.xml\"/>";
  auto document = OpenBody(body, rel, {{"word/comments.xml", comments}});
  EXPECT_EQ(docengine::AddBookmarkComments(*document,
                                           {{"orders_name", "Unknown field\nsecond line"},
                                            {"Lines", "a row group"},
                                            {"Missing", "left out"}},
                                           "veltrane check", "VC"),
            2);
  const std::string file = (scratch / "out.docx").string();
  document->SaveAs(file);

  const auto saved = TDocument::Open(file);
  const std::string main = saved->GetPackage()->GetMainPart()->GetData();
  EXPECT_NE(main.find("<w:commentRangeStart w:id=\"5\"/><w:bookmarkStart"), std::string::npos)
      << main;
  EXPECT_NE(main.find("<w:commentRangeEnd w:id=\"5\"/><w:r><w:commentReference w:id=\"5\"/>"),
            std::string::npos)
      << main;
  // The row group's end stands between rows: its reference goes into the row's last paragraph.
  EXPECT_NE(main.find("<w:commentRangeEnd w:id=\"6\"/>"), std::string::npos);
  EXPECT_NE(main.find("<w:commentReference w:id=\"6\"/>"), std::string::npos);
  const std::string part = saved->GetPackage()->FindPart("word/comments.xml")->GetData();
  EXPECT_NE(part.find("w:id=\"4\" w:author=\"Ann\""), std::string::npos);
  EXPECT_NE(part.find("w:id=\"5\" w:author=\"veltrane check\" w:initials=\"VC\"><w:p><w:r><w:t "
                      "xml:space=\"preserve\">Unknown field</w:t></w:r></w:p><w:p>"),
            std::string::npos)
      << part;
  // The bookmarks and the text are as they were, with a reference mark (^a) after each range.
  EXPECT_EQ(DumpDocument(*saved), "Dear ^a[Orders_Name|Name]^a\n[Lines|1^c2^a^c^r\n]");
}

TEST(DocMarkupTest, ACommentsPartIsMadeWhenTheDocumentHasNone) {
  TScratchDir scratch;
  auto document = OpenBody(Para(Start(1, "A_B") + TextRun("x") + End(1)));
  EXPECT_EQ(docengine::AddBookmarkComments(*document, {{"A_B", "note"}}, "me", "M"), 1);
  const std::string file = (scratch / "out.docx").string();
  document->SaveAs(file);
  const auto saved = TDocument::Open(file);
  docengine::TDocPackage* package = saved->GetPackage();
  ASSERT_NE(package->FindPart("word/comments.xml"), nullptr);
  EXPECT_EQ(package->FindPart("word/comments.xml")->GetContentType(),
            "application/vnd.openxmlformats-officedocument.wordprocessingml.comments+xml");
  bool related = false;
  for (const auto& relationship : package->GetRelationships("word/document.xml")) {
    related = related || (docengine::RelationshipIs(relationship, "comments") &&
                          relationship.TargetPart == "word/comments.xml");
  }
  EXPECT_TRUE(related);
}

TEST(DocMarkupTest, ABookmarkCarriedOverItsRowHoldsTheWholeRow) {
  TScratchDir scratch;
  auto document = OpenBody(
      Table(Row({Start(1, "Lines") + Start(2, "Lines_Pos") + TextRun("Pos") + End(1) + End(2),
                 Start(3, "Lines_Name") + TextRun("Name") + End(3)}) +
            Row({TextRun("Total"), TextRun("")})));
  docengine::ExtendBookmarkOverRow(*document, "Lines");
  const std::string file = (scratch / "out.docx").string();
  document->SaveAs(file);
  const auto saved = TDocument::Open(file);
  const docengine::TDocBookmark* lines = saved->FindBookmark("Lines");
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(lines->GetStart(), 0);
  EXPECT_EQ(lines->GetText(), "Pos\r\aName\r\a\r\a");  // two cells and the row mark
  EXPECT_EQ(saved->FindBookmark("Lines_Pos")->GetText(), "Pos");

  EXPECT_THROW(docengine::ExtendBookmarkOverRow(*saved, "Nowhere"), docengine::EDocError);
  auto plain = OpenBody(Para(Start(1, "P") + TextRun("x") + End(1)));
  EXPECT_THROW(docengine::ExtendBookmarkOverRow(*plain, "P"), docengine::EDocError);
}

}  // namespace
