#pragma once

// The host's run-time library: the exception hierarchy, Format over tagged arguments, string
// routines with the host's 1-based positions and ASCII-only case folding, UTF-8 helpers, and the
// number and date conversions (StrToX, FormatFloat, FormatCurr, FormatDateTime) that read and
// write text by explicit format settings.

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// ---------------------------------------------------------------------------------------------
// Tagged arguments for Format and the exception format constructor.

// One argument of a format call: a null pointer, a whole number, a floating-point number or a
// string. The kind decides which conversions accept it ("%s" takes only strings, "%d" only
// whole numbers), as the host's format routine does.
class TVarRec {
 public:
  enum TVarKind : std::uint8_t { vkPointer = 0, vkInteger = 1, vkExtended = 2, vkString = 3 };

  TVarRec(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  TVarRec(int AValue) : FKind(vkInteger), FInteger(AValue) {}           // NOLINT
  TVarRec(long AValue) : FKind(vkInteger), FInteger(AValue) {}          // NOLINT
  TVarRec(long long AValue) : FKind(vkInteger), FInteger(AValue) {}     // NOLINT
  TVarRec(unsigned AValue) : FKind(vkInteger), FInteger(AValue) {}      // NOLINT
  TVarRec(double AValue) : FKind(vkExtended), FExtended(AValue) {}      // NOLINT
  TVarRec(const char* AValue) : FKind(vkString), FString(AValue ? AValue : "") {}  // NOLINT
  TVarRec(std::string AValue) : FKind(vkString), FString(std::move(AValue)) {}    // NOLINT
  TVarRec(std::string_view AValue) : FKind(vkString), FString(AValue) {}          // NOLINT

  TVarKind GetKind() const { return FKind; }
  std::int64_t GetInteger() const { return FInteger; }
  double GetExtended() const { return FExtended; }
  const std::string& GetString() const { return FString; }

 private:
  TVarKind FKind = vkPointer;
  std::int64_t FInteger = 0;
  double FExtended = 0.0;
  std::string FString;
};

using TVarRecs = std::vector<TVarRec>;

// ---------------------------------------------------------------------------------------------
// Exceptions. Every failure in the system is a host::Exception (or a descendant).

class Exception : public std::exception {
 public:
  explicit Exception(std::string AMessage);
  // The format constructor: the message is Format(AFormat, AArgs); a mismatch between the
  // placeholders and the arguments raises EConvertError instead.
  Exception(const std::string& AFormat, const TVarRecs& AArgs);
  ~Exception() override;

