#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "DocTestUtil.h"
#include "platform/docengine/DocError.h"
#include "platform/docengine/Fragment.h"
#include "platform/host/Clipbrd.h"

namespace {

using docengine::EDocError;
using docengine::TDocErrorKind;
using docengine::TDocSession;
using docengine::TDocView;
using docengine::test::End;
using docengine::test::MakeDocx;
using docengine::test::Para;
using docengine::test::Start;
using docengine::test::TextRun;

// The kind and message of the error AAction raises.
template <typename TAction>
std::pair<TDocErrorKind, std::string> ErrorOf(TAction AAction) {
  try {
    AAction();
  } catch (const EDocError& e) {
    return {e.GetKind(), e.GetMessage()};
  }
  return {docengine::dekGeneral, "no error"};
}

class SessionTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& AName, const std::string& ABody) {
    const std::string name = (FDir / AName).string();
    docengine::test::WriteFile(name, MakeDocx(ABody));
    return name;
  }

  veltrane::test::TScratchDir FDir;
  TDocSession FSession;
};

TEST_F(SessionTest, NamesNewDocumentsByOneCounterAndFindsViewsByName) {
  const std::string letter = Write("Letter.docx", Para(TextRun("hi")));
  EXPECT_EQ(FSession.GetActive(), nullptr);
  EXPECT_EQ(ErrorOf([&] { FSession.NeedActive(); }).first, docengine::dekNoDocument);
  TDocView* first = FSession.Add(letter);
  TDocView* opened = FSession.Open(letter, false);
  TDocView* second = FSession.Add(letter);
  EXPECT_EQ(first->GetName(), "Document1");
  EXPECT_EQ(first->GetFullName(), "");
  EXPECT_EQ(opened->GetName(), "Letter.docx");
  EXPECT_EQ(opened->GetFullName(), letter);
  EXPECT_EQ(second->GetName(), "Document2");
  EXPECT_EQ(FSession.GetActive(), second);
  EXPECT_EQ(FSession.GetCount(), 3);
  EXPECT_EQ(FSession.GetItem(1), opened);
  EXPECT_EQ(FSession.Find("LETTER.DOCX"), opened);
  EXPECT_EQ(FSession.Find("document3"), nullptr);
  EXPECT_EQ(ErrorOf([&] { FSession.GetItem(3); }).first, docengine::dekOutOfRange);
  // Opening an open file again activates its view.
  FSession.Activate(first);
  EXPECT_EQ(FSession.Open(letter, true), opened);
  EXPECT_EQ(FSession.GetActive(), opened);
  // Closing falls back to the most recently active view; the counter never goes back.
  FSession.Close(opened);
  EXPECT_EQ(FSession.GetActive(), first);
  FSession.Close(first);
  EXPECT_EQ(FSession.GetActive(), second);
  EXPECT_EQ(FSession.Add(letter)->GetName(), "Document3");
  FSession.CloseAll();
  EXPECT_EQ(FSession.GetCount(), 0);
  EXPECT_EQ(FSession.GetActive(), nullptr);
}

