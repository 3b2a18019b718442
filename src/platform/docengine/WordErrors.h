#pragma once

// The errors the two word-processor servers report, in one table: each failure has the number
// and text the Word 97 object model reports for it and the number and text WordBasic reports.
// A server raises them as automation::EOleException with source "Microsoft Word":
//
//   Word.Application.8   "This file could not be found. (/home/a/Letter.docx)"
//                        code 0x800A0000 + number (the dispatch code of an application error)
//   Word.Basic           "WordBasic Err=1078 This file could not be found. (/home/a/Letter.docx)"
//                        code number - 1000, as WordBasic numbers its exception codes
//
// The WordBasic description carries exactly one blank after the number, because clients read
// the number as the characters after "Err=" up to the first blank. The detail in parentheses
// names the file, bookmark or document concerned, so that the message tells the user what to
// fix. Engine failures (EDocError) map to a row by their kind.

#include <array>
#include <cstdint>
#include <string>

#include "platform/docengine/DocError.h"

namespace docengine {

// Which server raises the error: the numbering and the description's layout differ.
enum TWordServerKind : std::uint8_t {
  wskApplication = 0,  // "Word.Application.8"
  wskWordBasic = 1,    // "Word.Basic"
};

// One row per failure the servers report.
enum TWordErrorCode : std::uint8_t {
  wecCommandFailed = 0,  // an engine failure of no particular kind
  wecBadParameter = 1,   // an argument the command does not accept
  wecOutOfRange = 2,     // an index or a number outside its range
  wecPrinter = 3,        // an unknown printer, or printing failed
  wecFileNotFound = 4,   // the file to open does not exist
  wecFileFormat = 5,     // the file is no readable .docx package
  wecWriteFailed = 6,    // the file cannot be written
  wecReadOnly = 7,       // saving a read-only document over its own file
  wecNoDocument = 8,     // the command needs an open document
  wecBadFileName = 9,    // no open document or window of that name
  wecBadBookmark = 10,   // no bookmark of that name, or not a valid bookmark name
  wecNoSuchMember = 11,  // a collection has no member of that name or index
  wecClipboard = 12,     // nothing on the clipboard that can be pasted
};

struct TWordErrorText {
  int Number;        // Word 97's error number
  const char* Text;  // Word 97's error text
  int BasicNumber;   // WordBasic's error number, 1000..1600
  const char* BasicText;
};

// One row per TWordErrorCode, in its order.
inline constexpr std::array<TWordErrorText, 13> WordErrorTexts{{
    {4198, "Command failed", 1001, "Command failed"},                           // CommandFailed
    {4120, "Bad parameter", 1012, "Bad parameter"},                             // BadParameter
    {4608, "Value out of range", 1020, "Value out of range"},                   // OutOfRange
    {5216, "There is a printer error.", 1046,                                   // Printer
     "Windows cannot print due to a problem with the current printer setup."},  //
    {5174, "This file could not be found.", 1078, "This file could not be found."},  // FileNotFound
    {5792, "The file is not a Word document or is damaged.", 1081,                   // FileFormat
     "The file is not a Word document or is damaged."},                              //
    {5153, "The document could not be saved.", 1092,                                 // WriteFailed
     "The document could not be saved."},                                            //
    {5155, "This file is read-only.", 1096, "This file is read-only."},              // ReadOnly
    {4248, "This command is not available because no document is open.", 1100,       // NoDocument
     "This command is not available because no document is open."},                  //
    {4160, "Bad file name.", 1177, "Window name does not exist."},                   // BadFileName
    {5828, "Bad bookmark name.", 1200, "Bad bookmark name."},                        // BadBookmark
    {5941, "The requested member of the collection does not exist.", 1210,           // NoSuchMember
     "The requested member of the collection does not exist."},                      //
    {4605,                                                                           // Clipboard
     "This method or property is not available because the Clipboard is empty or not valid.", 1280,
     "The Clipboard is empty or not valid."},
}};
static_assert(WordErrorTexts.size() == wecClipboard + 1);

// The source every server error names.
inline constexpr const char* WordErrorSource = "Microsoft Word";

// The error number AServer reports for ACode.
int WordErrorNumber(TWordServerKind AServer, TWordErrorCode ACode);
// The description AServer gives for ACode, with ADetail appended in parentheses when it is not
// empty: "Bad file name. (Letter.docx)", "WordBasic Err=1078 This file could not be found. (x)".
std::string WordErrorMessage(TWordServerKind AServer, TWordErrorCode ACode,
                             const std::string& ADetail = "");
// Raises automation::EOleException with that description, the server's code and source.
[[noreturn]] void WordError(TWordServerKind AServer, TWordErrorCode ACode,
                            const std::string& ADetail = "");

// The row an engine failure of that kind reports.
TWordErrorCode WordErrorOfKind(TDocErrorKind AKind);
// Raises the server error for an engine failure; the engine's message becomes the detail.
[[noreturn]] void WordErrorFromDoc(TWordServerKind AServer, const EDocError& AError);

}  // namespace docengine
