// Number, currency and date conversions of the host's run-time library.
//
// Numbers are formatted from a decimal image: a run of significant digits and a decimal
// exponent, taken either from a double (through std::to_chars, which rounds the binary value
// exactly) or from a Currency's 64-bit integer (exact by construction). The mask engine only
// ever sees that image, so FormatFloat and FormatCurr share one implementation and neither
// goes through the C library's locale. Rounding is half away from zero on the value itself: a
// double that lies below a midpoint in binary rounds down even when its short decimal form
// looks like the midpoint (0.995 is 0.99499999...).
//
// Dates follow the host's serial: days since 1899-12-30, with the time of day as the fraction
// (its absolute value before that day). Every routine that splits a serial rounds it to the
// millisecond first, so the date, the weekday and the time always describe the same moment.

#include <langinfo.h>
#include <locale.h>  // NOLINT(modernize-deprecated-headers): POSIX newlocale and uselocale

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>

#include "platform/host/SysUtils.h"

namespace host {

namespace {

// ---------------------------------------------------------------------------------------------
// Decimal images

// Enough for any double written in fixed notation: at most 1074 fraction digits and 309
// integer digits, plus the rounding digit and a margin.
constexpr int MaxDigits = 1400;
// Fraction digits past this are zero for every double, so longer masks only pad.
constexpr int MaxFractionDigits = 1080;

// |value| = 0.D1D2...Dn x 10^Exponent; no leading or trailing zero digits. Count 0 is zero.
struct TDigits {
  std::array<char, MaxDigits> Digits;
  int Count = 0;
  int Exponent = 0;

  char At(int AIndex) const { return AIndex >= 0 && AIndex < Count ? Digits[AIndex] : '0'; }
};

// Reads "123.4500" or "1.2345e+06" (as written by std::to_chars) into a digit image.
void ParseImage(const char* AFirst, const char* ALast, TDigits& AResult) {
  AResult.Count = 0;
  int pointPos = -1;  // digits seen before the point
  int seen = 0;
  int leadingZeros = 0;
  bool significant = false;
  const char* p = AFirst;
  for (; p < ALast && *p != 'e'; ++p) {
    if (*p == '.') {
      pointPos = seen;
      continue;
    }
    ++seen;
    if (!significant && *p == '0') {
      ++leadingZeros;
      continue;
    }
    significant = true;
    AResult.Digits[static_cast<std::size_t>(AResult.Count++)] = *p;
  }
  if (pointPos < 0) pointPos = seen;
  int exponent = 0;
  if (p < ALast) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), ALast, exponent);
  while (AResult.Count > 0 && AResult.Digits[static_cast<std::size_t>(AResult.Count - 1)] == '0') {
    --AResult.Count;
  }
  AResult.Exponent = AResult.Count == 0 ? 0 : pointPos - leadingZeros + exponent;
}

// Adds one unit in the last place of a digit string written by to_chars ("0.125" -> "0.126",
// "9.99" -> "10.00"), skipping the point. Returns the new end.
char* IncrementLast(char* AFirst, char* ALast) {
  for (char* p = ALast - 1; p >= AFirst; --p) {
    if (*p == '.') continue;
    if (*p != '9') {
      ++*p;
      return ALast;
    }
    *p = '0';
  }
  std::memmove(AFirst + 1, AFirst, static_cast<std::size_t>(ALast - AFirst));
  *AFirst = '1';
  return ALast + 1;
}

// True when AValue (finite, >= 0) lies exactly halfway between two multiples of 10^-ADecimals.
// For ADecimals >= 0 that holds exactly when AValue * 2^(ADecimals+1) is an odd integer; for a
// rounding position left of the point, AValue must be an odd multiple of 5 x 10^(k-1).
bool IsTie(double AValue, int ADecimals) {
  if (ADecimals >= 0) {
    if (ADecimals > MaxFractionDigits) return false;
    const double scaled = std::ldexp(AValue, ADecimals + 1);
    return std::isfinite(scaled) && scaled < 9007199254740992.0 && scaled == std::floor(scaled) &&
           std::fmod(scaled, 2.0) == 1.0;
  }
  const int k = -ADecimals;
  if (k > 22) return false;  // no double is an exact tie that far left
  double power = 1.0;
  for (int i = 0; i < k; ++i) power *= 10.0;
  return std::fmod(AValue, power) == power / 2.0;
}

// AValue (finite, >= 0) rounded half away from zero to ADecimals fraction digits.
void DoubleFixed(double AValue, int ADecimals, TDigits& AResult) {
  if (ADecimals > MaxFractionDigits) ADecimals = MaxFractionDigits;
  char buffer[MaxDigits];
  const bool tie = IsTie(AValue, ADecimals);
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer - 2, AValue,
                                    std::chars_format::fixed, ADecimals + (tie ? 1 : 0));
  if (error != std::errc()) {
    AResult.Count = 0;
    AResult.Exponent = 0;
    return;
  }
  if (tie) {
    // The exact value ends in 5 one place further on; round that digit up by hand.
    --end;
    if (end > buffer && end[-1] == '.') --end;
    end = IncrementLast(buffer, end);
  }
  ParseImage(buffer, end, AResult);
}

// AValue (finite, >= 0) rounded half away from zero to ASignificant significant digits.
void DoubleSignificant(double AValue, int ASignificant, TDigits& AResult) {
  if (AValue == 0.0) {
    AResult.Count = 0;
    AResult.Exponent = 0;
    return;
  }
  if (ASignificant < 1) ASignificant = 1;
  if (ASignificant > 800) ASignificant = 800;
  char buffer[MaxDigits];
  // The shortest form gives the exponent of the first digit before any rounding.
  auto [shortEnd, shortError] =
      std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::scientific);
  int firstExponent = 0;
  for (const char* p = buffer; p < shortEnd; ++p) {
    if (*p == 'e') {
      std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), shortEnd, firstExponent);
      break;
    }
  }
  (void)shortError;
  const bool tie = IsTie(AValue, ASignificant - 1 - firstExponent);
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer - 2, AValue, std::chars_format::scientific,
                    ASignificant - 1 + (tie ? 1 : 0));
  (void)error;
  if (tie) {
    // Round the exact trailing 5 up by hand: split off the exponent, bump the mantissa.
    char* e = buffer;
    while (*e != 'e') ++e;
    char exponentText[8];
    const auto exponentLength = static_cast<std::size_t>(end - e);
    std::memcpy(exponentText, e, exponentLength);
    char* mantissaEnd = e - 1;
    if (mantissaEnd > buffer && mantissaEnd[-1] == '.') --mantissaEnd;
    mantissaEnd = IncrementLast(buffer, mantissaEnd);
    std::memcpy(mantissaEnd, exponentText, exponentLength);
    end = mantissaEnd + exponentLength;
  }
  ParseImage(buffer, end, AResult);
}

constexpr std::array<std::uint64_t, 20> PowersOfTen{1ULL,
                                                    10ULL,
                                                    100ULL,
                                                    1000ULL,
                                                    10000ULL,
                                                    100000ULL,
                                                    1000000ULL,
                                                    10000000ULL,
                                                    100000000ULL,
                                                    1000000000ULL,
                                                    10000000000ULL,
                                                    100000000000ULL,
                                                    1000000000000ULL,
                                                    10000000000000ULL,
                                                    100000000000000ULL,
                                                    1000000000000000ULL,
                                                    10000000000000000ULL,
                                                    100000000000000000ULL,
                                                    1000000000000000000ULL,
                                                    10000000000000000000ULL};

