#include "foundation/VeltraneException.h"

namespace veltrane {

namespace {

// A code beyond the table would index past it; it becomes verUnknown naming the number.
[[noreturn]] void RaiseCode(TVeltraneError ACode, const host::TVarRecs& AArgs) {
  if (ACode >= ErrorMessages.size()) {
    throw EVeltraneError(ErrorMessages[verUnknown],
                         {"error code " + std::to_string(static_cast<int>(ACode))}, verUnknown);
  }
  throw EVeltraneError(ErrorMessages[ACode], AArgs, ACode);
}

}  // namespace

EVeltraneError::EVeltraneError(const std::string& AMsg, const host::TVarRecs& AArgs,
                               TVeltraneError ACode)
    : host::Exception(ErrorPrefix + AMsg, AArgs), FErrorCode(ACode) {}

EVeltraneError::~EVeltraneError() = default;

void VeltraneError(TVeltraneError ACode) { RaiseCode(ACode, {nullptr}); }

void VeltraneErrorFmt(TVeltraneError ACode, const host::TVarRecs& AArgs) {
  RaiseCode(ACode, AArgs);
}

void VeltraneAbort() { VeltraneError(verAbort); }

}  // namespace veltrane
