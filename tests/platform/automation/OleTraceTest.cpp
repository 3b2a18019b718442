#include <gtest/gtest.h>

#include "platform/automation/OleTrace.h"
#include "support/RecordingServer.h"

namespace {

using namespace automation;

TEST(OleTraceTest, RendersValuesWithTheirKinds) {
  struct TRow {
    OleVariant Value;
    std::string Text;
  };
  const std::vector<TRow> rows = {
      {OleVariant(), "Empty"},
      {OleVariant::Null(), "Null"},
      {OleVariant(-1), "-1"},
      {OleVariant(true), "True"},
      {OleVariant(false), "False"},
      {OleVariant(2.5), "2.5"},
      {OleVariant(3.0), "3.0"},
      {OleVariant(1e300), "1e+300"},
      {OleVariant("Smith"), "\"Smith\""},
      {OleVariant(""), "\"\""},
      {OleVariant("say \"hi\""), "\"say \"\"hi\"\"\""},
      {OleVariant("a\rb\t"), "\"a\"#13\"b\"#9\"\""},
      {OleVariant("\\STARTOFSEL"), "\"\\STARTOFSEL\""},
      {OleVariant("Zürich €"), "\"Zürich €\""},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(OleFormatValue(row.Value), row.Text);
  }
}

TEST(OleTraceTest, RendersEachKindOfCall) {
  OleVariant index = 1;
  struct TRow {
    std::string Name;
    TDispatchKind Kind;
    TOleArgs Args;
    std::string Text;
  };
  const std::vector<TRow> rows = {
      {"Copy", dkMethod, {}, "Copy"},
      {"Item", dkMethod, {OleRef(index)}, "Item(ByRef 1)"},
      {"Open",
       dkMethod,
       {OleNamed("FileName", "a.docx"), OleNamed("ReadOnly", false)},
       "Open(FileName=\"a.docx\", ReadOnly=False)"},
      {"FileClose", dkMethod, {2}, "FileClose(2)"},
      {"Information", dkPropertyGet, {28}, "Information[28]"},
      {"Name", dkPropertyGet, {}, "Name[]"},
      {"Type", dkPropertyPut, {1}, "Type := 1"},
      {"ActivePrinter", dkPropertyPut, {OleRef(index)}, "ActivePrinter := ByRef 1"},
      {"Item", dkPropertyPut, {"k", OleNamed("X", 2).ByRef()}, "Item[\"k\"] := X=ByRef 2"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(OleFormatCall(row.Name, row.Kind, row.Args), row.Text);
  }
}

TEST(OleTraceTest, TracesEveryCallOfAChainWithItsPathAndResult) {
  veltrane::test::TRecordingServer server;
  server.Script("ActiveDocument.Bookmarks.Count", 3);
  server.Script("ActiveDocument.Bookmarks.Item.Name", "Customer_Name");
  server.Fail("Documents.Open", "WordBasic Err=1078 This file could not be found.");
  host::TStringList lines;
  const OleVariant word =
      OleTraceWrap(server.Start(), "Word.Application.8", OleTraceToList(&lines));
  const OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  EXPECT_EQ(bookmarks.Call("Count").ToInteger(), 3);
  OleVariant index = 1;
  EXPECT_EQ(bookmarks.Call("Item", {OleRef(index)}).Call("Name").ToString(), "Customer_Name");
  EXPECT_THROW(word.Call("Documents").Call("Open", {OleNamed("FileName", "x.doc")}), EOleError);
  word.Call("ActiveWindow").Call("View").Put("Type", 1);
  EXPECT_EQ(lines.GetLines(),
            (std::vector<std::string>{
                "Word.Application.8.ActiveDocument -> Object",
                "Word.Application.8.ActiveDocument.Bookmarks -> Object",
                "Word.Application.8.ActiveDocument.Bookmarks.Count -> 3",
                "Word.Application.8.ActiveDocument.Bookmarks.Item(ByRef 1) -> Object",
                "Word.Application.8.ActiveDocument.Bookmarks.Item(ByRef 1).Name -> "
                "\"Customer_Name\"",
                "Word.Application.8.Documents -> Object",
                "Word.Application.8.Documents.Open(FileName=\"x.doc\") !! EOleException: "
                "WordBasic Err=1078 This file could not be found.",
                "Word.Application.8.ActiveWindow -> Object",
                "Word.Application.8.ActiveWindow.View -> Object",
                "Word.Application.8.ActiveWindow.View.Type := 1 -> Empty",
            }));
}

// Bound names pass through the decorator to the server and trace as their names.
TEST(OleTraceTest, TracesBoundCallsAsCallsByName) {
  veltrane::test::TRecordingServer server;
  server.Script("ActiveDocument.Bookmarks.Exists", true);
  const TOleName document("ActiveDocument");
  const TOleName bookmarks("Bookmarks");
  const TOleName exists("Exists");
  std::vector<std::string> lines[2];
  for (auto& traced : lines) {
    const OleVariant word = OleTraceWrap(server.Start(), "Word.Application.8",
                                         [&traced](const std::string& A) { traced.push_back(A); });
    if (&traced == &lines[0]) {
      EXPECT_TRUE(word.Call("ActiveDocument").Call("Bookmarks").Call("Exists", {"A"}).ToBoolean());
    } else {
      EXPECT_TRUE(word.Call(document).Call(bookmarks).Call(exists, OleArg("A")).ToBoolean());
    }
  }
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(lines[1].back(), "Word.Application.8.ActiveDocument.Bookmarks.Exists(\"A\") -> True");
}

// Writes back a by-reference argument and reports whether an object argument is its own.
class TEcho : public TDispatch {
 public:
  OleVariant Invoke(const std::string& AName, TDispatchKind, TOleArgs& AArgs) override {
    if (AName == "Self") return OleVariant(this);
    if (AName == "IsSelf") return AArgs.at(0).GetValue().GetDispatch() == this;
    AArgs.at(0).SetValue("written");
    return OleVariant();
  }
};

TEST(OleTraceTest, PassesReferencesThroughAndUnwrapsItsOwnObjects) {
  std::vector<std::string> lines;
  const OleVariant echo = OleTraceWrap(OleVariant(std::make_unique<TEcho>()), "Echo",
                                       [&lines](const std::string& A) { lines.push_back(A); });
  OleVariant target = "old";
  echo.Call("Write", {OleRef(target)});
  EXPECT_EQ(target.ToString(), "written");
  const OleVariant self = echo.Call("Self");
  EXPECT_NE(self.GetDispatch(), echo.GetDispatch());  // a traced wrapper
  EXPECT_TRUE(echo.Call("IsSelf", {self}).ToBoolean());
  EXPECT_EQ(lines.front(), "Echo.Write(ByRef \"old\") -> Empty");
  EXPECT_EQ(lines.back(), "Echo.IsSelf(Object) -> True");
  // A value that is no object is not wrapped.
  EXPECT_EQ(OleTraceWrap(OleVariant(4), "x", nullptr).ToInteger(), 4);
}

}  // namespace