// The digit image of AValue x 10^-AScale (an unsigned integer with a decimal scale).
void IntegerImage(std::uint64_t AValue, int AScale, TDigits& AResult) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  (void)error;
  const int length = static_cast<int>(end - buffer);
  AResult.Count = 0;
  if (AValue == 0) {
    AResult.Exponent = 0;
    return;
  }
  std::memcpy(AResult.Digits.data(), buffer, static_cast<std::size_t>(length));
  AResult.Count = length;
  while (AResult.Digits[static_cast<std::size_t>(AResult.Count - 1)] == '0') --AResult.Count;
  AResult.Exponent = length - AScale;
}

// Divides by 10^APlaces, rounding half away from zero.
std::uint64_t DivideRounded(std::uint64_t AValue, int APlaces) {
  if (APlaces <= 0) return AValue;
  if (APlaces >= 20) return 0;
  const std::uint64_t divisor = PowersOfTen[static_cast<std::size_t>(APlaces)];
  const std::uint64_t quotient = AValue / divisor;
  const std::uint64_t remainder = AValue % divisor;
  return remainder >= divisor - remainder ? quotient + 1 : quotient;
}

std::uint64_t CurrencyMagnitude(Currency AValue) {
  const std::int64_t raw = AValue.GetRaw();
  return raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
}

// A Currency's magnitude rounded to ADecimals fraction digits.
void CurrencyFixed(std::uint64_t AMagnitude, int ADecimals, TDigits& AResult) {
  if (ADecimals >= 4) return IntegerImage(AMagnitude, 4, AResult);
  IntegerImage(DivideRounded(AMagnitude, 4 - ADecimals), ADecimals, AResult);
}

// A Currency's magnitude rounded to ASignificant significant digits.
void CurrencySignificant(std::uint64_t AMagnitude, int ASignificant, TDigits& AResult) {
  IntegerImage(AMagnitude, 4, AResult);
  if (AResult.Count <= ASignificant || AMagnitude == 0) return;
  int length = 0;
  for (std::uint64_t rest = AMagnitude; rest != 0; rest /= 10) ++length;
  const int drop = length - std::max(ASignificant, 1);
  IntegerImage(DivideRounded(AMagnitude, drop), 4 - drop, AResult);
}

void AppendDigits(std::string& AOut, std::uint64_t AValue, int AMinWidth) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  (void)error;
  const int length = static_cast<int>(end - buffer);
  if (AMinWidth > length) AOut.append(static_cast<std::size_t>(AMinWidth - length), '0');
  AOut.append(buffer, end);
}

// The general format of a digit image: plain digits for exponents -4..15, otherwise
// d.dddE[-]x. The caller writes the sign.
void AppendGeneral(std::string& AOut, const TDigits& ADigits, char ADecimalSeparator) {
  if (ADigits.Count == 0) {
    AOut += '0';
    return;
  }
  const int exponent = ADigits.Exponent;
  if (exponent > 15 || exponent < -4) {
    AOut += ADigits.Digits[0];
    if (ADigits.Count > 1) {
      AOut += ADecimalSeparator;
      AOut.append(ADigits.Digits.data() + 1, static_cast<std::size_t>(ADigits.Count - 1));
    }
    AOut += 'E';
    const int shown = exponent - 1;
    if (shown < 0) AOut += '-';
    AppendDigits(AOut, static_cast<std::uint64_t>(shown < 0 ? -shown : shown), 1);
    return;
  }
  if (exponent <= 0) {
    AOut += '0';
    AOut += ADecimalSeparator;
    AOut.append(static_cast<std::size_t>(-exponent), '0');
    AOut.append(ADigits.Digits.data(), static_cast<std::size_t>(ADigits.Count));
    return;
  }
  for (int i = 0; i < exponent; ++i) AOut += ADigits.At(i);
  if (ADigits.Count > exponent) {
    AOut += ADecimalSeparator;
    AOut.append(ADigits.Digits.data() + exponent,
                static_cast<std::size_t>(ADigits.Count - exponent));
  }
}

// ---------------------------------------------------------------------------------------------
// Number masks

// What a scan of one mask section finds.
struct TMaskInfo {
  int IntCount = 0;       // placeholders before the decimal point
  int DecCount = 0;       // placeholders after it
  int FirstIntZero = -1;  // index of the first '0' among the integer placeholders
  int LastDecZero = 0;    // 1-based index of the last '0' among the fraction placeholders
  bool Thousands = false;
  bool Scientific = false;
};

bool IsExponentAt(std::string_view ASection, std::size_t AIndex) {
  return AIndex + 2 < ASection.size() &&
         (ASection[AIndex + 1] == '+' || ASection[AIndex + 1] == '-') &&
         ASection[AIndex + 2] == '0';
}

// Skips a quoted literal that opens at AIndex; an unterminated one runs to the end.
std::size_t SkipQuoted(std::string_view AText, std::size_t AIndex) {
  const char quote = AText[AIndex];
  const std::size_t close = AText.find(quote, AIndex + 1);
  return close == std::string_view::npos ? AText.size() : close + 1;
}

TMaskInfo ScanSection(std::string_view ASection) {
  TMaskInfo info;
  bool afterPoint = false;
  std::size_t i = 0;
  while (i < ASection.size()) {
    const char c = ASection[i];
    switch (c) {
      case '"':
      case '\'':
        i = SkipQuoted(ASection, i);
        continue;
      case '0':
      case '#':
        if (afterPoint) {
          ++info.DecCount;
          if (c == '0') info.LastDecZero = info.DecCount;
        } else {
          if (c == '0' && info.FirstIntZero < 0) info.FirstIntZero = info.IntCount;
          ++info.IntCount;
        }
        break;
      case '.':
        afterPoint = true;
        break;
      case ',':
        info.Thousands = true;
        break;
      case 'E':
      case 'e':
        if (IsExponentAt(ASection, i)) {
          info.Scientific = true;
          i += 2;
          while (i < ASection.size() && ASection[i] == '0') ++i;
          continue;
        }
        // An 'E' that starts no exponent is literal, and so is the character after it.
        i += 2;
        continue;
      default:
        break;
    }
    ++i;
  }
  return info;
}

// Splits a mask into at most three sections at ';' outside quotes; further sections are
// ignored.
int SplitSections(std::string_view AFormat, std::array<std::string_view, 3>& ASections) {
  int count = 0;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < AFormat.size() && count < 3) {
    const char c = AFormat[i];
    if (c == '"' || c == '\'') {
      i = SkipQuoted(AFormat, i);
      continue;
    }
    if (c == ';') {
      ASections[static_cast<std::size_t>(count++)] = AFormat.substr(start, i - start);
      start = i + 1;
    }
    ++i;
  }
  if (count < 3)
    ASections[static_cast<std::size_t>(count++)] = AFormat.substr(std::min(start, AFormat.size()));
  return count;
}

