#pragma once

// EDocError: the one exception the engine raises. Its message names the file, the part and what
// is wrong, so that a user can find the fault without a debugger ("Letter.docx: part
// 'word/document.xml', offset 1834: unclosed element"); its kind tells the automation servers
// which error number to report.

#include <cstdint>
#include <string>
#include <utility>

#include "platform/host/SysUtils.h"

namespace docengine {

// What went wrong, one kind per error number the servers report.
enum TDocErrorKind : std::uint8_t {
  dekGeneral = 0,
  dekFileNotFound = 1,     // the file to open does not exist
  dekFileFormat = 2,       // the file is no readable .docx package
  dekWriteFailed = 3,      // the file cannot be written
  dekReadOnly = 4,         // saving a read-only document over its own file
  dekNoDocument = 5,       // no document is open
  dekBadBookmark = 6,      // no bookmark of that name
  dekBadDocumentName = 7,  // no open document or window of that name
  dekOutOfRange = 8,       // an index or a position outside its range
  dekClipboard = 9,        // nothing on the clipboard that can be pasted
};

class EDocError : public host::Exception {
 public:
  using host::Exception::Exception;  // kind dekGeneral
  EDocError(TDocErrorKind AKind, std::string AMessage)
      : host::Exception(std::move(AMessage)), FKind(AKind) {}

  TDocErrorKind GetKind() const { return FKind; }

 private:
  using inherited = host::Exception;

  TDocErrorKind FKind = dekGeneral;
};

// Raises EDocError "<file>: <what>" of kind dekGeneral.
[[noreturn]] void DocError(const std::string& AFileName, const std::string& AWhat);
// Raises EDocError "<file>: <what>" of the given kind.
[[noreturn]] void DocError(TDocErrorKind AKind, const std::string& AFileName,
                           const std::string& AWhat);
// Raises EDocError "<file>: part '<part>': <what>" of kind dekFileFormat.
[[noreturn]] void PartError(const std::string& AFileName, const std::string& APart,
                            const std::string& AWhat);
// Raises EDocError "<file>: part '<part>', offset <n>: <what>" of kind dekFileFormat; the offset
// counts bytes of the part's uncompressed data.
[[noreturn]] void PartErrorAt(const std::string& AFileName, const std::string& APart,
                              std::int64_t AOffset, const std::string& AWhat);

}  // namespace docengine
