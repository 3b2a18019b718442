#pragma once

// The package's error codes, their fixed English texts, the one exception class EVeltraneError
// and the raising routines through which every failure the package detects is reported.

#include <array>
#include <cstdint>
#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/host/SysUtils.h"

namespace veltrane {

// The ordinals are part of the contract: applications compare ErrorCode against them.
enum TVeltraneError : std::uint8_t {
  verAbort = 0,
  verUnknown = 1,
  verVeltraneAutoActive = 2,
  verClassnameMissing = 3,
  verClassnameInvalid = 4,
  verDocnameMissing = 5,
  verDocnameInvalid = 6,
  verIdentifierInvalid = 7,
  verDatasourceMissing = 8,
  verVeltranePrinterMissing = 9,
  verVeltraneControllerActive = 10,
  verDocCheckIdentifier = 11,
  verDocCheckGroupinheader = 12,
  verGroupIdentifierInvalid = 13,
  verGroupFieldInvalid = 14,
  verFieldtypeInvalid = 15,
};

// Message text per code; "%s" takes one string argument each.
constexpr std::array<const char*, 16> ErrorMessages = {
    "Print aborted",                                            // verAbort
    "Unknown Error \"%s\"!",                                    // verUnknown
    "VeltraneAuto object is not active",                        // verVeltraneAutoActive
    "OLE Classname is missing!",                                // verClassnameMissing
    "OLE Classname \"%s\" is invalid!",                         // verClassnameInvalid
    "Documentname is missing!",                                 // verDocnameMissing
    "Documentname \"%s\" is invalid!",                          // verDocnameInvalid
    "Identifier \"%s\" is invalid!",                            // verIdentifierInvalid
    "Datasource for controller is missing!",                    // verDatasourceMissing
    "VeltranePrinter for controller is missing!",               // verVeltranePrinterMissing
    "VeltraneController object is not active",                  // verVeltraneControllerActive
    "Unknown identifier \"%s\" in document!",                   // verDocCheckIdentifier
    "Identifier \"%s\" is a group!\r\n"
    "Groups are not supported in header or footer!",            // verDocCheckGroupinheader
    "Group \"%s\" has no corresponding Datasource or Datafield!",  // verGroupIdentifierInvalid
    R"(Position of field "%s" does not fit into group "%s"!)",  // verGroupFieldInvalid
    "The fieldtype for \"%s\" is not supported!",               // verFieldtypeInvalid
};
static_assert(ErrorMessages.size() == verFieldtypeInvalid + 1);

// The prefix in front of every message of the package.
inline constexpr const char* ErrorPrefix = "Veltrane: ";

// The package's exception: the message text of its code behind the prefix, and the code.
class VELTRANE_EXPORT EVeltraneError : public host::Exception {
 public:
  // The message is "Veltrane: " followed by AMsg, formatted against AArgs by the host's format
  // routine (whose own EConvertError a mismatch raises instead).
  EVeltraneError(const std::string& AMsg, const host::TVarRecs& AArgs, TVeltraneError ACode);
  ~EVeltraneError() override;

  TVeltraneError GetErrorCode() const { return FErrorCode; }

 private:
  TVeltraneError FErrorCode;
};

// Raises EVeltraneError for ACode with one null argument, which the texts without placeholder
// ignore. A value outside the table is raised as verUnknown naming the number.
[[noreturn]] VELTRANE_EXPORT void VeltraneError(TVeltraneError ACode);
// Raises EVeltraneError for ACode with the given arguments, one string per "%s".
[[noreturn]] VELTRANE_EXPORT void VeltraneErrorFmt(TVeltraneError ACode,
                                                   const host::TVarRecs& AArgs);
// Stops a running merge: verAbort, an ordinary EVeltraneError (not the host's silent abort), so
// the merge's silent-abort guards let it through to the application.
[[noreturn]] VELTRANE_EXPORT void VeltraneAbort();

}  // namespace veltrane