  const std::string& GetMessage() const { return FMessage; }
  void SetMessage(const std::string& AValue) { FMessage = AValue; }
  int GetHelpContext() const { return FHelpContext; }
  void SetHelpContext(int AValue) { FHelpContext = AValue; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
  int FHelpContext = 0;
};

// The silent cancel: operations that swallow it catch it by name; nothing reports it.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

// A text that is no number or date, a format that does not fit its arguments.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An arithmetic result outside a type's range (Currency overflow, date out of range).
class EOverflow : public Exception {
 public:
  using Exception::Exception;
};

// Raises EAbort with the message "Operation aborted".
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------------------------
// Format: "%" [index ":"] ["-"] [width] ["." precision] type, with the types d, u, x, s, e, f,
// g, n, m, p and "%%". A missing argument or one of the wrong kind raises EConvertError
// "Format '<format>' invalid or incompatible with argument".

std::string Format(const std::string& AFormat, const TVarRecs& AArgs);

// ---------------------------------------------------------------------------------------------
// Strings. Positions count from 1, as the host does; 0 means "not found".

int Pos(const std::string& ASubStr, const std::string& AStr);
// Characters AIndex .. AIndex + ACount - 1 (1-based bytes); out-of-range parts are cut off.
std::string Copy(const std::string& AStr, int AIndex, int ACount);
int Length(const std::string& AStr);
// Compares with 'a' to 'z' folded onto 'A' to 'Z'; every other byte by its code. The sign tells.
int CompareText(const std::string& AS1, const std::string& AS2);
bool SameText(const std::string& AS1, const std::string& AS2);
int CompareStr(const std::string& AS1, const std::string& AS2);
// Only 'a' to 'z' change; every other byte (UTF-8 included) stays.
std::string UpperCase(const std::string& AStr);
std::string LowerCase(const std::string& AStr);
// Drops leading and trailing bytes up to and including the blank (control characters too).
std::string Trim(const std::string& AStr);
std::string TrimLeft(const std::string& AStr);
std::string TrimRight(const std::string& AStr);

// UTF-8 helpers for the places that count or cut characters: a character is one Unicode code
// point; an invalid byte counts as one character of its own, so nothing is ever split.
int Utf8Length(std::string_view AStr);
// The first ACount characters of AStr (all of it when it has fewer).
std::string Utf8Left(std::string_view AStr, int ACount);
// Byte offset of character AIndex (0-based); AStr.size() when AIndex is past the end.
std::size_t Utf8Offset(std::string_view AStr, int AIndex);
// Appends the UTF-8 encoding of one code point.
void Utf8Append(std::string& ADest, char32_t ACodePoint);

// ---------------------------------------------------------------------------------------------
// Numbers, currency and dates.

// Days since 1899-12-30; the fraction is the time of day (its absolute value before that day).
using TDateTime = double;

// 64-bit fixed point with four decimals: the stored integer is the value times 10,000.
class Currency {
 public:
  constexpr Currency() = default;
  static constexpr Currency FromRaw(std::int64_t ARaw) {
    Currency result;
    result.FRaw = ARaw;
    return result;
  }
  // Rounds half away from zero to four decimals; raises EOverflow outside the range.
  static Currency FromDouble(double AValue);
  constexpr std::int64_t GetRaw() const { return FRaw; }
  double ToDouble() const { return static_cast<double>(FRaw) / 10000.0; }
  friend constexpr bool operator==(Currency A, Currency B) { return A.FRaw == B.FRaw; }

