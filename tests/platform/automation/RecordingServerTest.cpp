#include <gtest/gtest.h>

#include "support/RecordingServer.h"

namespace {

using automation::EOleError;
using automation::OleNamed;
using automation::OleRef;
using automation::OleVariant;
using veltrane::test::TRecordingServer;

using TLines = std::vector<std::string>;

TEST(RecordingServerTest, LogsOneLinePerChainAndEveryCallInTheFullLog) {
  TRecordingServer server;
  const OleVariant word = server.Start();
  word.Call("Selection").Call("TypeText", {OleNamed("Text", "Smith")});
  const OleVariant document = word.Call("ActiveDocument");
  OleVariant index = 2;
  document.Call("Bookmarks").Call("Item", {OleRef(index)}).Call("Select");
  document.Call("Close", {OleNamed("SaveChanges", 0)});
  word.Call("ActiveWindow").Call("View").Put("Type", 3);
  word.Call("Selection").Call("Range").Get("Information", {28});
  EXPECT_EQ(server.GetLog(), (TLines{
                                 "Selection.TypeText(Text=\"Smith\")",
                                 "ActiveDocument.Bookmarks.Item(ByRef 2).Select",
                                 "ActiveDocument.Close(SaveChanges=0)",
                                 "ActiveWindow.View.Type := 3",
                                 "Selection.Range.Information[28]",
                             }));
  EXPECT_EQ(server.GetFullLog().size(), 13u);
  EXPECT_EQ(server.GetFullLog()[0], "Selection");
}

TEST(RecordingServerTest, UnscriptedResultsChainAndReadAsEmpty) {
  TRecordingServer server;
  const OleVariant word = server.Start();
  const OleVariant name = word.Call("ActiveDocument").Call("Name");
  EXPECT_EQ(name.ToString(), "");
  EXPECT_EQ(name.ToInteger(), 0);
  EXPECT_FALSE(name.ToBoolean());
  EXPECT_TRUE(name == 0);
  // Reading the value sends nothing the test would see.
  EXPECT_EQ(server.GetFullLog(), (TLines{"ActiveDocument", "ActiveDocument.Name"}));
}

TEST(RecordingServerTest, ScriptsMatchTheLineBeforeTheBarePathAndRepeatTheLastResult) {
  TRecordingServer server;
  server.Script("ActiveDocument.Bookmarks.Item.Name", "Other");
  server.Script("activedocument.bookmarks.item(ByRef 1).name", "First");
  server.Script("CountBookmarks", std::vector<OleVariant>{2, 1});
  const OleVariant word = server.Start();
  const OleVariant bookmarks = word.Call("ActiveDocument").Call("Bookmarks");
  OleVariant one = 1;
  OleVariant two = 2;
  EXPECT_EQ(bookmarks.Call("Item", {OleRef(one)}).Call("Name").ToString(), "First");
  EXPECT_EQ(bookmarks.Call("Item", {OleRef(two)}).Call("Name").ToString(), "Other");
  EXPECT_EQ(word.Call("CountBookmarks").ToInteger(), 2);
  EXPECT_EQ(word.Call("CountBookmarks").ToInteger(), 1);
  EXPECT_EQ(word.Call("CountBookmarks").ToInteger(), 1);
  // A later script of the same key replaces the earlier one.
  server.Script("CountBookmarks", 7);
  EXPECT_EQ(word.Call("CountBookmarks").ToInteger(), 7);
}

TEST(RecordingServerTest, FailsTheNthCallOrAPathAfterLoggingIt) {
  TRecordingServer server;
  server.FailCall(2, "second call fails");
  server.Fail("FileOpen", "WordBasic Err=1078 This file could not be found.");
  const OleVariant word = server.Start();
  word.Call("Windowname");
  try {
    word.Call("Windowname");
    FAIL() << "no error";
  } catch (const automation::EOleException& E) {
    EXPECT_EQ(E.GetMessage(), "second call fails");
    EXPECT_EQ(E.GetSource(), "RecordingServer");
  }
  word.Call("Windowname");
  try {
    word.Call("fileopen", {OleNamed("Name", "x.doc"), OleNamed("ReadOnly", false)});
    FAIL() << "no error";
  } catch (const EOleError& E) {
    EXPECT_EQ(E.GetMessage(), "WordBasic Err=1078 This file could not be found.");
  }
  EXPECT_EQ(server.GetLog(), (TLines{"Windowname", "Windowname", "Windowname",
                                     "fileopen(Name=\"x.doc\", ReadOnly=False)"}));
  server.ClearLog();
  word.Call("AppShow");
  EXPECT_EQ(server.GetLog(), (TLines{"AppShow"}));
}

TEST(RecordingServerTest, ObjectsKeptAcrossClearLogStillChain) {
  TRecordingServer server;
  const OleVariant word = server.Start();
  const OleVariant selection = word.Call("Selection");
  server.ClearLog();
  word.Call("EditClear");
  selection.Call("Copy");
  EXPECT_EQ(server.GetLog(), (TLines{"EditClear", "Selection.Copy"}));
}

TEST(RecordingServerTest, RegisteredInstancesFollowTheServerLifetime) {
  TRecordingServer server;
  server.Register("Word.Basic");
  OleVariant hidden = automation::CreateOleObject("Word.Basic");
  hidden.Clear();
  EXPECT_EQ(server.GetRunningCount(), 0);

  automation::CreateOleObject("Word.Basic").Call("AppShow");
  EXPECT_EQ(server.GetRunningCount(), 1);
  const OleVariant attached = automation::GetActiveOleObject("Word.Basic");
  attached.Call("Application").Call("Quit");
  EXPECT_EQ(server.GetRunningCount(), 0);
  EXPECT_THROW(attached.Call("Windowname"), EOleError);

  automation::CreateOleObject("Word.Basic").Put("Visible", true);
  EXPECT_EQ(server.GetStartCount(), 3);
  EXPECT_EQ(server.GetLog(), (TLines{"AppShow", "Application.Quit", "Visible := True"}));
}

TEST(RecordingServerTest, EndsItsInstancesAndRegistrationWhenItGoes) {
  OleVariant kept;
  {
    TRecordingServer server;
    server.Register("Word.Application.8");
    automation::CreateOleObject("Word.Application.8").Put("Visible", true);
    kept = automation::GetActiveOleObject("Word.Application.8").Call("Documents");
  }
  EXPECT_EQ(automation::RunningOleServerCount("Word.Application.8"), 0);
  EXPECT_THROW(automation::CreateOleObject("Word.Application.8"), EOleError);
  EXPECT_THROW(kept.Call("Count"), EOleError);
}

}  // namespace
