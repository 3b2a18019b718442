#pragma once

// EDocError: the one exception the engine raises for a file it cannot read or write. Its message
// names the file, the part and what is wrong, so that a user can find the fault without a
// debugger ("Letter.docx: part 'word/document.xml', offset 1834: unclosed element").

#include <cstdint>
#include <string>

#include "platform/host/SysUtils.h"

namespace docengine {

class EDocError : public host::Exception {
 public:
  using host::Exception::Exception;
};

// Raises EDocError "<file>: <what>".
[[noreturn]] void DocError(const std::string& AFileName, const std::string& AWhat);
// Raises EDocError "<file>: part '<part>': <what>".
[[noreturn]] void PartError(const std::string& AFileName, const std::string& APart,
                            const std::string& AWhat);
// Raises EDocError "<file>: part '<part>', offset <n>: <what>"; the offset counts bytes of the
// part's uncompressed data.
[[noreturn]] void PartErrorAt(const std::string& AFileName, const std::string& APart,
                              std::int64_t AOffset, const std::string& AWhat);

}  // namespace docengine
