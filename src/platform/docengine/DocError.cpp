#include "platform/docengine/DocError.h"

namespace docengine {

void DocError(const std::string& AFileName, const std::string& AWhat) {
  throw EDocError(AFileName + ": " + AWhat);
}

void DocError(TDocErrorKind AKind, const std::string& AFileName, const std::string& AWhat) {
  throw EDocError(AKind, AFileName + ": " + AWhat);
}

void PartError(const std::string& AFileName, const std::string& APart, const std::string& AWhat) {
  throw EDocError(dekFileFormat, AFileName + ": part '" + APart + "': " + AWhat);
}

void PartErrorAt(const std::string& AFileName, const std::string& APart, std::int64_t AOffset,
                 const std::string& AWhat) {
  throw EDocError(dekFileFormat, AFileName + ": part '" + APart + "', offset " +
                                     std::to_string(AOffset) + ": " + AWhat);
}

}  // namespace docengine
