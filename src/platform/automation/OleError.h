#pragma once

// The automation layer's exceptions: EOleError for every failure of a late-bound call,
// EOleSysError when the failure carries a dispatch error code, and EOleException for a failure
// the server reports itself (code, source and description, as a dispatch exception carries
// them). Also the table of the layer's own error codes with their fixed texts.

#include <array>
#include <cstdint>
#include <string>

#include "platform/host/SysUtils.h"

namespace automation {

// Result codes of the dispatch layer, as the platform numbers them. The layer raises these with
// the texts of OleErrorTexts; a server raises EOleException with codes of its own.
enum TOleErrorCode : std::uint8_t {
  oecFail = 0,            // a server failure that carried no code of its own
  oecUnknownName = 1,     // no member (or named argument) of that name
  oecMemberNotFound = 2,  // the member exists but not for this kind of call
  oecParamNotFound = 3,   // a required argument is missing
  oecTypeMismatch = 4,    // a value that does not convert to the type asked for
  oecBadParamCount = 5,   // too many arguments, or an argument given twice
  oecOverflow = 6,        // a number outside the range of the type asked for
  oecException = 7,       // the server raised an exception (EOleException)
  oecDisconnected = 8,    // the server has ended
  oecClassString = 9,     // no server registered under that ProgID
  oecUnavailable = 10,    // no running server of that ProgID
  oecNotAnObject = 11,    // a call through a variant that holds no dispatch reference
};

struct TOleErrorText {
  std::uint32_t Code;  // the platform's result code (HRESULT), kept for servers and traces
  const char* Text;
};

// One row per TOleErrorCode, in its order.
inline constexpr std::array<TOleErrorText, 12> OleErrorTexts{{
    {0x80004005u, "Unspecified error"},                                         // oecFail
    {0x80020006u, "Unknown name."},                                             // oecUnknownName
    {0x80020003u, "Member not found."},                                         // oecMemberNotFound
    {0x80020004u, "Parameter not found."},                                      // oecParamNotFound
    {0x80020005u, "Type mismatch."},                                            // oecTypeMismatch
    {0x8002000Eu, "Wrong number of arguments or invalid property assignment"},  // oecBadParamCount
    {0x8002000Au, "Overflow."},                                                 // oecOverflow
    {0x80020009u, "Exception occurred."},                                       // oecException
    {0x80010108u, "The object invoked has disconnected from its clients."},     // oecDisconnected
    {0x800401F3u, "Invalid class string"},                                      // oecClassString
    {0x800401E3u, "Operation unavailable"},                                     // oecUnavailable
    {0x80020008u, "Variant does not reference an automation object"},           // oecNotAnObject
}};
static_assert(OleErrorTexts.size() == oecNotAnObject + 1);

// Every failure of the automation layer or of a server reached through it.
class EOleError : public host::Exception {
 public:
  using host::Exception::Exception;
};

// A failure with the platform's result code; the message is the code's text, followed by the
// detail in parentheses when one is given: "Unknown name. (Frobnicate)".
class EOleSysError : public EOleError {
 public:
  EOleSysError(const std::string& AMessage, std::uint32_t AErrorCode);

  std::uint32_t GetErrorCode() const { return FErrorCode; }

 private:
  using inherited = EOleError;

  std::uint32_t FErrorCode;
};

// A failure the server reports: its own code, the name of its source (the application) and a
// description. The message is the description unchanged, so the caller sees the server's text.
class EOleException : public EOleSysError {
 public:
  EOleException(const std::string& ADescription, std::uint32_t AErrorCode,
                const std::string& ASource);

  const std::string& GetSource() const { return FSource; }
  const std::string& GetDescription() const { return GetMessage(); }

 private:
  using inherited = EOleSysError;

  std::string FSource;
};

// The text of ACode with ADetail appended in parentheses (nothing appended when empty).
std::string OleErrorMessage(TOleErrorCode ACode, const std::string& ADetail = "");

// Raises EOleSysError with the code's result code and OleErrorMessage(ACode, ADetail).
[[noreturn]] void OleError(TOleErrorCode ACode, const std::string& ADetail = "");

// The class name of an automation exception as the traces show it: "EOleException",
// "EOleSysError" or "EOleError".
std::string OleErrorClassName(const EOleError& AError);

}  // namespace automation
