#include "support/Vectors.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "support/TestSupport.h"

namespace veltrane::test {

namespace {

std::vector<std::string> SplitTabs(const std::string& ALine) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = ALine.find('\t', start);
    if (tab == std::string::npos) {
      parts.push_back(ALine.substr(start));
      return parts;
    }
    parts.push_back(ALine.substr(start, tab - start));
    start = tab + 1;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the file's escapes: \\ \t \n \r and \xHH; everything else is literal.
std::string Unescape(const std::string& AText, const std::string& AWhere) {
  std::string result;
  result.reserve(AText.size());
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c != '\\') {
      result += c;
      continue;
    }
    if (i + 1 >= AText.size()) throw std::runtime_error(AWhere + ": backslash at end of field");
    const char kind = AText[++i];
    switch (kind) {
      case '\\':
        result += '\\';
        break;
      case 't':
        result += '\t';
        break;
      case 'n':
        result += '\n';
        break;
      case 'r':
        result += '\r';
        break;
      case 'x': {
        const int high = i + 1 < AText.size() ? HexDigit(AText[i + 1]) : -1;
        const int low = i + 2 < AText.size() ? HexDigit(AText[i + 2]) : -1;
        if (high < 0 || low < 0) throw std::runtime_error(AWhere + ": broken \\x escape");
        result += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        throw std::runtime_error(AWhere + ": unknown escape \\" + std::string(1, kind));
    }
  }
  return result;
}

// Days from 1899-12-30 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromEpoch(int AYear, int AMonth, int ADay) {
  // Days since 0000-03-01 by the usual era arithmetic, minus the same for 1899-12-30.
  auto civil = [](std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
  };
  return civil(AYear, AMonth, ADay) - civil(1899, 12, 30);
}

double ParseDecimal(const std::string& AText, const std::string& AWhere) {
  double value = 0;
  const char* first = AText.data();
  const char* last = first + AText.size();
  if (!AText.empty() && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) {
    throw std::runtime_error(AWhere + ": not a number: '" + AText + "'");
  }
  return value;
}

bool HasBits(const TVectorRow& ARow) {
  const auto found = ARow.Columns.find("value_bits");
  return found != ARow.Columns.end() && found->second.size() == 18 &&
         found->second.compare(0, 2, "0x") == 0;
}

double FromBits(const std::string& ABits, const std::string& AWhere) {
  std::uint64_t bits = 0;
  const auto [end, error] =
      std::from_chars(ABits.data() + 2, ABits.data() + ABits.size(), bits, 16);
  if (error != std::errc() || end != ABits.data() + ABits.size()) {
    throw std::runtime_error(AWhere + ": bad value_bits '" + ABits + "'");
  }
  return std::bit_cast<double>(bits);
}

// Applies one "setting value" line of profiles.tsv to a settings record.
void ApplySetting(host::TFormatSettings& ASettings, const std::string& AName,
                  const std::string& AValue, const std::string& AWhere) {
  auto oneChar = [&]() {
    if (AValue.size() != 1) throw std::runtime_error(AWhere + ": " + AName + " is not one byte");
    return AValue[0];
  };
  auto number = [&]() { return static_cast<int>(ParseDecimal(AValue, AWhere)); };
  // Indexed names: "LongMonthNames[3]".
  const std::size_t bracket = AName.find('[');
  if (bracket != std::string::npos) {
    const std::string base = AName.substr(0, bracket);
    const int index = std::atoi(AName.c_str() + bracket + 1);
    auto put = [&](auto& AArray) {
      if (index < 1 || index > static_cast<int>(AArray.size())) {
        throw std::runtime_error(AWhere + ": index out of range in " + AName);
      }
      AArray[static_cast<std::size_t>(index - 1)] = AValue;
    };
    if (base == "ShortMonthNames") return put(ASettings.ShortMonthNames);
    if (base == "LongMonthNames") return put(ASettings.LongMonthNames);
    if (base == "ShortDayNames") return put(ASettings.ShortDayNames);
    if (base == "LongDayNames") return put(ASettings.LongDayNames);
    throw std::runtime_error(AWhere + ": unknown setting " + AName);
  }
  if (AName == "DecimalSeparator")
    ASettings.DecimalSeparator = oneChar();
  else if (AName == "ThousandSeparator")
    ASettings.ThousandSeparator = oneChar();
  else if (AName == "DateSeparator")
    ASettings.DateSeparator = oneChar();
  else if (AName == "TimeSeparator")
    ASettings.TimeSeparator = oneChar();
  else if (AName == "ListSeparator")
    ASettings.ListSeparator = oneChar();
  else if (AName == "CurrencyString")
    ASettings.CurrencyString = AValue;
  else if (AName == "CurrencyFormat")
    ASettings.CurrencyFormat = static_cast<std::uint8_t>(number());
  else if (AName == "NegCurrFormat")
    ASettings.NegCurrFormat = static_cast<std::uint8_t>(number());
  else if (AName == "CurrencyDecimals")
    ASettings.CurrencyDecimals = static_cast<std::uint8_t>(number());
  else if (AName == "ShortDateFormat")
    ASettings.ShortDateFormat = AValue;
  else if (AName == "LongDateFormat")
    ASettings.LongDateFormat = AValue;
  else if (AName == "TimeAMString")
    ASettings.TimeAMString = AValue;
  else if (AName == "TimePMString")
    ASettings.TimePMString = AValue;
  else if (AName == "ShortTimeFormat")
    ASettings.ShortTimeFormat = AValue;
  else if (AName == "LongTimeFormat")
    ASettings.LongTimeFormat = AValue;
  else if (AName == "TwoDigitYearCenturyWindow")
    ASettings.TwoDigitYearCenturyWindow = number();
  else
    throw std::runtime_error(AWhere + ": unknown setting " + AName);
}

}  // namespace

