#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "platform/automation/OleError.h"
#include "platform/docengine/WordErrors.h"

namespace {

using namespace docengine;

// The number a client reads from a WordBasic description: the digits after "ERR=" (any case)
// up to the first blank; 0 when that does not parse.
int NumberAfterErr(const std::string& AText) {
  std::string upper = AText;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t at = upper.find("ERR=");
  if (at == std::string::npos) return 0;
  const std::size_t blank = AText.find(' ', at + 4);
  if (blank == std::string::npos) return 0;
  const std::string digits = AText.substr(at + 4, blank - at - 4);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(digits);
}

// The texts clients and users know, exactly.
TEST(WordErrorsTest, MessagesOfBothServers) {
  const struct {
    TWordServerKind Server;
    TWordErrorCode Code;
    const char* Detail;
    const char* Message;
  } rows[] = {
      {wskApplication, wecFileNotFound, "/x/Letter.docx",
       "This file could not be found. (/x/Letter.docx)"},
      {wskApplication, wecBadFileName, "nope.docx", "Bad file name. (nope.docx)"},
      {wskApplication, wecNoDocument, "",
       "This command is not available because no document is open."},
      {wskApplication, wecNoSuchMember, "",
       "The requested member of the collection does not exist."},
      {wskApplication, wecBadBookmark, "", "Bad bookmark name."},
      {wskWordBasic, wecFileNotFound, "/x/Letter.docx",
       "WordBasic Err=1078 This file could not be found. (/x/Letter.docx)"},
      {wskWordBasic, wecPrinter, "",
       "WordBasic Err=1046 Windows cannot print due to a problem with the current printer "
       "setup."},
      {wskWordBasic, wecNoDocument, "",
       "WordBasic Err=1100 This command is not available because no document is open."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Message);
    EXPECT_EQ(WordErrorMessage(row.Server, row.Code, row.Detail), row.Message);
  }
}

// Every WordBasic description parses to its own number (one blank after it, also with a detail
// that holds "Err=" itself), numbers lie in WordBasic's range and no two rows share a number in
// either server.
TEST(WordErrorsTest, EveryRowHasItsOwnNumbersAndAParsableWordBasicText) {
  std::set<int> numbers;
  std::set<int> basicNumbers;
  for (int code = 0; code < static_cast<int>(WordErrorTexts.size()); ++code) {
    const auto errorCode = static_cast<TWordErrorCode>(code);
    SCOPED_TRACE(WordErrorTexts[errorCode].Text);
    const int basic = WordErrorNumber(wskWordBasic, errorCode);
    EXPECT_GE(basic, 1000);
    EXPECT_LE(basic, 1600);
    EXPECT_TRUE(numbers.insert(WordErrorNumber(wskApplication, errorCode)).second);
    EXPECT_TRUE(basicNumbers.insert(basic).second);
    EXPECT_EQ(NumberAfterErr(WordErrorMessage(wskWordBasic, errorCode)), basic);
    EXPECT_EQ(NumberAfterErr(WordErrorMessage(wskWordBasic, errorCode, "Err=7 x")), basic);
    EXPECT_EQ(WordErrorMessage(wskWordBasic, errorCode).rfind("WordBasic Err=", 0), 0u);
  }
  EXPECT_EQ(WordErrorNumber(wskWordBasic, wecFileNotFound), 1078);
}

TEST(WordErrorsTest, RaisesAnExceptionWithTheServersCodeAndSource) {
  const struct {
    TWordServerKind Server;
    std::uint32_t Code;
  } rows[] = {
      {wskApplication, 0x800A0000u + 5174u},
      {wskWordBasic, 78u},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Code);
    try {
      WordError(row.Server, wecFileNotFound, "a.docx");
      FAIL() << "no exception";
    } catch (const automation::EOleException& E) {
      EXPECT_EQ(E.GetErrorCode(), row.Code);
      EXPECT_EQ(E.GetSource(), "Microsoft Word");
      EXPECT_EQ(E.GetMessage(), WordErrorMessage(row.Server, wecFileNotFound, "a.docx"));
    }
  }
}

// Each kind of engine failure reports its own row, with the engine's message as the detail.
TEST(WordErrorsTest, EngineFailuresMapByKind) {
  const struct {
    TDocErrorKind Kind;
    TWordErrorCode Code;
  } rows[] = {
      {dekGeneral, wecCommandFailed},   {dekFileNotFound, wecFileNotFound},
      {dekFileFormat, wecFileFormat},   {dekWriteFailed, wecWriteFailed},
      {dekReadOnly, wecReadOnly},       {dekNoDocument, wecNoDocument},
      {dekBadBookmark, wecBadBookmark}, {dekBadDocumentName, wecBadFileName},
      {dekOutOfRange, wecOutOfRange},   {dekClipboard, wecClipboard},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.Kind));
    EXPECT_EQ(WordErrorOfKind(row.Kind), row.Code);
    try {
      WordErrorFromDoc(wskWordBasic, EDocError(row.Kind, "Letter.docx: what went wrong"));
      FAIL() << "no exception";
    } catch (const automation::EOleException& E) {
      EXPECT_EQ(E.GetMessage(),
                WordErrorMessage(wskWordBasic, row.Code, "Letter.docx: what went wrong"));
    }
  }
}

}  // namespace