// Writes one section for a value whose digit image the source supplies. ANegativeSign adds
// the minus sign in front of everything, literals included.
template <class TSource>
void ApplySection(std::string& AOut, std::string_view ASection, const TMaskInfo& AInfo,
                  const TSource& ASource, bool ANegativeSign, const TFormatSettings& ASettings) {
  if (ANegativeSign) AOut += '-';
  TDigits digits;
  int shownInt = 0;    // integer digits written (fixed layout)
  int shownFrac = 0;   // fraction digits written
  int exponent10 = 0;  // shown exponent (scientific layout)
  if (AInfo.Scientific) {
    ASource.Significant(std::max(AInfo.IntCount + AInfo.DecCount, 1), digits);
    exponent10 = digits.Count == 0 ? 0 : digits.Exponent - AInfo.IntCount;
    shownFrac = std::max(std::min(std::max(digits.Count - AInfo.IntCount, 0), AInfo.DecCount),
                         AInfo.LastDecZero);
  } else {
    ASource.Fixed(AInfo.DecCount, digits);
    const int intLength = std::max(digits.Exponent, 0);
    const int minInt = AInfo.FirstIntZero >= 0 ? AInfo.IntCount - AInfo.FirstIntZero : 0;
    shownInt = digits.Count == 0 ? minInt : std::max(intLength, minInt);
    shownFrac = std::max(std::min(std::max(digits.Count - digits.Exponent, 0), AInfo.DecCount),
                         AInfo.LastDecZero);
    // A value that is not zero but rounds to zero shows every fraction place, so the reader
    // sees the precision it was rounded to ("#.#" of 0.04 gives ".0").
    if (digits.Count == 0 && !ASource.IsZero()) shownFrac = AInfo.DecCount;
  }

  // Integer place APlace (0 = units) of the fixed layout, with its thousands separator.
  auto putIntPlace = [&](int APlace) {
    const int index = digits.Exponent - 1 - APlace;
    AOut += digits.Count == 0 || APlace >= digits.Exponent ? '0' : digits.At(index);
    if (AInfo.Thousands && APlace > 0 && APlace % 3 == 0) AOut += ASettings.ThousandSeparator;
  };
  auto fracDigit = [&](int AIndex) {
    return AInfo.Scientific ? digits.At(AInfo.IntCount + AIndex)
                            : digits.At(digits.Exponent + AIndex);
  };

  int intSeen = 0;
  int decSeen = 0;
  bool afterPoint = false;
  std::size_t i = 0;
  while (i < ASection.size()) {
    const char c = ASection[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = ASection.find(c, i + 1);
      const std::size_t textEnd = close == std::string_view::npos ? ASection.size() : close;
      AOut.append(ASection.substr(i + 1, textEnd - (i + 1)));
      i = close == std::string_view::npos ? ASection.size() : close + 1;
      continue;
    }
    if (c == '0' || c == '#') {
      if (!afterPoint) {
        const int k = intSeen++;
        if (AInfo.Scientific) {
          AOut += digits.At(k);
        } else {
          if (k == 0) {
            for (int place = shownInt - 1; place >= AInfo.IntCount; --place) putIntPlace(place);
          }
          const int place = AInfo.IntCount - 1 - k;
          if (place < shownInt) putIntPlace(place);
        }
        if (intSeen == AInfo.IntCount && shownFrac > 0) AOut += ASettings.DecimalSeparator;
      } else {
        const int j = decSeen++;
        if (j == 0 && AInfo.IntCount == 0) {
          if (!AInfo.Scientific) {
            for (int place = shownInt - 1; place >= 0; --place) putIntPlace(place);
          }
          if (shownFrac > 0) AOut += ASettings.DecimalSeparator;
        }
        if (j < shownFrac) AOut += fracDigit(j);
      }
      ++i;
      continue;
    }
    switch (c) {
      case '.':
        afterPoint = true;
        ++i;
        continue;
      case ',':
        ++i;
        continue;
      case 'E':
      case 'e':
        if (IsExponentAt(ASection, i)) {
          AOut += c;
          const bool alwaysSign = ASection[i + 1] == '+';
          if (exponent10 < 0) {
            AOut += '-';
          } else if (alwaysSign) {
            AOut += '+';
          }
          i += 2;
          int width = 0;
          while (i < ASection.size() && ASection[i] == '0') {
            ++width;
            ++i;
          }
          AppendDigits(AOut, static_cast<std::uint64_t>(std::abs(exponent10)), std::min(width, 4));
          continue;
        }
        AOut += c;
        if (i + 1 < ASection.size()) AOut += ASection[i + 1];
        i += 2;
        continue;
      default:
        AOut += c;
        ++i;
        continue;
    }
  }
}

// Picks the section (positive; negative; zero), falls back to the positive one where the
// chosen section is missing or empty, and to the general format where that is empty too or
// where a fixed mask meets a value too large for it.
template <class TSource>
std::string FormatMasked(const std::string& AFormat, const TSource& ASource,
                         const TFormatSettings& ASettings) {
  std::string out;
  out.reserve(AFormat.size() + 24);
  std::array<std::string_view, 3> sections;
  const int count = SplitSections(AFormat, sections);
  int index = ASource.IsZero() ? 2 : (ASource.IsNegative() ? 1 : 0);
  if (index >= count || sections[static_cast<std::size_t>(index)].empty()) index = 0;
  const std::string_view section = sections[static_cast<std::size_t>(index)];
  if (section.empty()) {
    ASource.General(out, ASettings);
    return out;
  }
  const TMaskInfo info = ScanSection(section);
  if (!info.Scientific && ASource.IsHuge()) {
    ASource.General(out, ASettings);
    return out;
  }
  ApplySection(out, section, info, ASource, index == 0 && ASource.IsNegative(), ASettings);
  return out;
}

struct TDoubleSource {
  double Value;
  bool IsZero() const { return Value == 0.0; }
  bool IsNegative() const { return Value < 0.0; }
  // Fixed masks show values from 1E17 up in the general format.
  bool IsHuge() const { return std::fabs(Value) >= 1e17; }
  void Fixed(int ADecimals, TDigits& ADigits) const {
    DoubleFixed(std::fabs(Value), ADecimals, ADigits);
  }
  void Significant(int ADigitCount, TDigits& ADigits) const {
    DoubleSignificant(std::fabs(Value), ADigitCount, ADigits);
  }
  void General(std::string& AOut, const TFormatSettings& ASettings) const {
    AOut += FloatToStr(Value, ASettings);
  }
};

struct TCurrencySource {
  Currency Value;
  bool IsZero() const { return Value.GetRaw() == 0; }
  bool IsNegative() const { return Value.GetRaw() < 0; }
  bool IsHuge() const { return false; }
  void Fixed(int ADecimals, TDigits& ADigits) const {
    CurrencyFixed(CurrencyMagnitude(Value), ADecimals, ADigits);
  }
  void Significant(int ADigitCount, TDigits& ADigits) const {
    CurrencySignificant(CurrencyMagnitude(Value), ADigitCount, ADigits);
  }
  // Every digit of the Currency, without trailing zeros.
  void General(std::string& AOut, const TFormatSettings& ASettings) const {
    TDigits digits;
    IntegerImage(CurrencyMagnitude(Value), 4, digits);
    if (IsNegative()) AOut += '-';
    AppendGeneral(AOut, digits, ASettings.DecimalSeparator);
  }
};