const std::string& TVectorRow::Get(const std::string& AColumn) const {
  const auto found = Columns.find(AColumn);
  if (found == Columns.end()) {
    throw std::out_of_range(File + ":" + std::to_string(Line) + ": no column '" + AColumn + "'");
  }
  return found->second;
}

bool TVectorRow::HasFlag(const std::string& AFlag) const {
  for (const std::string& flag : Flags) {
    if (flag == AFlag) return true;
  }
  return false;
}

std::string TVectorRow::Where() const {
  const auto id = Columns.find("id");
  return File + ":" + std::to_string(Line) +
         (id != Columns.end() ? " (id " + id->second + ")" : std::string());
}

std::vector<TVectorRow> ReadVectorFile(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open vector file " + APath.string());
  const std::string fileName = APath.filename().string();
  std::vector<TVectorRow> rows;
  std::vector<std::string> header;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty()) continue;
    const std::string where = fileName + ":" + std::to_string(lineNumber);
    std::vector<std::string> fields = SplitTabs(line);
    if (header.empty()) {
      header = std::move(fields);
      continue;
    }
    if (fields.size() != header.size()) {
      throw std::runtime_error(where + ": " + std::to_string(fields.size()) + " columns, the " +
                               "header names " + std::to_string(header.size()));
    }
    TVectorRow row;
    row.File = fileName;
    row.Line = lineNumber;
    for (std::size_t k = 0; k < header.size(); ++k) {
      row.Columns.emplace(header[k], Unescape(fields[k], where));
    }
    const auto flags = row.Columns.find("flags");
    if (flags != row.Columns.end() && flags->second != "-" && !flags->second.empty()) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = flags->second.find(',', start);
        row.Flags.push_back(flags->second.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::filesystem::path> VectorDirs() {
  std::vector<std::filesystem::path> dirs{TestDataDir() / "vectors"};
  if (const char* extra = std::getenv("VELTRANE_VECTOR_DIRS"); extra != nullptr) {
    std::string list = extra;
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t colon = list.find(':', start);
      const std::string dir = list.substr(start, colon - start);
      if (!dir.empty()) dirs.emplace_back(dir);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  return dirs;
}

std::vector<std::filesystem::path> VectorFiles(const std::string& AFileName) {
  std::vector<std::filesystem::path> files;
  const auto dirs = VectorDirs();
  for (std::size_t k = 0; k < dirs.size(); ++k) {
    const auto path = dirs[k] / AFileName;
    // The repository's file is always listed, so a missing one fails loudly when read.
    if (k == 0 || std::filesystem::exists(path)) files.push_back(path);
  }
  return files;
}

host::TFormatSettings VectorProfile(const std::filesystem::path& AVectorFile,
                                    const std::string& AProfile) {
  // Profiles are read once per directory and name: a vector test asks for one per row.
  static std::mutex lock;
  static std::map<std::pair<std::string, std::string>, host::TFormatSettings> cache;
  const auto profilesPath = AVectorFile.parent_path() / "profiles.tsv";
  const auto key = std::make_pair(profilesPath.string(), AProfile);
  const std::lock_guard<std::mutex> guard(lock);
  if (const auto found = cache.find(key); found != cache.end()) return found->second;

  // Start from the neutral record so that a setting missing from the file shows up as a
  // difference rather than as the US value by accident.
  host::TFormatSettings settings;
  bool seen = false;
  for (const TVectorRow& row : ReadVectorFile(profilesPath)) {
    if (row.Get("profile") != AProfile) continue;
    seen = true;
    ApplySetting(settings, row.Get("setting"), row.Get("value"),
                 row.File + ":" + std::to_string(row.Line));
  }
  if (!seen) {
    throw std::runtime_error("profile '" + AProfile + "' not in " + profilesPath.string());
  }
  cache.emplace(key, settings);
  return settings;
}

double VectorDouble(const TVectorRow& ARow, const std::string& AColumn) {
  if (HasBits(ARow)) return FromBits(ARow.Get("value_bits"), ARow.Where());
  return ParseDecimal(ARow.Get(AColumn), ARow.Where());
}

host::TDateTime VectorDateTime(const TVectorRow& ARow) {
  if (HasBits(ARow)) return FromBits(ARow.Get("value_bits"), ARow.Where());
  const std::string& text = ARow.Get("value");
  if (text.rfind("serial:", 0) == 0) return ParseDecimal(text.substr(7), ARow.Where());
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d%c", &year, &month, &day, &hour, &minute,
                  &second, &milli, &tail) != 7) {
    throw std::runtime_error(ARow.Where() + ": not a date-time: '" + text + "'");
  }
  const auto days = static_cast<double>(DaysFromEpoch(year, month, day));
  const double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + milli) / 86400000.0;
  return days < 0 ? days - time : days + time;
}

}  // namespace veltrane::test
