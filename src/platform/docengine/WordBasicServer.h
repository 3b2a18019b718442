#pragma once

// The word processor as the WordBasic object "Word.Basic": one object whose members are the
// WordBasic commands, each acting on the active document and its selection.
//
//   Windowname / WindowName$        the active document's name ("Letter.docx", "Document1")
//   FileOpen(Name, ReadOnly)        open and activate; a missing file is error 1078
//   FileNew(Template)               a new "DocumentN" copied from the template, activated
//   Activate(Window)                activate the document of that name
//   FileClose(Save)                 close the active document; 1 saves it first
//   FileSaveAs(Name)                save under the name; the document takes it
//   FilePrint(Background)           print the active document on the chosen printer
//   FilePrintSetup(Printer, DoNotSetAsSysDefault)   choose the printer ("Laser on ipp://...")
//   ViewDraft, ViewPage, ViewNormal                 stored view flags
//   StartOfDocument, EndOfDocument                  a point at the start or end of the text
//   EditCopy, EditPaste, Insert(Text), EditClear, TableDeleteRow
//   CountBookmarks, BookmarkName(n), ExistingBookmark(Name) (-1 or 0), EditGoto(Destination),
//   EditBookmark(Name, Delete)
//   GetSelStartPos, GetSelEndPos, Selection / Selection$, SelInfo(n)
//   AppShow, AppHide, ToolsOptionsEdit(ReplaceSelection),
//   ToolsOptionsSpelling(AutomaticSpellChecking)
//
// Like a word processor of one language, a server answers the command and argument names of
// one language only. The language is chosen when the server starts (SetWordBasicLanguage, else
// the environment variable VELTRANE_WORDBASIC_LANGUAGE); a name of another language then fails
// with an error naming both languages. When neither chooses, the server follows its client: it
// takes the language of the command names it receives, settled by the first name that only one
// language has, so a client that speaks German gets a German server without saying so twice. The
// vocabulary comes from the registration, so the names are kept in one place in the code base. The
// functions ending in '$' answer under both spellings ("Windowname", "Windowname$"). Failures carry
// "WordBasic Err=<n> <text>" (see WordErrors.h). True is -1 and false 0, in arguments and results.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/docengine/WordServer.h"

namespace docengine {

// The names of one language: commands and named arguments as pairs of the English name and
// the language's name, arguments keyed "Command.Argument" by their English names
// ("FileOpen.ReadOnly" -> "Schreibgeschützt"), and the word between printer name and port.
struct TWordBasicLanguage {
  std::string Name;  // the language's lower-case English name: "english", "german"
  std::vector<std::pair<std::string, std::string>> Commands;
  std::vector<std::pair<std::string, std::string>> Arguments;
  std::string Connector;
};

struct TWordBasicTables;

// The WordBasic object of one server instance, answering in one language.
class TWordBasic : public TWordEngineServer {
 public:
  // ALanguage is an entry of the registered tables, which the server keeps alive, or -1 for a
  // server that follows its client; AOrigin says who chose the language, for the errors.
  TWordBasic(std::shared_ptr<const TWordBasicTables> ATables, int ALanguage,
             std::string AOrigin = "");
  ~TWordBasic() override;

  // The name of the language the server answers in; while it still follows its client, the
  // first language that its calls so far fit.
  const std::string& GetLanguage() const;
  // True while the server has not settled on one language.
  bool GetFollowing() const { return FLanguage < 0; }

  // The WordBasic commands; each command's handler, as the member tables bind them.
  automation::OleVariant Windowname(automation::TAutoCall& ACall);
  automation::OleVariant FileOpen(automation::TAutoCall& ACall);
  automation::OleVariant FileNew(automation::TAutoCall& ACall);
  automation::OleVariant Activate(automation::TAutoCall& ACall);
  automation::OleVariant FileClose(automation::TAutoCall& ACall);
  automation::OleVariant FileSaveAs(automation::TAutoCall& ACall);
  automation::OleVariant FilePrint(automation::TAutoCall& ACall);
  automation::OleVariant FilePrintSetup(automation::TAutoCall& ACall);
  automation::OleVariant ViewDraft(automation::TAutoCall& ACall);
  automation::OleVariant ViewPage(automation::TAutoCall& ACall);
  automation::OleVariant ViewNormal(automation::TAutoCall& ACall);
  automation::OleVariant StartOfDocument(automation::TAutoCall& ACall);
  automation::OleVariant EndOfDocument(automation::TAutoCall& ACall);
  automation::OleVariant EditCopy(automation::TAutoCall& ACall);
  automation::OleVariant EditPaste(automation::TAutoCall& ACall);
  automation::OleVariant Insert(automation::TAutoCall& ACall);
  automation::OleVariant CountBookmarks(automation::TAutoCall& ACall);
  automation::OleVariant BookmarkName(automation::TAutoCall& ACall);
  automation::OleVariant EditGoto(automation::TAutoCall& ACall);
  automation::OleVariant GetSelStartPos(automation::TAutoCall& ACall);
  automation::OleVariant GetSelEndPos(automation::TAutoCall& ACall);
  automation::OleVariant ExistingBookmark(automation::TAutoCall& ACall);
  automation::OleVariant EditBookmark(automation::TAutoCall& ACall);
  automation::OleVariant Selection(automation::TAutoCall& ACall);
  automation::OleVariant SelInfo(automation::TAutoCall& ACall);
  automation::OleVariant TableDeleteRow(automation::TAutoCall& ACall);
  automation::OleVariant EditClear(automation::TAutoCall& ACall);
  automation::OleVariant AppShow(automation::TAutoCall& ACall);
  automation::OleVariant AppHide(automation::TAutoCall& ACall);
  automation::OleVariant ToolsOptionsEdit(automation::TAutoCall& ACall);
  automation::OleVariant ToolsOptionsSpelling(automation::TAutoCall& ACall);

  // The view flags the View commands set.
  bool GetDraftView() const { return FDraftView; }
  bool GetPageView() const { return FPageView; }

 protected:
  const automation::TAutoMemberTable& GetMemberTable() const override;
  // Settles or checks the language by AName before the member is run.
  automation::OleVariant InvokeMember(const automation::TAutoMember* AMember,
                                      const std::string& AName, automation::TDispatchKind AKind,
                                      automation::TOleArgs& AArgs) override;

 private:
  using inherited = TWordEngineServer;

  // The languages that have ALanguage's name AName, as bits of their indexes.
  std::uint64_t LanguagesNaming(const std::string& AName) const;
  [[noreturn]] void ForeignName(const std::string& AName, std::uint64_t ALanguages) const;

  std::shared_ptr<const TWordBasicTables> FTables;
  int FLanguage;              // -1 while following the client
  std::uint64_t FCandidates;  // following: the languages every call so far fits
  std::string FOrigin;
  bool FDraftView = false;
  bool FPageView = false;
};

// Registers "Word.Basic" with the languages it may answer in (at most 64). Each CreateOleObject
// starts a server in the language SetWordBasicLanguage or VELTRANE_WORDBASIC_LANGUAGE names (any
// letter case), or one that follows its client when neither does; an unknown language makes
// the start fail with a message listing the registered ones. Printer strings may use the
// connector of any of them.
void RegisterWordBasicServer(std::vector<TWordBasicLanguage> ALanguages);
// Chooses the language of the servers started from now on; "" goes back to the environment
// variable, and without it to servers that follow their clients.
void SetWordBasicLanguage(const std::string& AName);

}  // namespace docengine