// Fixed notation with exactly ADecimals fraction digits and optional thousands separators.
void AppendFixed(std::string& AOut, const TDigits& ADigits, int ADecimals, bool AThousands,
                 const TFormatSettings& ASettings) {
  const int intLength = ADigits.Count == 0 ? 0 : std::max(ADigits.Exponent, 0);
  if (intLength == 0) AOut += '0';
  for (int place = intLength - 1; place >= 0; --place) {
    AOut += ADigits.At(ADigits.Exponent - 1 - place);
    if (AThousands && place > 0 && place % 3 == 0) AOut += ASettings.ThousandSeparator;
  }
  if (ADecimals > 0) {
    AOut += ASettings.DecimalSeparator;
    for (int j = 0; j < ADecimals; ++j) AOut += ADigits.At(ADigits.Exponent + j);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Currency

Currency Currency::FromDouble(double AValue) {
  // Half away from zero on the scaled value; 2^63 is the first value outside the range, and
  // the comparisons are exact in double. NaN fails them too.
  const double rounded = std::round(AValue * 10000.0);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    throw EOverflow("Floating point overflow");
  }
  return FromRaw(static_cast<std::int64_t>(rounded));
}

// ---------------------------------------------------------------------------------------------
// Formatting numbers

std::string FormatFloat(const std::string& AFormat, double AValue,
                        const TFormatSettings& ASettings) {
  if (AFormat.empty() || !std::isfinite(AValue)) return FloatToStr(AValue, ASettings);
  return FormatMasked(AFormat, TDoubleSource{AValue}, ASettings);
}

std::string FormatCurr(const std::string& AFormat, Currency AValue,
                       const TFormatSettings& ASettings) {
  const TCurrencySource source{AValue};
  if (AFormat.empty()) {
    std::string out;
    source.General(out, ASettings);
    return out;
  }
  return FormatMasked(AFormat, source, ASettings);
}

std::string FloatToStr(double AValue, const TFormatSettings& ASettings) {
  if (std::isnan(AValue)) return "NAN";
  if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
  std::string out;
  TDigits digits;
  DoubleSignificant(std::fabs(AValue), 15, digits);
  if (AValue < 0 && digits.Count > 0) out += '-';
  AppendGeneral(out, digits, ASettings.DecimalSeparator);
  return out;
}

std::string FloatToStrFixed(double AValue, int ADigits, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue) || std::fabs(AValue) >= 1e15) return FloatToStr(AValue, ASettings);
  ADigits = std::clamp(ADigits, 0, 18);
  TDigits digits;
  DoubleFixed(std::fabs(AValue), ADigits, digits);
  std::string out;
  if (AValue < 0 && digits.Count > 0) out += '-';
  AppendFixed(out, digits, ADigits, false, ASettings);
  return out;
}

std::string CurrToStrCurrency(Currency AValue, int ADigits, const TFormatSettings& ASettings) {
  ADigits = std::clamp(ADigits, 0, 18);
  TDigits digits;
  CurrencyFixed(CurrencyMagnitude(AValue), ADigits, digits);
  std::string number;
  AppendFixed(number, digits, ADigits, true, ASettings);
  const std::string& symbol = ASettings.CurrencyString;
  std::string out;
  out.reserve(number.size() + symbol.size() + 4);
  if (AValue.GetRaw() >= 0 || digits.Count == 0) {
    // 0 = $1, 1 = 1$, 2 = $ 1, 3 = 1 $
    switch (ASettings.CurrencyFormat) {
      case 1:
        return number + symbol;
      case 2:
        return symbol + " " + number;
      case 3:
        return number + " " + symbol;
      default:
        return symbol + number;
    }
  }
  switch (ASettings.NegCurrFormat) {
    case 1:
      return "-" + symbol + number;  // -$1
    case 2:
      return symbol + "-" + number;  // $-1
    case 3:
      return symbol + number + "-";  // $1-
    case 4:
      return "(" + number + symbol + ")";  // (1$)
    case 5:
      return "-" + number + symbol;  // -1$
    case 6:
      return number + "-" + symbol;  // 1-$
    case 7:
      return number + symbol + "-";  // 1$-
    case 8:
      return "-" + number + " " + symbol;  // -1 $
    case 9:
      return "-" + symbol + " " + number;  // -$ 1
    case 10:
      return number + " " + symbol + "-";  // 1 $-
    case 11:
      return symbol + " " + number + "-";  // $ 1-
    case 12:
      return symbol + " -" + number;  // $ -1
    case 13:
      return number + "- " + symbol;  // 1- $
    case 14:
      return "(" + symbol + " " + number + ")";  // ($ 1)
    case 15:
      return "(" + number + " " + symbol + ")";  // (1 $)
    default:
      return "(" + symbol + number + ")";  // ($1)
  }
}

// ---------------------------------------------------------------------------------------------
// Reading numbers

namespace {

// The parts of "[sign] digits [sep digits] [e [sign] digits]", strictly: at least one
// mantissa digit, one separator at most, and digits after an exponent letter.
struct TNumberText {
  bool Negative = false;
  std::string_view IntDigits;
  std::string_view FracDigits;
  long Exponent = 0;
};

bool ParseNumberText(const std::string& AStr, char ADecimalSeparator, TNumberText& AResult) {
  std::size_t begin = 0;
  std::size_t end = AStr.size();
  while (begin < end && AStr[begin] == ' ') ++begin;
  while (end > begin && AStr[end - 1] == ' ') --end;
  const std::string_view text(AStr.data() + begin, end - begin);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) AResult.Negative = text[i++] == '-';
  auto digitRun = [&]() {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return text.substr(start, i - start);
  };
  AResult.IntDigits = digitRun();
  if (i < text.size() && text[i] == ADecimalSeparator) {
    ++i;
    AResult.FracDigits = digitRun();
  }
  if (AResult.IntDigits.empty() && AResult.FracDigits.empty()) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    const std::string_view exponentDigits = digitRun();
    if (exponentDigits.empty()) return false;
    long exponent = 0;
    for (const char c : exponentDigits) exponent = std::min(exponent * 10 + (c - '0'), 100000L);
    AResult.Exponent = negativeExponent ? -exponent : exponent;
  }
  return i == text.size();
}

// A "C" locale for strtod_l, so that the process locale never changes how numbers read.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

bool TryStrToFloat(const std::string& AStr, double& AValue, const TFormatSettings& ASettings) {
  TNumberText number;
  if (!ParseNumberText(AStr, ASettings.DecimalSeparator, number)) return false;
  std::string text;
  text.reserve(number.IntDigits.size() + number.FracDigits.size() + 12);
  if (number.Negative) text += '-';
  text.append(number.IntDigits.empty() ? std::string_view("0") : number.IntDigits);
  text += '.';
  text.append(number.FracDigits);
  text += 'e';
  text += std::to_string(number.Exponent);
  const double value = strtod_l(text.c_str(), nullptr, CLocale());
  // Overflow is an error; underflow gives the nearest double (zero or a subnormal).
  if (std::isinf(value)) return false;
  AValue = value;
  return true;
}

double StrToFloat(const std::string& AStr, const TFormatSettings& ASettings) {
  double value = 0;
  if (!TryStrToFloat(AStr, value, ASettings)) {
    throw EConvertError("'%s' is not a valid floating point value", {AStr});
  }
  return value;
}

