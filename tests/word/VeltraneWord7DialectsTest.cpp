#include "word/VeltraneWord7Dialects.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace veltrane;

namespace {

std::string Command(TVeltraneWordbasicDialect ADialect, TVeltraneWordbasicCommand ACommand) {
  const char* name = WordbasicCommandName(ADialect, ACommand);
  return name == nullptr ? "(none)" : name;
}

std::string Argument(TVeltraneWordbasicDialect ADialect, TVeltraneWordbasicArgument AArgument) {
  const char* name = WordbasicArgumentName(ADialect, AArgument);
  return name == nullptr ? "(none)" : name;
}

}  // namespace

TEST(WordbasicDialectsTest, NamesOfTheLoadCommandPerDialect) {
  struct TRow {
    TVeltraneWordbasicDialect Dialect;
    std::string FileOpen, Name, ReadOnly;
  };
  const std::vector<TRow> rows = {
      {wbdEnglish, "FileOpen", "Name", "ReadOnly"},
      {wbdGerman, "DateiÖffnen", "Name", "Schreibgeschützt"},
      {wbdFrench, "FichierOuvrir", "Nom", "LectureSeule"},
      {wbdItalian, "FIleApri", "Nome", "SolaLettura"},
      {wbdSwedish, "Arkivöppna", "Namn", "Skrivskydd"},
      {wbdSpanish, "ArchivoAbrir", "Nombre", "SóloLectura"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.FileOpen);
    EXPECT_EQ(Command(row.Dialect, wbcFileOpen), row.FileOpen);
    EXPECT_EQ(Argument(row.Dialect, wbaFileOpenName), row.Name);
    EXPECT_EQ(Argument(row.Dialect, wbaFileOpenReadOnly), row.ReadOnly);
  }
}

TEST(WordbasicDialectsTest, SharedAndEnglishNamesWhereTheTablesHaveThem) {
  EXPECT_EQ(Command(wbdPortuguese, wbcEditCopy), "CopiarTexto");
  EXPECT_EQ(Command(wbdSpanish, wbcEditCopy), "CopiarTexto");
  EXPECT_EQ(Command(wbdPortuguese, wbcViewDraft), "ArquivoVisualizar");
  EXPECT_EQ(Command(wbdPortuguese, wbcViewPage), "ArquivoVisualizar");
  for (TVeltraneWordbasicDialect dialect : {wbdFinnish, wbdSwedish, wbdDutch, wbdItalian}) {
    SCOPED_TRACE(WordbasicDialectName(dialect));
    for (TVeltraneWordbasicCommand command :
         {wbcAppShow, wbcAppHide, wbcGetSelStartPos, wbcGetSelEndPos}) {
      EXPECT_EQ(Command(dialect, command), Command(wbdEnglish, command));
    }
  }
  EXPECT_EQ(Command(wbdDutch, wbcSelection), "Selection");
  EXPECT_EQ(Argument(wbdFinnish, wbaFilePrintSetupPrinter), "Printer");
  EXPECT_EQ(Argument(wbdDutch, wbaFilePrintSetupPrinter), "Printer");
  EXPECT_EQ(Argument(wbdDutch, wbaFileSaveAsName), "Name");
  EXPECT_EQ(Argument(wbdItalian, wbaFileSaveAsName), "Name");
  EXPECT_EQ(Argument(wbdPortuguese, wbaFilePrintSetupDoNotSetAsSysDefault),
            "DoNotSetAsSysDefault");
  EXPECT_EQ(Command(wbdPortuguese, wbcSelInfo), "SelInfo");
  EXPECT_EQ(Command(wbdGerman, wbcGetSelStartPos), "AbrufenMarkierungAnfangposition");
  EXPECT_EQ(Command(wbdSpanish, wbcStartOfDocument), "PrincipioDeDocumento");
}

