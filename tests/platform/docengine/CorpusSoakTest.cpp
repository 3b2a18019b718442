// The soak of the corpus: every visible bookmark of every corpus document typed over, deleted,
// and copied and pasted fifty times after itself, as a merge does with fields and groups; each
// result is saved and must pass the package lint against its original, read again, and keep
// its text. One case per document, so that each failing document is named.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/docengine/DocError.h"
#include "platform/docengine/Document.h"
#include "platform/docengine/Session.h"
#include "support/PackageLint.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using docengine::EDocError;
using docengine::TDocSession;
using docengine::TDocView;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> result;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(veltrane::test::TestDataDir() / "corpus", error)) {
    if (entry.path().extension() == ".docx") result.push_back(entry.path());
  }
  std::sort(result.begin(), result.end());
  return result;
}

std::vector<std::string> VisibleNames(const docengine::TDocument& ADocument) {
  std::vector<std::string> names;
  for (int i = 0; i < ADocument.GetBookmarkCount(); ++i) {
    names.push_back(ADocument.GetBookmark(i)->GetName());
  }
  return names;
}

class CorpusSoakTest : public testing::TestWithParam<fs::path> {
 protected:
  // Saves the view, lints it against the original and reads it again; returns the number of
  // visible bookmarks the saved file has.
  int SaveAndLint(TDocView* AView, const std::string& AWhat) {
    const std::string saved = (FScratch / (AWhat + ".docx")).string();
    AView->SaveAs(saved);
    EXPECT_EQ(
        veltrane::test::LintReport(veltrane::test::LintPackageAgainst(saved, GetParam().string())),
        "")
        << AWhat;
    return docengine::TDocument::Open(saved)->GetBookmarkCount();
  }

  veltrane::test::TScratchDir FScratch;
};

std::string CaseName(const testing::TestParamInfo<fs::path>& AInfo) {
  std::string name = AInfo.param.stem().string();
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return name;
}

TEST_P(CorpusSoakTest, TypedOverDeletedAndPastedFiftyTimesEveryBookmarkLeavesASoundPackage) {
  TDocSession session;
  TDocView* probe = nullptr;
  try {
    probe = session.Add(GetParam().string());
  } catch (const EDocError&) {
    GTEST_SKIP() << "the engine refuses the document; the reader's tests cover it";
  }
  const std::vector<std::string> names = VisibleNames(*probe->GetDocument());
  session.Close(probe);

  // Typed over, as fields are filled (refusals, such as a bookmark that holds only a row's end,
  // are the editor's own tests).
  TDocView* typed = session.Add(GetParam().string());
  for (const std::string& name : names) {
    if (typed->GetDocument()->FindBookmark(name) == nullptr) continue;
    typed->SelectBookmark(name);
    try {
      typed->TypeText("Value of " + name + "\tand a second line\rin a paragraph of its own");
    } catch (const EDocError&) {
    }
  }
  SaveAndLint(typed, "typed");

  // Deleted, as empty values and groups without records are.
  TDocView* deleted = session.Add(GetParam().string());
  for (const std::string& name : names) {
    if (deleted->GetDocument()->FindBookmark(name) == nullptr) continue;
    deleted->SelectBookmark(name);
    try {
      deleted->Delete();
    } catch (const EDocError&) {
    }
  }
  SaveAndLint(deleted, "deleted");

  // Copied once and pasted fifty times after itself, as a group's region is; each bookmark in
  // a fresh copy of the document.
  int pasted = 0;
  int copies = 0;
  for (const std::string& name : names) {
    TDocView* view = session.Add(GetParam().string());
    const docengine::TDocBookmark* bookmark = view->GetDocument()->FindBookmark(name);
    if (bookmark == nullptr || bookmark->GetEmpty()) {
      session.Close(view);
      continue;
    }
    try {
      view->SelectBookmark(name);
      view->Copy();
      view->SelectBookmark(name);
      view->SelectBookmark("\\EndOfSel");
      for (int i = 0; i < 50; ++i) view->Paste();
      ++pasted;
    } catch (const EDocError&) {
    }
    SaveAndLint(view, "pasted-" + std::to_string(++copies));
    session.Close(view);
  }
  RecordProperty("pasted", pasted);
}

INSTANTIATE_TEST_SUITE_P(Documents, CorpusSoakTest, testing::ValuesIn(CorpusFiles()), CaseName);

}  // namespace
