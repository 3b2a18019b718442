#pragma once

// The word processor as an automation server. TWordEngineServer is what both servers share: a
// session of open documents, the chosen printer, the visibility, printing and showing, and the
// translation of engine failures into the servers' errors. TWordApplication answers the Word 97
// object model under "Word.Application.8":
//
//   Application                    the application object itself
//   Documents                      Count, Item(Index).Activate, Open(FileName, ReadOnly),
//                                  Add(Template)
//   ActiveDocument                 Name, FullName, ReadOnly, Activate, Close(SaveChanges),
//                                  SaveAs(FileName), PrintOut(Background), Bookmarks
//   .Bookmarks                     Count, Exists(Name), Item(Index or Name)
//   .Bookmarks.Item(x)             Name, Start, End, Empty, Select, Delete, Range.Information(28)
//   Selection                      Text, TypeText(Text), Delete, Copy, Paste, Start, End,
//                                  Information(Type)
//   Options                        CheckSpellingAsYouType, CheckGrammarAsYouType,
//                                  ReplaceSelection
//   ActiveWindow.View.Type         1 normal, 2 outline, 3 page layout, ... (stored)
//   ActivePrinter                  "Name on Port"; written as a queue name or "name on port"
//   Visible, Quit, Name, Version
//
// Arguments may come by position or by name, as Word's type library declares them. Every
// object the server hands out holds a reference to the application, so the server runs while a
// client holds any of them, and looks its document and bookmark up anew at each call, so an
// object whose document was closed or whose bookmark was deleted fails with Word's error
// instead of touching freed memory.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/OleServer.h"
#include "platform/docengine/DocPrint.h"
#include "platform/docengine/Session.h"
#include "platform/docengine/WordErrors.h"

namespace docengine {

// The connector of a printer string in English: "Laser on ipp://host/q".
inline constexpr const char* WordPrinterConnector = " on ";

// The part both servers share. It owns the session and with it every open document; they go
// when the server ends (Quit, or the last client reference of a server never made visible).
class TWordEngineServer : public automation::TOleServer {
 public:
  // AConnectors are the words a printer string may put between the queue and the port.
  TWordEngineServer(TWordServerKind AKind, std::vector<std::string> AConnectors);
  ~TWordEngineServer() override;

  TWordServerKind GetKind() const { return FKind; }
  // Raises this server's error ACode with ADetail (see WordErrors.h).
  [[noreturn]] void Error(TWordErrorCode ACode, const std::string& ADetail = "") const;

  // The open documents. Raises the disconnected error once the server has ended.
  TDocSession* GetSession() const;
  // The active document; raises wecNoDocument when none is open.
  TDocView* NeedActive() const;
  // The view if it is still open in this server, nullptr otherwise (a closed view's pointer
  // is never dereferenced).
  TDocView* FindView(const TDocView* AView) const;
  // Closes the view, saving it first when ASave is true. A document that was never saved has
  // no file to save to and raises wecCommandFailed naming it.
  void CloseView(TDocView* AView, bool ASave);

  // The printer documents are printed on: "PDF" until one is chosen.
  const TEnginePrinter& GetPrinter() const { return FPrinter; }
  // "Name on Port" of that printer.
  std::string GetPrinterText() const;
  // Chooses the printer by a queue name or "<queue><connector><port>"; raises wecPrinter
  // listing the installed printers when it is unknown.
  void SetPrinterText(const std::string& AText);
  // Prints the view's document on the chosen printer: it is saved to a private temporary
  // folder, handed to the printing service and the copy removed. Returns what the service did
  // ("PDF written to /x/Letter.pdf"); a failure raises wecPrinter with the service's message.
  std::string PrintView(TDocView* AView);
  // The description of the last print job, "" before the first.
  const std::string& GetLastPrint() const { return FLastPrint; }

  bool GetVisible() const { return FVisible; }
  // Showing puts the server under user control (it then runs without clients until it quits)
  // and, when a desktop is present, opens a copy of the active document with the desktop's
  // handler. The copies stay in a private temporary folder, since the viewer reads them after
  // this call has returned. Hiding only stores the state.
  void SetVisible(bool AValue);

  // Word's application options; they are stored and affect nothing but ReplaceSelection,
  // which the session applies to typing.
  bool GetCheckSpelling() const { return FCheckSpelling; }
  void SetCheckSpelling(bool AValue) { FCheckSpelling = AValue; }
  bool GetCheckGrammar() const { return FCheckGrammar; }
  void SetCheckGrammar(bool AValue) { FCheckGrammar = AValue; }
  // The view type of a document's window, 1 (normal) until set.
  int GetViewType(const TDocView* AView) const;
  void SetViewType(const TDocView* AView, int AValue);

 protected:
  // Engine failures (EDocError) leave as the server's error of their kind.
  automation::OleVariant InvokeMember(const automation::TAutoMember* AMember,
                                      const std::string& AName, automation::TDispatchKind AKind,
                                      automation::TOleArgs& AArgs) override;
  // Closes every document without saving and frees the session.
  void DoTerminate() override;

 private:
  using inherited = automation::TOleServer;

  TWordServerKind FKind;
  std::vector<std::string> FConnectors;
  std::unique_ptr<TDocSession> FSession;
  TEnginePrinter FPrinter;
  std::string FLastPrint;
  std::string FShowFolder;  // made on first show
  std::map<const TDocView*, int> FViewTypes;
  bool FVisible = false;
  bool FCheckSpelling = true;
  bool FCheckGrammar = true;
};

// The application object of "Word.Application.8".
class TWordApplication : public TWordEngineServer {
 public:
  explicit TWordApplication(std::vector<std::string> AConnectors = {WordPrinterConnector});

 protected:
  const automation::TAutoMemberTable& GetMemberTable() const override;

 private:
  using inherited = TWordEngineServer;

  automation::OleVariant Application(automation::TAutoCall& ACall);
  automation::OleVariant Documents(automation::TAutoCall& ACall);
  automation::OleVariant ActiveDocument(automation::TAutoCall& ACall);
  automation::OleVariant Selection(automation::TAutoCall& ACall);
  automation::OleVariant Options(automation::TAutoCall& ACall);
  automation::OleVariant ActiveWindow(automation::TAutoCall& ACall);
  automation::OleVariant ReadActivePrinter(automation::TAutoCall& ACall);
  void WriteActivePrinter(automation::TAutoCall& ACall);
  automation::OleVariant ReadVisible(automation::TAutoCall& ACall);
  void WriteVisible(automation::TAutoCall& ACall);
  automation::OleVariant DoQuit(automation::TAutoCall& ACall);
  automation::OleVariant Name(automation::TAutoCall& ACall);
  automation::OleVariant Version(automation::TAutoCall& ACall);
};

// Registers "Word.Application.8": each CreateOleObject starts a new TWordApplication that
// splits printer strings at any of AConnectors.
void RegisterWordApplicationServer(const std::vector<std::string>& AConnectors = {
                                       WordPrinterConnector});

// A private folder under the system's temporary folder (mkdtemp), removed with everything in
// it when the object goes. Raises EDocError when it cannot be made.
class TWordTempFolder {
 public:
  TWordTempFolder();
  ~TWordTempFolder();
  TWordTempFolder(const TWordTempFolder&) = delete;
  TWordTempFolder& operator=(const TWordTempFolder&) = delete;

  const std::string& GetPath() const { return FPath; }

 private:
  std::string FPath;
};

// A file name for a copy of the view's document: its name, with ".docx" added unless it
// already ends so ("Document1" -> "Document1.docx").
std::string WordCopyFileName(const TDocView* AView);

}  // namespace docengine
