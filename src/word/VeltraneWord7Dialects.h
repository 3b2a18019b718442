#pragma once

// The WordBasic vocabulary of the Word 95 printer: for each language of the installed word
// processor (a dialect), the name of every command and every named argument the printer sends,
// and the word put between a printer's name and its port. These tables are the one copy of the
// vocabulary in the code base; the embedded WordBasic server takes its names from them too.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/VeltraneExport.h"

namespace veltrane {

// The ordinals are stored in form files.
enum TVeltraneWordbasicDialect : std::uint8_t {
  wbdGerman = 0,
  wbdEnglish = 1,
  wbdFinnish = 2,
  wbdSwedish = 3,
  wbdDutch = 4,
  wbdItalian = 5,
  wbdFrench = 6,
  wbdPortuguese = 7,
  wbdSpanish = 8,
  wbdNorwegian = 9,
  wbdRussian = 10,
};

inline constexpr int WordbasicDialectCount = 11;
// The dialects that have names in the tables (German to Spanish).
inline constexpr int WordbasicNamedDialects = 9;

// Every command the printer sends, in the tables' (English alphabetical) order.
enum TVeltraneWordbasicCommand : std::uint8_t {
  wbcActivate,
  wbcAppHide,
  wbcAppShow,
  wbcBookmarkName,
  wbcCountBookmarks,
  wbcEditBookmark,
  wbcEditClear,
  wbcEditCopy,
  wbcEditGoto,
  wbcEditPaste,
  wbcEndOfDocument,
  wbcExistingBookmark,
  wbcFileClose,
  wbcFileNew,
  wbcFileOpen,
  wbcFilePrint,
  wbcFilePrintSetup,
  wbcFileSaveAs,
  wbcGetSelEndPos,
  wbcGetSelStartPos,
  wbcInsert,
  wbcSelInfo,
  wbcSelection,
  wbcStartOfDocument,
  wbcTableDeleteRow,
  wbcToolsOptionsEdit,
  wbcToolsOptionsSpelling,
  wbcViewDraft,
  wbcViewPage,
  wbcWindowname,
};

inline constexpr int WordbasicCommandCount = wbcWindowname + 1;

// Every named argument the printer passes, by command.
enum TVeltraneWordbasicArgument : std::uint8_t {
  wbaEditBookmarkName,
  wbaEditBookmarkDelete,
  wbaFileOpenName,
  wbaFileOpenReadOnly,
  wbaFilePrintBackground,
  wbaFilePrintSetupPrinter,
  wbaFilePrintSetupDoNotSetAsSysDefault,
  wbaFileSaveAsName,
  wbaToolsOptionsEditReplaceSelection,
  wbaToolsOptionsSpellingAutomaticSpellChecking,
};

inline constexpr int WordbasicArgumentCount = wbaToolsOptionsSpellingAutomaticSpellChecking + 1;

// The command's name in that dialect; nullptr for a dialect without names.
VELTRANE_EXPORT const char* WordbasicCommandName(TVeltraneWordbasicDialect ADialect,
                                                 TVeltraneWordbasicCommand ACommand);
// The named argument's name in that dialect; nullptr for a dialect without names.
VELTRANE_EXPORT const char* WordbasicArgumentName(TVeltraneWordbasicDialect ADialect,
                                                  TVeltraneWordbasicArgument AArgument);
// The command an argument belongs to.
VELTRANE_EXPORT TVeltraneWordbasicCommand
WordbasicArgumentCommand(TVeltraneWordbasicArgument AArgument);
// The connector word between printer name and port; nullptr for a dialect without names.
VELTRANE_EXPORT const char* WordbasicConnector(TVeltraneWordbasicDialect ADialect);
// The dialect's lower-case English name ("german"); "" outside the enumeration.
VELTRANE_EXPORT std::string WordbasicDialectName(TVeltraneWordbasicDialect ADialect);
// The dialect of a name as WordbasicDialectName writes it or as its enumerator ("wbdGerman"),
// case-insensitive; false for an unknown name.
VELTRANE_EXPORT bool WordbasicDialectFromName(const std::string& AName,
                                              TVeltraneWordbasicDialect& ADialect);

// The vocabulary of one dialect as plain pairs of English and localized names, for a WordBasic
// server that answers in that language: commands, then named arguments as
// "Command.Argument" -> localized argument name. Empty for a dialect without names.
struct TWordbasicVocabulary {
  std::vector<std::pair<std::string, std::string>> Commands;
  std::vector<std::pair<std::string, std::string>> Arguments;
  std::string Connector;
};
VELTRANE_EXPORT TWordbasicVocabulary WordbasicVocabulary(TVeltraneWordbasicDialect ADialect);
// The connectors of every named dialect, so a server can split "name<connector>port".
VELTRANE_EXPORT std::vector<std::string> WordbasicConnectors();

}  // namespace veltrane