TEST(WordbasicDialectsTest, EveryNamedDialectHasEveryNameAndTheCompletedCells) {
  for (int d = 0; d < WordbasicNamedDialects; ++d) {
    const auto dialect = static_cast<TVeltraneWordbasicDialect>(d);
    SCOPED_TRACE(WordbasicDialectName(dialect));
    for (int c = 0; c < WordbasicCommandCount; ++c) {
      const char* name = WordbasicCommandName(dialect, static_cast<TVeltraneWordbasicCommand>(c));
      ASSERT_NE(name, nullptr);
      EXPECT_STRNE(name, "");
    }
    for (int a = 0; a < WordbasicArgumentCount; ++a) {
      ASSERT_NE(WordbasicArgumentName(dialect, static_cast<TVeltraneWordbasicArgument>(a)),
                nullptr);
    }
  }
  EXPECT_EQ(Command(wbdSwedish, wbcFileSaveAs), "ArkivSparaSom");
  EXPECT_EQ(Argument(wbdSwedish, wbaFileSaveAsName), "Namn");
  EXPECT_EQ(Command(wbdSwedish, wbcToolsOptionsEdit), "VerktygAltRedigera");
  EXPECT_EQ(Argument(wbdSwedish, wbaToolsOptionsEditReplaceSelection), "ErsättMarkering");
  EXPECT_EQ(Command(wbdPortuguese, wbcToolsOptionsEdit), "FerramOpçõesEditar");
  EXPECT_EQ(Argument(wbdPortuguese, wbaToolsOptionsEditReplaceSelection), "SubstituirSeleção");
}

TEST(WordbasicDialectsTest, DialectsWithoutNamesHaveNone) {
  for (TVeltraneWordbasicDialect dialect : {wbdNorwegian, wbdRussian}) {
    EXPECT_EQ(WordbasicCommandName(dialect, wbcFileOpen), nullptr);
    EXPECT_EQ(WordbasicArgumentName(dialect, wbaFileOpenName), nullptr);
    EXPECT_EQ(WordbasicConnector(dialect), nullptr);
    EXPECT_TRUE(WordbasicVocabulary(dialect).Commands.empty());
  }
}

TEST(WordbasicDialectsTest, ConnectorsKeepTheirBlanks) {
  EXPECT_STREQ(WordbasicConnector(wbdEnglish), " on ");
  EXPECT_STREQ(WordbasicConnector(wbdGerman), " an ");
  EXPECT_STREQ(WordbasicConnector(wbdPortuguese), " em  ");
  EXPECT_STREQ(WordbasicConnector(wbdSwedish), " ??? ");
  EXPECT_STREQ(WordbasicConnector(wbdFinnish), " portissa ");
}

TEST(WordbasicDialectsTest, VocabularyPairsEnglishWithLocalizedNames) {
  const TWordbasicVocabulary german = WordbasicVocabulary(wbdGerman);
  ASSERT_EQ(german.Commands.size(), static_cast<std::size_t>(WordbasicCommandCount));
  EXPECT_EQ(german.Commands.front(), (std::pair<std::string, std::string>{"Activate", "Aktivieren"}));
  EXPECT_EQ(german.Arguments[wbaFileOpenReadOnly],
            (std::pair<std::string, std::string>{"FileOpen.ReadOnly", "Schreibgeschützt"}));
  EXPECT_EQ(german.Connector, " an ");
  std::set<std::string> english;
  for (const auto& [key, name] : WordbasicVocabulary(wbdEnglish).Commands) {
    EXPECT_EQ(key, name);
    english.insert(key);
  }
  EXPECT_EQ(english.size(), german.Commands.size());
}

TEST(WordbasicDialectsTest, DialectNamesRoundTrip) {
  for (int d = 0; d < WordbasicDialectCount; ++d) {
    const auto dialect = static_cast<TVeltraneWordbasicDialect>(d);
    TVeltraneWordbasicDialect back = wbdEnglish;
    ASSERT_TRUE(WordbasicDialectFromName(WordbasicDialectName(dialect), back));
    EXPECT_EQ(back, dialect);
  }
  TVeltraneWordbasicDialect parsed = wbdEnglish;
  EXPECT_TRUE(WordbasicDialectFromName("wbdGerman", parsed));
  EXPECT_EQ(parsed, wbdGerman);
  EXPECT_TRUE(WordbasicDialectFromName("FRENCH", parsed));
  EXPECT_EQ(parsed, wbdFrench);
  EXPECT_FALSE(WordbasicDialectFromName("klingon", parsed));
}