Currency StrToCurr(const std::string& AStr, const TFormatSettings& ASettings) {
  TNumberText number;
  if (!ParseNumberText(AStr, ASettings.DecimalSeparator, number)) {
    throw EConvertError("'%s' is not a valid floating point value", {AStr});
  }
  // All mantissa digits in one run; the value is digits x 10^(scale) with scale counted so
  // that the raw Currency (value x 10^4) keeps the first 4 + Exponent fraction digits.
  std::string digits;
  digits.reserve(number.IntDigits.size() + number.FracDigits.size());
  digits.append(number.IntDigits);
  digits.append(number.FracDigits);
  const long kept = static_cast<long>(number.IntDigits.size()) + 4 +
                    number.Exponent;  // digits before the raw point
  std::uint64_t raw = 0;
  const std::uint64_t limit = number.Negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  auto overflow = [&]() {
    throw EConvertError("'%s' is not a valid floating point value", {AStr});
  };
  long position = 0;
  for (; position < static_cast<long>(digits.size()) && position < kept; ++position) {
    const auto digit = static_cast<std::uint64_t>(digits[static_cast<std::size_t>(position)] - '0');
    if (raw > (limit - digit) / 10) overflow();
    raw = raw * 10 + digit;
  }
  for (long k = static_cast<long>(digits.size()); k < kept; ++k) {
    if (raw > limit / 10) overflow();
    raw *= 10;
  }
  // Digits past the fourth decimal round half to even, as the host's FPU-based conversion does.
  if (kept >= 0 && position < static_cast<long>(digits.size())) {
    const char first = digits[static_cast<std::size_t>(position)];
    bool restNonZero = false;
    for (std::size_t k = static_cast<std::size_t>(position) + 1; k < digits.size(); ++k) {
      if (digits[k] != '0') {
        restNonZero = true;
        break;
      }
    }
    const bool roundUp = first > '5' || (first == '5' && (restNonZero || (raw % 2) == 1));
    if (roundUp) {
      if (raw >= limit) overflow();
      ++raw;
    }
  }
  const std::int64_t value =
      number.Negative ? static_cast<std::int64_t>(0 - raw) : static_cast<std::int64_t>(raw);
  return Currency::FromRaw(value);
}

// ---------------------------------------------------------------------------------------------
// Calendar

namespace {

constexpr double MSecsPerDay = 86400000.0;
constexpr std::int64_t IMSecsPerDay = 86400000;

// Days from 1899-12-30 to a date of the proleptic Gregorian calendar (any year).
std::int64_t DaysFromCivil(std::int64_t AYear, int AMonth, int ADay) {
  AYear -= AMonth <= 2 ? 1 : 0;
  const std::int64_t era = (AYear >= 0 ? AYear : AYear - 399) / 400;
  const std::int64_t yearOfEra = AYear - era * 400;
  const std::int64_t dayOfYear = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  // 693899 is the day count of 1899-12-30 from 0000-03-01.
  return era * 146097 + dayOfEra - 693899;
}

void CivilFromDays(std::int64_t ADays, int& AYear, int& AMonth, int& ADay) {
  const std::int64_t z = ADays + 693899;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  ADay = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  AMonth = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  AYear = static_cast<int>(yearOfEra + era * 400 + (AMonth <= 2 ? 1 : 0));
}

int DaysInMonth(int AYear, int AMonth) {
  static constexpr std::array<int, 12> Days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : Days[static_cast<std::size_t>(AMonth - 1)];
}

// A serial split into calendar parts after rounding to the millisecond. A time of day that
// rounds up to midnight moves the moment to the next day.
struct TDateParts {
  std::int64_t Days = 0;  // days since 1899-12-30
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
  int DayOfWeek = 7;  // 1 = Sunday
};

// Serials outside years 1..9999 (and NaN) cannot be shown as dates.
constexpr double MinSerial = -693594.0;
constexpr double MaxSerial = 2958466.0;

TDateParts SplitDateTime(TDateTime AValue) {
  if (!(AValue > MinSerial && AValue < MaxSerial)) {
    throw EConvertError("Invalid date/time value");
  }
  TDateParts parts;
  const double whole = std::trunc(AValue);
  parts.Days = static_cast<std::int64_t>(whole);
  std::int64_t milliSeconds = std::llround(std::fabs(AValue - whole) * MSecsPerDay);
  if (milliSeconds >= IMSecsPerDay) {
    milliSeconds -= IMSecsPerDay;
    ++parts.Days;
  }
  CivilFromDays(parts.Days, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(milliSeconds / 3600000);
  parts.Minute = static_cast<int>(milliSeconds / 60000 % 60);
  parts.Second = static_cast<int>(milliSeconds / 1000 % 60);
  parts.MilliSecond = static_cast<int>(milliSeconds % 1000);
  // 1899-12-30 was a Saturday.
  parts.DayOfWeek = static_cast<int>(((parts.Days % 7) + 7 + 6) % 7) + 1;
  return parts;
}

}  // namespace

bool IsLeapYear(int AYear) { return (AYear % 4 == 0 && AYear % 100 != 0) || AYear % 400 == 0; }

bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AValue) {
  if (AYear < 1 || AYear > 9999 || AMonth < 1 || AMonth > 12 || ADay < 1 ||
      ADay > DaysInMonth(AYear, AMonth)) {
    return false;
  }
  AValue = static_cast<double>(DaysFromCivil(AYear, AMonth, ADay));
  return true;
}

bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond, TDateTime& AValue) {
  if (AHour < 0 || AHour > 23 || AMinute < 0 || AMinute > 59 || ASecond < 0 || ASecond > 59 ||
      AMilliSecond < 0 || AMilliSecond > 999) {
    return false;
  }
  AValue = (((AHour * 60.0 + AMinute) * 60.0 + ASecond) * 1000.0 + AMilliSecond) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int AYear, int AMonth, int ADay) {
  TDateTime value = 0;
  if (!TryEncodeDate(AYear, AMonth, ADay, value)) {
    throw EConvertError("Invalid argument to date encode");
  }
  return value;
}

TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond) {
  TDateTime value = 0;
  if (!TryEncodeTime(AHour, AMinute, ASecond, AMilliSecond, value)) {
    throw EConvertError("Invalid argument to time encode");
  }
  return value;
}

void DecodeDate(TDateTime AValue, int& AYear, int& AMonth, int& ADay) {
  const TDateParts parts = SplitDateTime(AValue);
  AYear = parts.Year;
  AMonth = parts.Month;
  ADay = parts.Day;
}

void DecodeTime(TDateTime AValue, int& AHour, int& AMinute, int& ASecond, int& AMilliSecond) {
  const TDateParts parts = SplitDateTime(AValue);
  AHour = parts.Hour;
  AMinute = parts.Minute;
  ASecond = parts.Second;
  AMilliSecond = parts.MilliSecond;
}

int DayOfWeek(TDateTime AValue) { return SplitDateTime(AValue).DayOfWeek; }

// ---------------------------------------------------------------------------------------------
// Formatting dates

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithText(std::string_view AText, std::size_t AIndex, std::string_view APrefix) {
  if (AIndex + APrefix.size() > AText.size()) return false;
  for (std::size_t k = 0; k < APrefix.size(); ++k) {
    if (UpperAscii(AText[AIndex + k]) != UpperAscii(APrefix[k])) return false;
  }
  return true;
}

// One level of a date pattern. Nested patterns (c, ddddd, t, ...) run one level deeper; a
// pattern nested inside a nested one is dropped, so settings that name themselves end.
class TDateFormatter {
 public:
  TDateFormatter(std::string& AOut, const TDateParts& AParts, const TFormatSettings& ASettings)
      : FOut(AOut), FParts(AParts), FSettings(ASettings) {}

