#include "platform/docengine/WordErrors.h"

#include "platform/automation/OleError.h"

namespace docengine {

namespace {

// The dispatch code of an application-defined error: the facility of interface errors with
// the application's number in the low word.
constexpr std::uint32_t ApplicationErrorBase = 0x800A0000u;

}  // namespace

int WordErrorNumber(TWordServerKind AServer, TWordErrorCode ACode) {
  const TWordErrorText& row = WordErrorTexts[ACode];
  return AServer == wskWordBasic ? row.BasicNumber : row.Number;
}

std::string WordErrorMessage(TWordServerKind AServer, TWordErrorCode ACode,
                             const std::string& ADetail) {
  const TWordErrorText& row = WordErrorTexts[ACode];
  std::string result;
  if (AServer == wskWordBasic) {
    result = "WordBasic Err=" + std::to_string(row.BasicNumber) + " " + row.BasicText;
  } else {
    result = row.Text;
  }
  if (!ADetail.empty()) result += " (" + ADetail + ")";
  return result;
}

void WordError(TWordServerKind AServer, TWordErrorCode ACode, const std::string& ADetail) {
  const int number = WordErrorNumber(AServer, ACode);
  const std::uint32_t code = AServer == wskWordBasic
                                 ? static_cast<std::uint32_t>(number - 1000)
                                 : ApplicationErrorBase + static_cast<std::uint32_t>(number);
  throw automation::EOleException(WordErrorMessage(AServer, ACode, ADetail), code, WordErrorSource);
}

TWordErrorCode WordErrorOfKind(TDocErrorKind AKind) {
  switch (AKind) {
    case dekFileNotFound:
      return wecFileNotFound;
    case dekFileFormat:
      return wecFileFormat;
    case dekWriteFailed:
      return wecWriteFailed;
    case dekReadOnly:
      return wecReadOnly;
    case dekNoDocument:
      return wecNoDocument;
    case dekBadBookmark:
      return wecBadBookmark;
    case dekBadDocumentName:
      return wecBadFileName;
    case dekOutOfRange:
      return wecOutOfRange;
    case dekClipboard:
      return wecClipboard;
    case dekGeneral:
      break;
  }
  return wecCommandFailed;
}

void WordErrorFromDoc(TWordServerKind AServer, const EDocError& AError) {
  WordError(AServer, WordErrorOfKind(AError.GetKind()), AError.GetMessage());
}

}  // namespace docengine
