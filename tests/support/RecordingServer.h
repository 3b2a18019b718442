#pragma once

// TRecordingServer: an automation server for tests that accepts any member, writes each call
// as one line and answers from a script. Back-end tests register it under the ProgID their
// printer asks for and compare the log with the expected call sequence.
//
//   TRecordingServer word;
//   word.Register("Word.Application.8");
//   word.Script("ActiveDocument.Bookmarks.Count", 3);
//   word.Script("ActiveDocument.Bookmarks.Item(ByRef 1).Name", "Customer_Name");
//   ... run the printer ...
//   EXPECT_EQ(word.GetLog(), (std::vector<std::string>{
//       "ActiveDocument.Bookmarks.Count",
//       "ActiveDocument.Bookmarks.Item(ByRef 1).Name",
//       "Selection.TypeText(Text=\"Smith\")",
//       "ActiveWindow.View.Type := 1"}));
//
// Lines. A line is the path of members from the server's root object to the call, in the
// rendering of the automation layer's traces (platform/automation/OleTrace.h) without a root
// name and without the result:
//   method                 Selection.Copy         Documents.Open(FileName="a.docx", ReadOnly=False)
//   property read          Range.Information[28]  (a read without arguments shows as Name[])
//   property write         ActiveWindow.View.Type := 1
// Arguments appear in the order given, positional ones as their value and named ones as
// Name=value, each preceded by "ByRef " when passed by reference. Values: integers plain (-1),
// Booleans True or False (so a Boolean and the integer -1 differ), strings in double quotes
// with a quote doubled and control characters as "a"#13"b", doubles with a '.', Empty, Null,
// Object. Each object in a path shows the call that returned it, arguments included:
// ActiveDocument.Bookmarks.Item(ByRef 1).Name.
//
// GetLog holds the calls whose result was not called on again, so a chain such as
// ActiveDocument.Bookmarks.Count makes one line (its intermediate calls ActiveDocument and
// ActiveDocument.Bookmarks are left out); GetFullLog holds every call, one line each, in order.
//
// Results. An unscripted call returns a new recording object, so any chain goes on; that
// object converts to a value as Empty (so as text "", as integer 0, as Boolean false). A
// property write returns Empty. A script key matches a call when it equals the call's line,
// or its bare path (the member names joined by '.', no arguments: "ActiveDocument.Bookmarks.
// Item.Name"), without regard to ASCII case; a line key wins over a bare-path key. A script
// with several results answers successive calls with them and repeats the last.
//
// Failures. A failing call is logged first, then raises automation::EOleException with the
// given text (source "RecordingServer"). FailCall counts every call from 1, as GetFullLog
// lists them.
//
// Server behaviour. A method "Quit" (on any object) ends the server instance after it is
// logged; "Visible := True" and the method "AppShow" put it under user control, so it keeps
// running when its last client reference goes (platform/automation/OleServer.h).

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/OleServer.h"

namespace veltrane::test {

struct TRecorderState;

class TRecordingServer {
 public:
  TRecordingServer();
  // Unregisters the ProgIDs registered here and quits the instances still running.
  ~TRecordingServer();
  TRecordingServer(const TRecordingServer&) = delete;
  TRecordingServer& operator=(const TRecordingServer&) = delete;

  // Registers a factory under AProgID: each CreateOleObject starts a new instance that writes
  // to this server's log and answers from its script.
  void Register(const std::string& AProgID);
  // Starts an instance directly (it is in no running-object table and has no ProgID).
  automation::OleVariant Start();

  void Script(const std::string& AKey, automation::OleVariant AResult);
  void Script(const std::string& AKey, std::vector<automation::OleVariant> AResults);
  // Every call matching AKey fails with AText.
  void Fail(const std::string& AKey, const std::string& AText);
  // Call number ANumber (from 1, over all calls) fails with AText.
  void FailCall(int ANumber, const std::string& AText);

  std::vector<std::string> GetLog() const;
  std::vector<std::string> GetFullLog() const;
  // Forgets the calls logged so far (scripts and failures stay); call numbers start again at 1.
  void ClearLog();
  // The number of instances started (through CreateOleObject or Start).
  int GetStartCount() const;
  // The number of instances still running.
  int GetRunningCount() const;

 private:
  std::shared_ptr<TRecorderState> FState;
  std::vector<std::string> FProgIDs;
};

}  // namespace veltrane::test