  void Append(std::string_view AFormat, int ALevel) {
    if (ALevel > 2) return;
    char lastToken = ' ';
    bool use12Hour = false;
    std::size_t i = 0;
    while (i < AFormat.size()) {
      const char c = AFormat[i];
      char token = UpperAscii(c);
      const bool letter = token >= 'A' && token <= 'Z';
      if (letter) {
        // m right after an hour (blanks and punctuation between do not count) means minutes.
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      std::size_t count = 1;
      while (i + count < AFormat.size() && AFormat[i + count] == c) ++count;
      switch (token) {
        case 'Y':
          if (count <= 2) {
            AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Year % 100), 2);
          } else {
            AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Year), 4);
          }
          break;
        case 'M':
          if (count <= 2) {
            AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Month), static_cast<int>(count));
          } else {
            const auto& names = count == 3 ? FSettings.ShortMonthNames : FSettings.LongMonthNames;
            FOut += names[static_cast<std::size_t>(FParts.Month - 1)];
          }
          break;
        case 'D':
          if (count <= 2) {
            AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Day), static_cast<int>(count));
          } else if (count <= 4) {
            const auto& names = count == 3 ? FSettings.ShortDayNames : FSettings.LongDayNames;
            FOut += names[static_cast<std::size_t>(FParts.DayOfWeek - 1)];
          } else {
            Append(count == 5 ? FSettings.ShortDateFormat : FSettings.LongDateFormat, ALevel + 1);
          }
          break;
        case 'H': {
          use12Hour = use12Hour || TwelveHourFollows(AFormat, i + count);
          int hour = FParts.Hour;
          if (use12Hour) hour = hour % 12 == 0 ? 12 : hour % 12;
          AppendDigits(FOut, static_cast<std::uint64_t>(hour), count >= 2 ? 2 : 1);
          break;
        }
        case 'N':
          AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Minute), count >= 2 ? 2 : 1);
          break;
        case 'S':
          AppendDigits(FOut, static_cast<std::uint64_t>(FParts.Second), count >= 2 ? 2 : 1);
          break;
        case 'Z':
          AppendDigits(FOut, static_cast<std::uint64_t>(FParts.MilliSecond), count >= 2 ? 3 : 1);
          break;
        case 'T':
          Append(count == 1 ? FSettings.ShortTimeFormat : FSettings.LongTimeFormat, ALevel + 1);
          break;
        case 'C':
          Append(FSettings.ShortDateFormat, ALevel + 1);
          if (FParts.Hour != 0 || FParts.Minute != 0 || FParts.Second != 0) {
            FOut += ' ';
            Append(FSettings.LongTimeFormat, ALevel + 1);
          }
          break;
        case 'A':
          i += AppendAmPm(AFormat, i);
          continue;
        default:
          if (c == '"' || c == '\'') {
            const std::size_t close = AFormat.find(c, i + 1);
            const std::size_t textEnd = close == std::string_view::npos ? AFormat.size() : close;
            FOut.append(AFormat.substr(i + 1, textEnd - (i + 1)));
            i = close == std::string_view::npos ? AFormat.size() : close + 1;
            continue;
          }
          // Separators become the settings' ones; every other character, letters that name
          // nothing included, is copied as written.
          for (std::size_t k = 0; k < count; ++k) {
            FOut += c == '/' ? FSettings.DateSeparator : (c == ':' ? FSettings.TimeSeparator : c);
          }
          break;
      }
      i += count;
    }
  }

 private:
  // Whether the hour at AFrom uses the 12-hour clock: the first unquoted 'a' after it must
  // start am/pm, a/p or ampm; the next hour or any other 'a' ends the search.
  static bool TwelveHourFollows(std::string_view AFormat, std::size_t AFrom) {
    bool quoted = false;
    for (std::size_t k = AFrom; k < AFormat.size(); ++k) {
      const char c = AFormat[k];
      if (c == '"' || c == '\'') {
        quoted = !quoted;
      } else if (!quoted && (c == 'a' || c == 'A')) {
        return StartsWithText(AFormat, k, "am/pm") || StartsWithText(AFormat, k, "a/p") ||
               StartsWithText(AFormat, k, "ampm");
      } else if (!quoted && (c == 'h' || c == 'H')) {
        return false;
      }
    }
    return false;
  }

  // am/pm and a/p copy the letters of the pattern; ampm writes the settings' strings; an 'a'
  // that starts none of them is a literal. Returns the characters consumed.
  std::size_t AppendAmPm(std::string_view AFormat, std::size_t AIndex) {
    const bool morning = FParts.Hour < 12;
    if (StartsWithText(AFormat, AIndex, "am/pm")) {
      FOut.append(AFormat.substr(morning ? AIndex : AIndex + 3, 2));
      return 5;
    }
    if (StartsWithText(AFormat, AIndex, "a/p")) {
      FOut += AFormat[morning ? AIndex : AIndex + 2];
      return 3;
    }
    if (StartsWithText(AFormat, AIndex, "ampm")) {
      FOut += morning ? FSettings.TimeAMString : FSettings.TimePMString;
      return 4;
    }
    FOut += AFormat[AIndex];
    return 1;
  }

  std::string& FOut;
  const TDateParts& FParts;
  const TFormatSettings& FSettings;
};

}  // namespace

std::string FormatDateTime(const std::string& AFormat, TDateTime AValue,
                           const TFormatSettings& ASettings) {
  const TDateParts parts = SplitDateTime(AValue);
  std::string out;
  out.reserve(AFormat.size() + 24);
  TDateFormatter(out, parts, ASettings)
      .Append(AFormat.empty() ? std::string_view("c") : AFormat, 1);
  return out;
}

std::string DateToStr(TDateTime AValue, const TFormatSettings& ASettings) {
  return FormatDateTime(ASettings.ShortDateFormat.empty() ? "ddddd" : ASettings.ShortDateFormat,
                        AValue, ASettings);
}

std::string TimeToStr(TDateTime AValue, const TFormatSettings& ASettings) {
  return FormatDateTime(ASettings.LongTimeFormat.empty() ? "tt" : ASettings.LongTimeFormat, AValue,
                        ASettings);
}

std::string DateTimeToStr(TDateTime AValue, const TFormatSettings& ASettings) {
  return FormatDateTime("c", AValue, ASettings);
}

// ---------------------------------------------------------------------------------------------
// Reading dates

namespace {

// Blanks inside a date or time text: any control byte or space except NUL.
bool IsDateBlank(char c) { return c != 0 && static_cast<unsigned char>(c) <= ' '; }

// A cursor over the text; every scan skips the blanks before what it looks for.
struct TDateScanner {
  std::string_view Text;
  std::size_t Pos = 0;

  void SkipBlanks() {
    while (Pos < Text.size() && IsDateBlank(Text[Pos])) ++Pos;
  }
  bool AtEnd() {
    SkipBlanks();
    return Pos >= Text.size();
  }
  bool Number(int& AValue, int& ADigits) {
    SkipBlanks();
    const std::size_t start = Pos;
    int value = 0;
    while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9') {
      value = std::min(value * 10 + (Text[Pos] - '0'), 1000000);
      ++Pos;
    }
    ADigits = static_cast<int>(Pos - start);
    AValue = value;
    return ADigits > 0;
  }
  bool Char(char AChar) {
    SkipBlanks();
    if (Pos < Text.size() && Text[Pos] == AChar) {
      ++Pos;
      return true;
    }
    return false;
  }
  bool String(const std::string& AString) {
    SkipBlanks();
    if (AString.empty() || !StartsWithText(Text, Pos, AString)) return false;
    Pos += AString.size();
    return true;
  }
};

enum TDateOrder : std::uint8_t { doMDY = 0, doDMY = 1, doYMD = 2 };