 private:
  std::int64_t FRaw = 0;
};

// The data layer's Boolean texts, the defaults of TFormatSettings::TrueBoolStr and FalseBoolStr.
inline constexpr const char* STextTrue = "True";
inline constexpr const char* STextFalse = "False";

// Every setting that the conversions read. Routines take them explicitly; DefaultFormatSettings
// gives the process-wide settings taken from the C library's locale.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string CurrencyString = "$";
  std::uint8_t CurrencyFormat = 0;
  std::uint8_t NegCurrFormat = 0;
  std::uint8_t CurrencyDecimals = 2;
  std::string ShortDateFormat = "m/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  int TwoDigitYearCenturyWindow = 50;
  // The texts of the two Boolean values: a Boolean field's text without DisplayValues, the
  // general text of a Boolean value, and texts read back as true and false (besides the
  // defaults above). The Boolean mask of the printers compares with the process's TrueBoolStr.
  std::string TrueBoolStr = STextTrue;
  std::string FalseBoolStr = STextFalse;
};

// The process-wide settings, filled on first use from LC_NUMERIC, LC_MONETARY and LC_TIME of the
// environment's locale (LANG, LC_ALL, LC_*), read through a locale object of its own so that the
// process locale is never changed. A category set to "C" or "POSIX" keeps the US defaults above.
TFormatSettings& DefaultFormatSettings();
// Settings read from a named locale ("de_DE.UTF-8"); raises EConvertError naming the locale when
// the C library does not know it.
TFormatSettings FormatSettingsFromLocale(const std::string& ALocaleName);

// Conversions raise EConvertError with the host's messages ("'abc' is not a valid integer
// value", "'x' is not a valid floating point value", "'x' is not a valid date and time", "'x' is
// not a valid date", "'x' is not a valid time"). Whole numbers are 64-bit: no stored value is cut.
// Number texts are read strictly: blanks (not TAB or line breaks) around them, an optional sign,
// digits with at most one DecimalSeparator, an optional exponent; no thousands separators, no
// INF or NAN; a double that overflows is an error. StrToCurr reads the decimal exactly and
// rounds digits past the fourth decimal half to even. Date-time texts are a date (numbers in the
// order of ShortDateFormat, DateSeparator between them, a two-digit year placed by
// TwoDigitYearCenturyWindow) optionally followed by a time, or a time alone (hour[:min[:sec[
// DecimalSeparator ms]]] with an optional AM/PM marker before or after).
std::int64_t StrToInt(const std::string& AStr);
bool TryStrToInt(const std::string& AStr, std::int64_t& AValue);
std::string IntToStr(std::int64_t AValue);
double StrToFloat(const std::string& AStr, const TFormatSettings& ASettings = DefaultFormatSettings());
bool TryStrToFloat(const std::string& AStr, double& AValue,
                   const TFormatSettings& ASettings = DefaultFormatSettings());
Currency StrToCurr(const std::string& AStr, const TFormatSettings& ASettings = DefaultFormatSettings());
TDateTime StrToDateTime(const std::string& AStr,
                        const TFormatSettings& ASettings = DefaultFormatSettings());
TDateTime StrToDate(const std::string& AStr, const TFormatSettings& ASettings = DefaultFormatSettings());
TDateTime StrToTime(const std::string& AStr, const TFormatSettings& ASettings = DefaultFormatSettings());

// The host's number patterns: 0 # . , E+ E- e+ e- 'x' "x" and ';' sections (positive;
// negative; zero; a missing or empty section uses the positive one). Values round half away
// from zero on their exact binary value. An empty format, a fixed mask with a value of 1E17 or
// more, and non-finite values give the general format (FloatToStr).
std::string FormatFloat(const std::string& AFormat, double AValue,
                        const TFormatSettings& ASettings = DefaultFormatSettings());
// As FormatFloat, but exact on the Currency's four decimals.
std::string FormatCurr(const std::string& AFormat, Currency AValue,
                       const TFormatSettings& ASettings = DefaultFormatSettings());
// General format with 15 significant digits.
std::string FloatToStr(double AValue, const TFormatSettings& ASettings = DefaultFormatSettings());
// Fixed ('ffFixed') and currency ('ffCurrency') formatting with the given decimals.
std::string FloatToStrFixed(double AValue, int ADigits,
                            const TFormatSettings& ASettings = DefaultFormatSettings());
std::string CurrToStrCurrency(Currency AValue, int ADigits,
                              const TFormatSettings& ASettings = DefaultFormatSettings());

// The host's date patterns (c d dd ddd dddd ddddd dddddd m mm mmm mmmm yy yyyy h hh n nn s ss
// z zzz t tt am/pm a/p ampm / : 'x' "x"); an empty format means "c". Other letters are copied
// unchanged. The value is rounded to the millisecond before it is split, so a time that rounds
// up to midnight shows the next day throughout. Serials outside years 1..9999 raise
// EConvertError.
std::string FormatDateTime(const std::string& AFormat, TDateTime AValue,
                           const TFormatSettings& ASettings = DefaultFormatSettings());
std::string DateToStr(TDateTime AValue, const TFormatSettings& ASettings = DefaultFormatSettings());
std::string TimeToStr(TDateTime AValue, const TFormatSettings& ASettings = DefaultFormatSettings());
std::string DateTimeToStr(TDateTime AValue,
                          const TFormatSettings& ASettings = DefaultFormatSettings());

// Calendar arithmetic; EncodeDate/EncodeTime raise EConvertError for an invalid date or time.
TDateTime EncodeDate(int AYear, int AMonth, int ADay);
TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond);
void DecodeDate(TDateTime AValue, int& AYear, int& AMonth, int& ADay);
void DecodeTime(TDateTime AValue, int& AHour, int& AMinute, int& ASecond, int& AMilliSecond);
bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AValue);
bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond, TDateTime& AValue);
int DayOfWeek(TDateTime AValue);  // 1 = Sunday
bool IsLeapYear(int AYear);

// ---------------------------------------------------------------------------------------------
// Process.

// ParamStr(0): the full path of the running program (from /proc/self/exe).
std::string ParamStr(int AIndex);
// The host's platform id; our registry offers the Windows NT keys, so this is 2.
inline constexpr int Win32Platform = 2;

}  // namespace host
