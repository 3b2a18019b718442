// Number and date conversions of the host's run-time library (placeholder implementations).
#include <cmath>
#include <cstdio>

#include "platform/host/SysUtils.h"

namespace host {

Currency Currency::FromDouble(double AValue) {
  return Currency::FromRaw(static_cast<std::int64_t>(std::llround(AValue * 10000.0)));
}
TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings settings;
  return settings;
}
TFormatSettings FormatSettingsFromLocale(const std::string&) { return TFormatSettings(); }
bool TryStrToFloat(const std::string& AStr, double& AValue, const TFormatSettings&) {
  char* end = nullptr;
  AValue = std::strtod(AStr.c_str(), &end);
  return !AStr.empty() && end && *end == 0;
}
double StrToFloat(const std::string& AStr, const TFormatSettings& ASettings) {
  double value = 0;
  if (!TryStrToFloat(AStr, value, ASettings))
    throw EConvertError("'%s' is not a valid floating point value", {AStr});
  return value;
}
Currency StrToCurr(const std::string& AStr, const TFormatSettings& ASettings) {
  return Currency::FromDouble(StrToFloat(AStr, ASettings));
}
TDateTime StrToDateTime(const std::string& AStr, const TFormatSettings&) {
  throw EConvertError("'%s' is not a valid date and time", {AStr});
}
TDateTime StrToDate(const std::string& AStr, const TFormatSettings& S) { return StrToDateTime(AStr, S); }
TDateTime StrToTime(const std::string& AStr, const TFormatSettings& S) { return StrToDateTime(AStr, S); }
std::string FormatFloat(const std::string&, double AValue, const TFormatSettings&) {
  char b[64];
  std::snprintf(b, sizeof b, "%.15g", AValue);
  return b;
}
std::string FormatCurr(const std::string& F, Currency AValue, const TFormatSettings& S) {
  return FormatFloat(F, AValue.ToDouble(), S);
}
std::string FloatToStr(double AValue, const TFormatSettings& S) { return FormatFloat("", AValue, S); }
std::string FloatToStrFixed(double AValue, int ADigits, const TFormatSettings&) {
  char b[400];
  std::snprintf(b, sizeof b, "%.*f", ADigits, AValue);
  return b;
}
std::string CurrToStrCurrency(Currency AValue, int ADigits, const TFormatSettings& S) {
  return FloatToStrFixed(AValue.ToDouble(), ADigits, S);
}
std::string FormatDateTime(const std::string&, TDateTime AValue, const TFormatSettings& S) {
  return FloatToStr(AValue, S);
}
std::string DateToStr(TDateTime AValue, const TFormatSettings& S) { return FormatDateTime("", AValue, S); }
std::string TimeToStr(TDateTime AValue, const TFormatSettings& S) { return FormatDateTime("", AValue, S); }
std::string DateTimeToStr(TDateTime AValue, const TFormatSettings& S) { return FormatDateTime("", AValue, S); }
TDateTime EncodeDate(int, int, int) { return 0; }
TDateTime EncodeTime(int, int, int, int) { return 0; }
void DecodeDate(TDateTime, int& Y, int& M, int& D) { Y = 1899; M = 12; D = 30; }
void DecodeTime(TDateTime, int& H, int& M, int& S, int& Z) { H = M = S = Z = 0; }
bool TryEncodeDate(int, int, int, TDateTime& V) { V = 0; return true; }
bool TryEncodeTime(int, int, int, int, TDateTime& V) { V = 0; return true; }
int DayOfWeek(TDateTime) { return 1; }
bool IsLeapYear(int Y) { return (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0; }

}  // namespace host
