#include "platform/automation/OleError.h"

namespace automation {

EOleSysError::EOleSysError(const std::string& AMessage, std::uint32_t AErrorCode)
    : inherited(AMessage), FErrorCode(AErrorCode) {}

EOleException::EOleException(const std::string& ADescription, std::uint32_t AErrorCode,
                             const std::string& ASource)
    : inherited(ADescription, AErrorCode), FSource(ASource) {}

std::string OleErrorMessage(TOleErrorCode ACode, const std::string& ADetail) {
  std::string result = OleErrorTexts[ACode].Text;
  if (!ADetail.empty()) result += " (" + ADetail + ")";
  return result;
}

void OleError(TOleErrorCode ACode, const std::string& ADetail) {
  throw EOleSysError(OleErrorMessage(ACode, ADetail), OleErrorTexts[ACode].Code);
}

std::string OleErrorClassName(const EOleError& AError) {
  if (dynamic_cast<const EOleException*>(&AError) != nullptr) return "EOleException";
  if (dynamic_cast<const EOleSysError*>(&AError) != nullptr) return "EOleSysError";
  return "EOleError";
}

}  // namespace automation