TDateOrder DateOrder(const std::string& AShortDateFormat) {
  for (const char c : AShortDateFormat) {
    switch (UpperAscii(c)) {
      case 'D':
        return doDMY;
      case 'Y':
        return doYMD;
      case 'M':
        return doMDY;
      default:
        break;
    }
  }
  return doMDY;
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// Two or three numbers between date separators, in the settings' order; a trailing separator
// is allowed. Two numbers mean the current year; a year of one or two digits is placed in the
// century window.
bool ScanDate(TDateScanner& AScanner, const TFormatSettings& ASettings, TDateTime& AValue) {
  int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
  const char separator = ASettings.DateSeparator;
  if (!(AScanner.Number(n1, l1) && AScanner.Char(separator) && AScanner.Number(n2, l2))) {
    return false;
  }
  const TDateOrder order = DateOrder(ASettings.ShortDateFormat);
  int year = 0, month = 0, day = 0;
  int yearDigits = 4;
  if (AScanner.Char(separator)) {
    if (!AScanner.Number(n3, l3)) return false;
    switch (order) {
      case doMDY:
        year = n3, yearDigits = l3, month = n1, day = n2;
        break;
      case doDMY:
        year = n3, yearDigits = l3, month = n2, day = n1;
        break;
      case doYMD:
        year = n1, yearDigits = l1, month = n2, day = n3;
        break;
    }
    // A trailing separator ends the date; it never runs into a time ("1.2.3.4" is no date).
    if (AScanner.Char(separator) && AScanner.Pos < AScanner.Text.size() &&
        !IsDateBlank(AScanner.Text[AScanner.Pos])) {
      return false;
    }
  } else {
    year = CurrentYear();
    if (order == doDMY) {
      day = n1, month = n2;
    } else {
      month = n1, day = n2;
    }
  }
  if (yearDigits <= 2) {
    const int window = ASettings.TwoDigitYearCenturyWindow;
    const int centuryBase = CurrentYear() - window;
    year += centuryBase / 100 * 100;
    if (window > 0 && year < centuryBase) year += 100;
  }
  return TryEncodeDate(year, month, day, AValue);
}

// Reads the host's AM/PM markers: the settings' strings first, then "AM"/"PM".
int ScanAmPm(TDateScanner& AScanner, const TFormatSettings& ASettings) {
  if (AScanner.String(ASettings.TimeAMString) || AScanner.String("AM")) return 0;
  if (AScanner.String(ASettings.TimePMString) || AScanner.String("PM")) return 12;
  return -1;
}

// hour[:minute[:second[<decimal separator>milliseconds]]] with an AM/PM marker before or
// after; a marker needs an hour from 1 to 12.
bool ScanTime(TDateScanner& AScanner, const TFormatSettings& ASettings, TDateTime& AValue) {
  int baseHour = ScanAmPm(AScanner, ASettings);
  int hour = 0, minute = 0, second = 0, milliSecond = 0, digits = 0;
  if (!AScanner.Number(hour, digits)) return false;
  if (AScanner.Char(ASettings.TimeSeparator)) {
    if (!AScanner.Number(minute, digits)) return false;
    if (AScanner.Char(ASettings.TimeSeparator)) {
      if (!AScanner.Number(second, digits)) return false;
      if (AScanner.Char(ASettings.DecimalSeparator) && !AScanner.Number(milliSecond, digits)) {
        return false;
      }
    }
  }
  if (baseHour < 0) baseHour = ScanAmPm(AScanner, ASettings);
  if (baseHour >= 0) {
    if (hour == 0 || hour > 12) return false;
    if (hour == 12) hour = 0;
    hour += baseHour;
  }
  return TryEncodeTime(hour, minute, second, milliSecond, AValue);
}

bool TryStrToDatePart(const std::string& AStr, const TFormatSettings& ASettings,
                      TDateTime& AValue) {
  TDateScanner scanner{AStr};
  return ScanDate(scanner, ASettings, AValue) && scanner.AtEnd();
}

bool TryStrToTimePart(const std::string& AStr, const TFormatSettings& ASettings,
                      TDateTime& AValue) {
  TDateScanner scanner{AStr};
  return ScanTime(scanner, ASettings, AValue) && scanner.AtEnd();
}

// A date, optionally followed by a time; failing that, a time alone.
bool TryStrToDateTimePart(const std::string& AStr, const TFormatSettings& ASettings,
                          TDateTime& AValue) {
  TDateScanner scanner{AStr};
  TDateTime date = 0;
  TDateTime time = 0;
  if (ScanDate(scanner, ASettings, date) &&
      (scanner.AtEnd() || (ScanTime(scanner, ASettings, time) && scanner.AtEnd()))) {
    AValue = date >= 0 ? date + time : date - time;
    return true;
  }
  return TryStrToTimePart(AStr, ASettings, AValue);
}

}  // namespace

TDateTime StrToDateTime(const std::string& AStr, const TFormatSettings& ASettings) {
  TDateTime value = 0;
  if (!TryStrToDateTimePart(AStr, ASettings, value)) {
    throw EConvertError("'%s' is not a valid date and time", {AStr});
  }
  return value;
}

TDateTime StrToDate(const std::string& AStr, const TFormatSettings& ASettings) {
  TDateTime value = 0;
  if (!TryStrToDatePart(AStr, ASettings, value)) {
    throw EConvertError("'%s' is not a valid date", {AStr});
  }
  return value;
}

TDateTime StrToTime(const std::string& AStr, const TFormatSettings& ASettings) {
  TDateTime value = 0;
  if (!TryStrToTimePart(AStr, ASettings, value)) {
    throw EConvertError("'%s' is not a valid time", {AStr});
  }
  return value;
}

// ---------------------------------------------------------------------------------------------
// Settings from the C library's locales

