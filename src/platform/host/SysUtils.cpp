#include "platform/host/SysUtils.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

namespace host {

namespace {

[[noreturn]] void FormatError(const std::string& AFormat) {
  // Built by hand: going through Format here would recurse on the same mismatch.
  throw EConvertError("Format '" + AFormat + "' invalid or incompatible with argument");
}

char UpCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LoCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the UTF-8 sequence that starts at AStr[i], or 1 for a byte that starts none.
std::size_t SequenceLength(std::string_view AStr, std::size_t i) {
  const auto lead = static_cast<unsigned char>(AStr[i]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (i + length > AStr.size()) return 1;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(AStr[i + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exceptions

Exception::Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}

Exception::Exception(const std::string& AFormat, const TVarRecs& AArgs)
    : FMessage(Format(AFormat, AArgs)) {}

Exception::~Exception() = default;

void Abort() { throw EAbort("Operation aborted"); }

// ---------------------------------------------------------------------------------------------
// Format

std::string Format(const std::string& AFormat, const TVarRecs& AArgs) {
  std::string result;
  result.reserve(AFormat.size() + 16);
  std::size_t argIndex = 0;
  std::size_t i = 0;
  const std::size_t n = AFormat.size();
  while (i < n) {
    const char c = AFormat[i];
    if (c != '%') {
      result += c;
      ++i;
      continue;
    }
    ++i;
    if (i >= n) FormatError(AFormat);
    if (AFormat[i] == '%') {
      result += '%';
      ++i;
      continue;
    }
    // [index ":"] ["-"] [width] ["." precision] type; '*' takes the number from the arguments.
    auto readNumber = [&](int& AValue) -> bool {
      if (i < n && AFormat[i] == '*') {
        if (argIndex >= AArgs.size() || AArgs[argIndex].GetKind() != TVarRec::vkInteger) {
          FormatError(AFormat);
        }
        AValue = static_cast<int>(AArgs[argIndex++].GetInteger());
        ++i;
        return true;
      }
      if (i >= n || AFormat[i] < '0' || AFormat[i] > '9') return false;
      AValue = 0;
      while (i < n && AFormat[i] >= '0' && AFormat[i] <= '9') {
        AValue = std::min(AValue * 10 + (AFormat[i] - '0'), 1 << 20);
        ++i;
      }
      return true;
    };
    int number = 0;
    bool leftAlign = false;
    int width = -1;
    int precision = -1;
    // The index is digits only; a '*' here is the width, read below with its argument.
    const std::size_t specStart = i;
    if (i < n && AFormat[i] != '*' && readNumber(number) && i < n && AFormat[i] == ':') {
      argIndex = static_cast<std::size_t>(number);
      ++i;
    } else {
      i = specStart;
    }
    if (i < n && AFormat[i] == '-') {
      leftAlign = true;
      ++i;
    }
    if (readNumber(number)) width = number;
    if (i < n && AFormat[i] == '.') {
      ++i;
      precision = readNumber(number) ? number : 0;
    }
    if (i >= n) FormatError(AFormat);
    const char type = LoCase(AFormat[i]);
    ++i;
    if (argIndex >= AArgs.size()) FormatError(AFormat);
    const TVarRec& arg = AArgs[argIndex++];
    std::string piece;
    char buffer[512];
    switch (type) {
      case 'd':
      case 'u': {
        if (arg.GetKind() != TVarRec::vkInteger) FormatError(AFormat);
        std::int64_t value = arg.GetInteger();
        if (type == 'u' && value < 0) value = static_cast<std::uint32_t>(value);
        piece = std::to_string(value < 0 ? -static_cast<std::uint64_t>(value)
                                         : static_cast<std::uint64_t>(value));
        if (precision > static_cast<int>(piece.size())) {
          piece.insert(0, static_cast<std::size_t>(precision) - piece.size(), '0');
        }
        if (value < 0) piece.insert(0, "-");
        break;
      }
      case 'x': {
        if (arg.GetKind() != TVarRec::vkInteger) FormatError(AFormat);
        std::snprintf(buffer, sizeof buffer, "%" PRIX64, static_cast<std::uint64_t>(arg.GetInteger()));
        piece = buffer;
        if (precision > static_cast<int>(piece.size())) {
          piece.insert(0, static_cast<std::size_t>(precision) - piece.size(), '0');
        }
        break;
      }
      case 's':
        if (arg.GetKind() != TVarRec::vkString) FormatError(AFormat);
        piece = arg.GetString();
        if (precision >= 0) piece = Utf8Left(piece, precision);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        if (arg.GetKind() != TVarRec::vkExtended && arg.GetKind() != TVarRec::vkInteger) {
          FormatError(AFormat);
        }
        const double value = arg.GetKind() == TVarRec::vkExtended
                                 ? arg.GetExtended()
                                 : static_cast<double>(arg.GetInteger());
        const TFormatSettings& settings = DefaultFormatSettings();
        if (type == 'g') {
          piece = FloatToStr(value, settings);
        } else if (type == 'm') {
          piece = CurrToStrCurrency(Currency::FromDouble(value),
                                    precision >= 0 ? precision : settings.CurrencyDecimals,
                                    settings);
        } else if (type == 'e') {
          // d.ddd...E+ddd with the precision as the digit count, through the host's own
          // mask so that the settings' decimal separator applies, not the C locale's.
          const int digits = std::clamp(precision >= 0 ? precision : 15, 1, 18);
          piece = FormatFloat(
              digits > 1 ? "0." + std::string(static_cast<std::size_t>(digits - 1), '0') + "E+000"
                         : std::string("0E+000"),
              value, settings);
        } else {
          const int digits = precision >= 0 ? std::min(precision, 18) : 2;
          piece = type == 'n' ? FormatFloat(digits > 0 ? "#,##0." + std::string(static_cast<std::size_t>(digits), '0')
                                                       : std::string("#,##0"),
                                            value, settings)
                              : FloatToStrFixed(value, digits, settings);
        }
        break;
      }
      case 'p': {
        if (arg.GetKind() != TVarRec::vkPointer && arg.GetKind() != TVarRec::vkInteger) {
          FormatError(AFormat);
        }
        std::snprintf(buffer, sizeof buffer, "%08" PRIX64,
                      static_cast<std::uint64_t>(arg.GetInteger()));
        piece = buffer;
        break;
      }
      default:
        FormatError(AFormat);
    }
    const int pieceLength = Utf8Length(piece);
    if (width > pieceLength) {
      const std::string pad(static_cast<std::size_t>(width - pieceLength), ' ');
      if (leftAlign) {
        piece += pad;
      } else {
        piece.insert(0, pad);
      }
    }
    result += piece;
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Strings

int Pos(const std::string& ASubStr, const std::string& AStr) {
  if (ASubStr.empty()) return 0;
  const auto found = AStr.find(ASubStr);
  return found == std::string::npos ? 0 : static_cast<int>(found) + 1;
}

std::string Copy(const std::string& AStr, int AIndex, int ACount) {
  if (AIndex < 1) AIndex = 1;
  if (ACount <= 0 || AIndex > static_cast<int>(AStr.size())) return {};
  return AStr.substr(static_cast<std::size_t>(AIndex - 1), static_cast<std::size_t>(ACount));
}

int Length(const std::string& AStr) { return static_cast<int>(AStr.size()); }

int CompareText(const std::string& AS1, const std::string& AS2) {
  const std::size_t n = std::min(AS1.size(), AS2.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto a = static_cast<unsigned char>(UpCase(AS1[i]));
    const auto b = static_cast<unsigned char>(UpCase(AS2[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (AS1.size() == AS2.size()) return 0;
  return AS1.size() < AS2.size() ? -1 : 1;
}

bool SameText(const std::string& AS1, const std::string& AS2) {
  return AS1.size() == AS2.size() && CompareText(AS1, AS2) == 0;
}

int CompareStr(const std::string& AS1, const std::string& AS2) {
  const int result = AS1.compare(AS2);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

std::string UpperCase(const std::string& AStr) {
  std::string result = AStr;
  for (char& c : result) c = UpCase(c);
  return result;
}

std::string LowerCase(const std::string& AStr) {
  std::string result = AStr;
  for (char& c : result) c = LoCase(c);
  return result;
}

namespace {
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::string Trim(const std::string& AStr) { return TrimLeft(TrimRight(AStr)); }

std::string TrimLeft(const std::string& AStr) {
  std::size_t start = 0;
  while (start < AStr.size() && IsTrimmed(AStr[start])) ++start;
  return AStr.substr(start);
}

std::string TrimRight(const std::string& AStr) {
  std::size_t end = AStr.size();
  while (end > 0 && IsTrimmed(AStr[end - 1])) --end;
  return AStr.substr(0, end);
}

int Utf8Length(std::string_view AStr) {
  int count = 0;
  for (std::size_t i = 0; i < AStr.size(); i += SequenceLength(AStr, i)) ++count;
  return count;
}

std::size_t Utf8Offset(std::string_view AStr, int AIndex) {
  std::size_t i = 0;
  for (int k = 0; k < AIndex && i < AStr.size(); ++k) i += SequenceLength(AStr, i);
  return std::min(i, AStr.size());
}

std::string Utf8Left(std::string_view AStr, int ACount) {
  if (ACount <= 0) return {};
  return std::string(AStr.substr(0, Utf8Offset(AStr, ACount)));
}

void Utf8Append(std::string& ADest, char32_t ACodePoint) {
  if (ACodePoint > 0x10FFFF || (ACodePoint >= 0xD800 && ACodePoint <= 0xDFFF)) {
    ACodePoint = 0xFFFD;
  }
  if (ACodePoint < 0x80) {
    ADest += static_cast<char>(ACodePoint);
  } else if (ACodePoint < 0x800) {
    ADest += static_cast<char>(0xC0 | (ACodePoint >> 6));
    ADest += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  } else if (ACodePoint < 0x10000) {
    ADest += static_cast<char>(0xE0 | (ACodePoint >> 12));
    ADest += static_cast<char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    ADest += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  } else {
    ADest += static_cast<char>(0xF0 | (ACodePoint >> 18));
    ADest += static_cast<char>(0x80 | ((ACodePoint >> 12) & 0x3F));
    ADest += static_cast<char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    ADest += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  }
}

// ---------------------------------------------------------------------------------------------
// Whole numbers

bool TryStrToInt(const std::string& AStr, std::int64_t& AValue) {
  // Leading blanks are skipped; then an optional sign, then decimal digits or '$' and hex
  // digits. Anything after the number (trailing blanks included) makes the text invalid.
  std::size_t i = 0;
  while (i < AStr.size() && AStr[i] == ' ') ++i;
  bool negative = false;
  if (i < AStr.size() && (AStr[i] == '-' || AStr[i] == '+')) {
    negative = AStr[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < AStr.size() && AStr[i] == '$') {
    base = 16;
    ++i;
  }
  if (i >= AStr.size()) return false;
  const std::uint64_t limit = negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                                       : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t value = 0;
  for (; i < AStr.size(); ++i) {
    const char c = AStr[i];
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0) return false;
    if (value > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
      return false;
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  AValue = negative ? static_cast<std::int64_t>(0 - value) : static_cast<std::int64_t>(value);
  return true;
}

std::int64_t StrToInt(const std::string& AStr) {
  std::int64_t value = 0;
  if (!TryStrToInt(AStr, value)) {
    throw EConvertError("'%s' is not a valid integer value", {AStr});
  }
  return value;
}

std::string IntToStr(std::int64_t AValue) { return std::to_string(AValue); }

// ---------------------------------------------------------------------------------------------
// Process

std::string ParamStr(int AIndex) {
  if (AIndex != 0) return {};
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace host
