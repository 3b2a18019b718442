// libFuzzer target over the host's text-to-value conversions: StrToInt, StrToFloat, StrToCurr,
// StrToDateTime, StrToDate and StrToTime, under the US settings and under settings with ',' as
// the decimal separator and '.' between the parts of a date.
//
// Byte 0 picks the settings; the rest is the text. Beyond surviving every input, each value
// read must be usable: a whole number prints and reads back the same, a number is finite, and
// a date reads as a serial that FormatDateTime accepts.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/host/SysUtils.h"

namespace {

host::TFormatSettings GermanSettings() {
  host::TFormatSettings settings;
  settings.DecimalSeparator = ',';
  settings.ThousandSeparator = '.';
  settings.DateSeparator = '.';
  settings.ShortDateFormat = "dd.mm.yyyy";
  settings.ShortTimeFormat = "hh:nn";
  settings.LongTimeFormat = "hh:nn:ss";
  return settings;
}

void CheckDate(host::TDateTime AValue, const host::TFormatSettings& ASettings) {
  if (!std::isfinite(AValue)) __builtin_trap();
  try {
    host::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", AValue, ASettings);
  } catch (const host::Exception&) {
    __builtin_trap();  // a date the reader accepted cannot be shown
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  if (ASize < 1) return 0;
  static const host::TFormatSettings us;
  static const host::TFormatSettings german = GermanSettings();
  const host::TFormatSettings& settings = (AData[0] & 1) != 0 ? german : us;
  const std::string text(reinterpret_cast<const char*>(AData + 1), ASize - 1);

  std::int64_t whole = 0;
  if (host::TryStrToInt(text, whole)) {
    if (host::StrToInt(host::IntToStr(whole)) != whole) __builtin_trap();
  }
  double number = 0;
  if (host::TryStrToFloat(text, number, settings) && !std::isfinite(number)) __builtin_trap();
  try {
    host::StrToCurr(text, settings);
  } catch (const host::Exception&) {
  }
  try {
    CheckDate(host::StrToDateTime(text, settings), settings);
  } catch (const host::Exception&) {
  }
  try {
    CheckDate(host::StrToDate(text, settings), settings);
  } catch (const host::Exception&) {
  }
  try {
    CheckDate(host::StrToTime(text, settings), settings);
  } catch (const host::Exception&) {
  }
  return 0;
}