namespace {

// Owns a locale_t.
struct TLocaleDeleter {
  void operator()(locale_t ALocale) const {
    if (ALocale != static_cast<locale_t>(nullptr)) freelocale(ALocale);
  }
};
using TLocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, TLocaleDeleter>;

std::string LocaleText(nl_item AItem, locale_t ALocale) {
  const char* text = nl_langinfo_l(AItem, ALocale);
  return text != nullptr ? std::string(text) : std::string();
}

int LocaleNumber(nl_item AItem, locale_t ALocale) {
  const char* text = nl_langinfo_l(AItem, ALocale);
  return text != nullptr ? static_cast<signed char>(text[0]) : -1;
}

// The "C" and "POSIX" locales (and C.UTF-8) keep the host's US defaults for a category.
bool IsNeutralLocale(int ACategory, locale_t ALocale) {
  const std::string name = LocaleText(_NL_LOCALE_NAME(ACategory), ALocale);
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// The host keeps separators as one byte. Multi-byte ones (the no-break spaces of some
// locales) become a blank; an empty one keeps the default.
char SeparatorChar(const std::string& AText, char ADefault) {
  if (AText.size() == 1) return AText[0];
  if (AText == "\xC2\xA0" || AText == "\xE2\x80\xAF" || AText == "\xE2\x80\x89") return ' ';
  return ADefault;
}

// Negative currency layout: the host's 16 patterns from the C library's three settings.
std::uint8_t NegCurrFormatFor(bool APrecedes, bool ASpace, int ASignPosition) {
  // Rows: sign position 0 (parentheses) to 4; columns: precedes/space combinations.
  static constexpr std::array<std::array<std::uint8_t, 4>, 5> Table{{
      // after, after+space, before, before+space
      {4, 15, 0, 14},  // (1$) (1 $) ($1) ($ 1)
      {5, 8, 1, 9},    // -1$ -1 $ -$1 -$ 1
      {7, 10, 3, 11},  // 1$- 1 $- $1- $ 1-
      {6, 13, 1, 9},   // 1-$ 1- $ -$1 -$ 1
      {7, 10, 2, 12},  // 1$- 1 $- $-1 $ -1
  }};
  const int row = ASignPosition >= 0 && ASignPosition <= 4 ? ASignPosition : 1;
  return Table[static_cast<std::size_t>(row)]
              [(APrecedes ? std::size_t{2} : 0) + (ASpace ? std::size_t{1} : 0)];
}

// Turns a strftime pattern ("%d.%m.%Y", "%I:%M:%S %p") into the host's pattern language and
// reports the first separator between two fields.
std::string HostPattern(const std::string& AStrftime, char& ASeparator) {
  std::string out;
  bool fieldSeen = false;
  bool separatorSeen = false;
  for (std::size_t i = 0; i < AStrftime.size(); ++i) {
    const char c = AStrftime[i];
    if (c != '%' || i + 1 >= AStrftime.size()) {
      if (fieldSeen && !separatorSeen && c != ' ') {
        ASeparator = c;
        separatorSeen = true;
      }
      // Literal letters are quoted so that the host pattern does not read them as fields.
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      if (letter) out += '"';
      out += c;
      if (letter) out += '"';
      continue;
    }
    char directive = AStrftime[++i];
    if (directive == 'E' || directive == 'O') {
      if (i + 1 >= AStrftime.size()) break;
      directive = AStrftime[++i];
    }
    fieldSeen = true;
    switch (directive) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "mm";
        break;
      case 'b':
      case 'h':
        out += "mmm";
        break;
      case 'B':
        out += "mmmm";
        break;
      case 'a':
        out += "ddd";
        break;
      case 'A':
        out += "dddd";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
      case 'C':
        out += "yyyy";
        break;
      case 'H':
        out += "hh";
        break;
      case 'k':
        out += "h";
        break;
      case 'I':
        out += "hh";
        break;
      case 'l':
        out += "h";
        break;
      case 'M':
        out += "nn";
        break;
      case 'S':
        out += "ss";
        break;
      case 'p':
      case 'P':
        out += "AMPM";
        break;
      case 'D':
        out += "mm/dd/yy";
        break;
      case 'F':
        out += "yyyy-mm-dd";
        break;
      case 'T':
        out += "hh:nn:ss";
        break;
      case 'R':
        out += "hh:nn";
        break;
      case 'r':
        out += "hh:nn:ss AMPM";
        break;
      case '%':
        out += '%';
        break;
      default:
        break;
    }
  }
  return out;
}

// The separators of the host pattern are '/' and ':', which stand for the settings' ones.
std::string WithHostSeparators(std::string APattern, char ADateSeparator, char ATimeSeparator,
                               bool ADate) {
  const char from = ADate ? ADateSeparator : ATimeSeparator;
  const char to = ADate ? '/' : ':';
  for (char& c : APattern) {
    if (c == from) c = to;
  }
  return APattern;
}

TFormatSettings SettingsFromLocale(locale_t ALocale) {
  TFormatSettings settings;
  if (!IsNeutralLocale(LC_NUMERIC, ALocale)) {
    settings.DecimalSeparator = SeparatorChar(LocaleText(RADIXCHAR, ALocale), '.');
    const char fallback = settings.DecimalSeparator == ',' ? '.' : ',';
    settings.ThousandSeparator = SeparatorChar(LocaleText(THOUSEP, ALocale), fallback);
    if (settings.ThousandSeparator == settings.DecimalSeparator)
      settings.ThousandSeparator = fallback;
    settings.ListSeparator = settings.DecimalSeparator == ',' ? ';' : ',';
  }
  if (!IsNeutralLocale(LC_MONETARY, ALocale)) {
    const std::string symbol = LocaleText(CURRENCY_SYMBOL, ALocale);
    if (!symbol.empty()) settings.CurrencyString = symbol;
    const int decimals = LocaleNumber(FRAC_DIGITS, ALocale);
    if (decimals >= 0 && decimals <= 18)
      settings.CurrencyDecimals = static_cast<std::uint8_t>(decimals);
    const bool precedes = LocaleNumber(P_CS_PRECEDES, ALocale) == 1;
    const bool space = LocaleNumber(P_SEP_BY_SPACE, ALocale) == 1;
    settings.CurrencyFormat = static_cast<std::uint8_t>((precedes ? 0 : 1) + (space ? 2 : 0));
    settings.NegCurrFormat = NegCurrFormatFor(LocaleNumber(N_CS_PRECEDES, ALocale) == 1,
                                              LocaleNumber(N_SEP_BY_SPACE, ALocale) == 1,
                                              LocaleNumber(N_SIGN_POSN, ALocale));
  }
  if (!IsNeutralLocale(LC_TIME, ALocale)) {
    for (int k = 0; k < 12; ++k) {
      settings.ShortMonthNames[static_cast<std::size_t>(k)] = LocaleText(ABMON_1 + k, ALocale);
      settings.LongMonthNames[static_cast<std::size_t>(k)] = LocaleText(MON_1 + k, ALocale);
    }
    for (int k = 0; k < 7; ++k) {
      settings.ShortDayNames[static_cast<std::size_t>(k)] = LocaleText(ABDAY_1 + k, ALocale);
      settings.LongDayNames[static_cast<std::size_t>(k)] = LocaleText(DAY_1 + k, ALocale);
    }
    settings.TimeAMString = LocaleText(AM_STR, ALocale);
    settings.TimePMString = LocaleText(PM_STR, ALocale);
    char dateSeparator = '/';
    const std::string shortDate = HostPattern(LocaleText(D_FMT, ALocale), dateSeparator);
    settings.DateSeparator = dateSeparator;
    settings.ShortDateFormat = WithHostSeparators(shortDate, dateSeparator, ':', true);
    // The C library has no long date pattern; build one in the short date's order.
    switch (DateOrder(settings.ShortDateFormat)) {
      case doDMY:
        settings.LongDateFormat = "dddd, d. mmmm yyyy";
        break;
      case doYMD:
        settings.LongDateFormat = "dddd, yyyy mmmm d";
        break;
      case doMDY:
        settings.LongDateFormat = "dddd, mmmm d, yyyy";
        break;
    }
    char timeSeparator = ':';
    std::string timeFormat = HostPattern(LocaleText(T_FMT, ALocale), timeSeparator);
    if (timeFormat.empty()) timeFormat = "hh:nn:ss";
    settings.TimeSeparator = timeSeparator;
    settings.LongTimeFormat = WithHostSeparators(timeFormat, '/', timeSeparator, false);
    // The short time drops the seconds field and its separator.
    std::string shortTime = settings.LongTimeFormat;
    const std::size_t seconds = shortTime.find(":ss");
    if (seconds != std::string::npos) shortTime.erase(seconds, 3);
    settings.ShortTimeFormat = shortTime;
  }
  return settings;
}

}  // namespace

TFormatSettings& DefaultFormatSettings() {
  // The environment's locale (LANG, LC_ALL, LC_NUMERIC, ...) is read through a locale object
  // of its own, so the process locale and other threads are left alone.
  static TFormatSettings settings = [] {
    const TLocalePtr locale(newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr)));
    return locale ? SettingsFromLocale(locale.get()) : TFormatSettings();
  }();
  return settings;
}

TFormatSettings FormatSettingsFromLocale(const std::string& ALocaleName) {
  const TLocalePtr locale(
      newlocale(LC_ALL_MASK, ALocaleName.c_str(), static_cast<locale_t>(nullptr)));
  if (!locale) {
    throw EConvertError("Locale '%s' is not installed or not known", {ALocaleName});
  }
  return SettingsFromLocale(locale.get());
}

}  // namespace host