TEST_F(SessionTest, ReportsFilesItCannotOpen) {
  const std::string missing = (FDir / "missing.docx").string();
  const std::string broken = (FDir / "broken.docx").string();
  docengine::test::WriteFile(broken, "not a zip archive");
  const struct {
    const char* Case;
    std::string File;
    TDocErrorKind Kind;
    std::string Message;
  } rows[] = {
      {"missing", missing, docengine::dekFileNotFound,
       missing + ": file not found; check the name and the folder"},
      {"not a package", broken, docengine::dekFileFormat, broken + ": "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    for (bool add : {false, true}) {
      const auto [kind, message] = ErrorOf([&] {
        if (add) {
          FSession.Add(row.File);
        } else {
          FSession.Open(row.File, false);
        }
      });
      EXPECT_EQ(kind, row.Kind);
      EXPECT_EQ(message.substr(0, row.Message.size()), row.Message);
    }
  }
  EXPECT_EQ(FSession.GetCount(), 0);
}

TEST_F(SessionTest, SavesAndReopensTextsAndBookmarksAndNeverTouchesTheTemplate) {
  const std::string templ =
      Write("Template.docx", Para(Start(1, "Name") + TextRun("name") + End(1) + TextRun("!")));
  const std::string before = docengine::test::ReadFile(templ);
  TDocView* view = FSession.Add(templ);
  view->SelectBookmark("Name");
  view->TypeText("Alice");
  const std::string saved = (FDir / "Out.docx").string();
  view->SaveAs(saved);
  EXPECT_EQ(view->GetName(), "Out.docx");
  EXPECT_EQ(view->GetFullName(), saved);
  EXPECT_EQ(docengine::test::ReadFile(templ), before);
  FSession.Close(view);
  TDocView* reopened = FSession.Open(saved, false);
  EXPECT_EQ(docengine::DumpDocument(*reopened->GetDocument()), "[Name|Alice]!\n");
  EXPECT_EQ(reopened->GetDocument()->FindBookmark("name")->GetText(), "Alice");
}

TEST_F(SessionTest, AReadOnlyDocumentRefusesToBeSavedOverItsOwnFile) {
  const std::string letter = Write("Letter.docx", Para(TextRun("hi")));
  const std::string before = docengine::test::ReadFile(letter);
  TDocView* view = FSession.Open(letter, true);
  EXPECT_TRUE(view->GetReadOnly());
  view->SelectRange(0, 0);
  view->TypeText("Oh, ");
  const auto [kind, message] = ErrorOf([&] { view->SaveAs(letter); });
  EXPECT_EQ(kind, docengine::dekReadOnly);
  EXPECT_EQ(message, letter + ": the document was opened read-only; save it under another name");
  EXPECT_EQ(docengine::test::ReadFile(letter), before);
  // Another name is fine, and the saved copy is no longer read-only.
  const std::string copy = (FDir / "Copy.docx").string();
  view->SaveAs(copy);
  EXPECT_FALSE(view->GetReadOnly());
  EXPECT_EQ(view->GetName(), "Copy.docx");
  // A folder that does not exist is a write failure.
  EXPECT_EQ(ErrorOf([&] { view->SaveAs((FDir / "no" / "x.docx").string()); }).first,
            docengine::dekWriteFailed);
}

TEST_F(SessionTest, PastesRichTextAsFormattedRuns) {
  const std::string letter = Write("Letter.docx", Para(TextRun("(") + Start(1, "Memo") +
                                                       TextRun("memo") + End(1) + TextRun(")")));
  TDocView* view = FSession.Open(letter, false);
  const struct {
    const char* Case;
    std::string Rtf;
    std::string Expected;
  } rows[] = {
      {"one paragraph", "{\\rtf1\\ansi {\\b bold} plain}", "([Memo|bold plain])\n"},
      {"paragraphs", "{\\rtf1\\ansi one\\par two\\par three}", "([Memo|one\ntwo\nthree])\n"},
      {"unknown groups are skipped", "{\\rtf1{\\*\\unknown hidden}shown}", "([Memo|shown])\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    view->SelectBookmark("Memo");
    host::Clipboard()->SetRichText(row.Rtf);
    view->Paste();
    EXPECT_EQ(docengine::DumpDocument(*view->GetDocument()), row.Expected);
  }
  const std::string saved = (FDir / "Out.docx").string();
  view->SaveAs(saved);
  EXPECT_EQ(docengine::DumpDocument(*docengine::TDocument::Open(saved)), "([Memo|shown])\n");
}

}  // namespace

namespace {

// A repeated copy of the same range hands out the same fragment only while nothing changed:
// an edit of the text, a deleted bookmark or another range each make a fresh copy.
TEST_F(SessionTest, RepeatedCopiesFollowEveryEditOfTheSource) {
  const std::string letter =
      Write("Letter.docx", Para(Start(1, "Group") + TextRun("Dear ") + Start(2, "Name") +
                                TextRun("name") + End(2) + End(1) + TextRun(".")));
  TDocView* view = FSession.Open(letter, false);
  TDocView* target = FSession.Add(letter);
  const auto copyGroup = [&] {
    FSession.Activate(view);
    view->SelectBookmark("Group");
    view->Copy();
    return host::Clipboard()->GetFragment();
  };
  const auto first = copyGroup();
  EXPECT_EQ(copyGroup(), first);  // unchanged: the same fragment again

  view->SelectBookmark("Name");
  view->TypeText("Ann");
  const auto typed = copyGroup();
  EXPECT_NE(typed, first);
  target->SelectBookmark("\\EndOfDoc");
  target->Paste();
  EXPECT_EQ(docengine::DumpDocument(*target->GetDocument()), "Dear name.[Group|Dear [Name|Ann]]\n");

  view->GetDocument()->DeleteBookmark(view->GetDocument()->FindBookmark("Name"));
  EXPECT_NE(copyGroup(), typed);

  view->SelectRange(0, 2);
  view->Copy();
  EXPECT_EQ(
      dynamic_cast<const docengine::TDocFragment&>(*host::Clipboard()->GetFragment()).GetText(),
      "De");
}

}  // namespace

namespace {

// The bookmarks around a selection, by the definition: every bookmark of the story that starts
// at or before the selection and ends at or after it (for a point: after it).
std::vector<docengine::TDocBookmark*> BookmarksAroundByDefinition(docengine::TDocument& ADocument,
                                                                  docengine::TDocStory* AStory,
                                                                  std::int64_t AStart,
                                                                  std::int64_t AEnd, bool APoint) {
  std::vector<docengine::TDocBookmark*> result;
  for (docengine::TDocBookmark* bookmark : ADocument.GetAllBookmarks()) {
    if (bookmark->GetStory() != AStory || bookmark->GetStart() > AStart) continue;
    if (APoint ? AStart < bookmark->GetEnd() : AEnd <= bookmark->GetEnd()) {
      result.push_back(bookmark);
    }
  }
  return result;
}

// Random documents with nested, crossing, empty, duplicate and unpaired bookmarks, edited
// between the checks: the fast search agrees with the definition everywhere.
TEST_F(SessionTest, BookmarksAroundASelectionMatchTheirDefinition) {
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const bool crossing = round % 3 == 0;
    std::vector<std::string> tokens;
    for (int i = 0; i < 40; ++i) tokens.push_back(TextRun(std::string(1 + random() % 3, 'a')));
    // Bookmarks as (start token, end token); nested ones unless this round allows crossing.
    std::vector<std::pair<int, int>> spans;
    for (int i = 0; i < 15; ++i) {
      int from = static_cast<int>(random() % 40);
      int to = from + static_cast<int>(random() % 12);
      if (!crossing) {
        for (const auto& [a, b] : spans) {
          if (from < a && to > a && to < b) to = a;  // would cross: end before the other starts
          if (from > a && from < b && to > b) to = b;
        }
      }
      spans.emplace_back(from, std::min(to, 40));
    }
    std::vector<std::string> before(41);
    std::vector<std::string> after(41);
    for (std::size_t i = 0; i < spans.size(); ++i) {
      const int id = static_cast<int>(i) + 1;
      before[static_cast<std::size_t>(spans[i].first)] += Start(id, "B" + std::to_string(i % 13));
      after[static_cast<std::size_t>(spans[i].second)] += End(id);
    }
    after[5] += End(99);  // an end without a start
    std::string body;
    for (std::size_t i = 0; i <= 40; ++i) {
      body += after[i] + before[i];
      if (i < 40) body += tokens[i];
      if (i % 10 == 9) body = body + "</w:p><w:p>";
    }
    TDocView* view = FSession.Open(
        Write("Random" + std::to_string(round) + ".docx", "<w:p>" + body + "</w:p>"), false);
    docengine::TDocument& document = *view->GetDocument();
    docengine::TDocStory* story = document.GetMainStory();
    for (int step = 0; step < 150; ++step) {
      const std::int64_t length = story->GetLength();
      const std::int64_t start = static_cast<std::int64_t>(random() % (length + 1));
      const std::int64_t end = std::min(length, start + static_cast<std::int64_t>(random() % 6));
      for (const bool point : {false, true}) {
        const std::int64_t until = point ? start : end;
        ASSERT_EQ(document.BookmarksAround(story, start, until, point),
                  BookmarksAroundByDefinition(document, story, start, until, point))
            << "at " << start << ".." << until << (point ? " (point)" : "");
      }
      if (step % 10 == 3 && document.GetBookmarkCount() > 0) {
        document.DeleteBookmark(
            document.GetBookmark(static_cast<int>(random() % document.GetBookmarkCount())));
      } else if (step % 5 == 1 && end < length) {
        view->SelectRange(start, end);
        view->TypeText(step % 2 == 0 ? "xy" : "");
      }
    }
    FSession.Close(view);
  }
}

}  // namespace

namespace {

// A bookmark that leaves its table cell selects the whole rows at the ends that lie in tables;
// one within a cell, or outside tables, selects exactly its text.
TEST_F(SessionTest, BookmarksLeavingACellSelectWholeRows) {
  using docengine::test::Row;
  using docengine::test::Table;
  const std::string body =
      Para(Start(1, "Before") + TextRun("head")) +
      Table(Row({TextRun("a"), Start(2, "Cells") + TextRun("b"), TextRun("c") + End(2)}) +
            Row({Start(3, "Inner") + TextRun("d") + End(3) + End(1), TextRun("e"), TextRun("f")})) +
      Para(TextRun("tail"));
  TDocView* view = FSession.Open(Write("Table.docx", body), false);
  const struct {
    const char* Bookmark;
    const char* Text;
  } rows[] = {
      {"Cells", "a\r\ab\r\ac\r\a\r\a"},  // the second and third cell: the whole first row
      {"Before", "head\ra\r\ab\r\ac\r\a\r\ad\r\ae\r\af\r\a\r\a"},  // into a cell: its row too
      {"Inner", "d"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Bookmark);
    view->SelectBookmark(row.Bookmark);
    EXPECT_EQ(view->GetSelText(), row.Text);
  }
}

}  // namespace

namespace {

// A group whose only content is one field: copying the group takes the field's bookmark along,
// since it is nested inside the group; a bookmark over the same text that encloses the group
// is left out.
TEST_F(SessionTest, CopyingABookmarkTakesANestedBookmarkOverTheSameText) {
  TDocView* view =
      FSession.Open(Write("Same.docx", Para(TextRun("(") + Start(1, "Outer") + Start(2, "Group") +
                                            Start(3, "Field") + TextRun("x") + End(3) + End(2) +
                                            End(1) + TextRun(")"))),
                    false);
  view->SelectBookmark("Group");
  view->Copy();
  view->SelectBookmark("\\EndOfDoc");
  view->Paste();
  docengine::TDocument& document = *view->GetDocument();
  // The pasted copy holds Group and Field; Outer stays with the original.
  EXPECT_EQ(document.FindBookmark("Outer")->GetStart(), 1);
  EXPECT_EQ(document.FindBookmark("Group")->GetStart(), 3);
  EXPECT_EQ(document.FindBookmark("Field")->GetStart(), 3);
  EXPECT_EQ(document.FindBookmark("Field")->GetText(), "x");
}

}  // namespace
