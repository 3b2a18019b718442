// Runs the reference vectors of the host's conversion and string routines, one test per
// routine family. Unflagged rows must all pass. Flagged rows must pass as well, except where the
// row's flag is one of the known deviations below: there the reference differs from the host
// we imitate, and those rows are counted and listed but do not fail the test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>

#include "platform/host/SysUtils.h"
#include "support/Vectors.h"

namespace {

using veltrane::test::TVectorRow;

// Where we knowingly differ from the reference, by routine and flag (or by row id where the
// reference left a row unflagged), with the reason. A row matched here is reported, not failed.
// Every other flag must match.
struct TKnownDeviation {
  const char* Routine;
  const char* Flag;  // null: the entry names one row by Id
  const char* Id;
  const char* Reason;
  // Narrows a flag entry to the rows it affects; null means every row with the flag.
  bool (*Applies)(const TVectorRow& ARow);
};

bool ShowsDayName(const TVectorRow& ARow) {
  const std::string format = host::LowerCase(ARow.Get("format"));
  return format.find("ddd") != std::string::npos;
}

const TKnownDeviation KnownDeviations[] = {
    // Exact rounding in scientific masks and beside a literal "E+": the reference rounds its
    // 17-digit image here too (0.995 and 1.45 lie below their midpoints) without a flag.
    {"FormatFloat", nullptr, "590179b6da85", "exact rounding (0.995 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "ffadbc94f59d", "exact rounding (1.45 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "117358d1547c", "exact rounding (0.995 in 0.00E+)", nullptr},
    {"FormatFloat", nullptr, "9f8660729706", "exact rounding (0.995 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "3fbb1394f72d", "exact rounding (1.45 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "812546c208a7", "exact rounding (0.995 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "7aa9c9681aa7", "exact rounding (1.45 in 0.0E+0000)", nullptr},
    {"FormatFloat", nullptr, "365bb578fbd9", "exact rounding (0.995 in 0.00E+)", nullptr},
    {"FormatFloat", "R17", nullptr,
     "we round the double's exact value, so 0.995 (0.99499...) gives 0.99", nullptr},
    {"FormatFloat", "P17", nullptr, "we show the double's exact digits past the 17th, not zeros",
     nullptr},
    {"FormatFloat", "ESEC", nullptr, "an empty section uses the positive section, as documented",
     nullptr},
    {"FormatCurr", "CEXT", nullptr, "Currency is formatted exactly, never through a double",
     nullptr},
    {"FormatCurr", "ESEC", nullptr, "an empty section uses the positive section, as documented",
     nullptr},
    {"FormatDateTime", "ALIT", nullptr, "an 'a' that starts no am/pm marker is written as a letter",
     nullptr},
    {"FormatDateTime", "UCLIT", nullptr, "literal letters are copied unchanged, not upper-cased",
     nullptr},
    {"FormatDateTime", "HM", nullptr, "m after an hour means minutes even with blanks between",
     nullptr},
    {"FormatDateTime", "12H", nullptr,
     "the clock of an hour is decided by the text that follows it", nullptr},
    {"FormatDateTime", "FTOK", nullptr, "f is a literal letter", nullptr},
    {"FormatDateTime", "DAYRND", nullptr,
     "the weekday name follows the date rounded to the next day", ShowsDayName},
    {"StrToDateTime", "TSPLIT", nullptr, "a time alone with an AM/PM marker is read as a time",
     nullptr},
    {"StrToDateTime", "SPC", nullptr, "blanks around numbers and separators are skipped", nullptr},
    {"StrToFloat", "WS", nullptr, "only blanks are trimmed; TAB, CR and LF make the text invalid",
     nullptr},
    {"StrToFloat", "LAX", nullptr,
     "the number grammar is strict ('.', '1e+', 'E5', NUL bytes fail)", nullptr},
    {"StrToFloat", "NONFINITE", nullptr, "INF and NAN are not numbers; overflow is an error",
     nullptr},
    {"StrToFloat", "EXT", nullptr,
     "results are doubles: overflow fails, underflow gives a subnormal or 0", nullptr},
    {"StrToCurr", "WS", nullptr, "only blanks are trimmed; TAB, CR and LF make the text invalid",
     nullptr},
    {"StrToCurr", "LAX", nullptr, "the number grammar is strict ('.', '1e+', 'E5', NUL bytes fail)",
     nullptr},
    {"StrToInt", "OVF", nullptr, "StrToInt is 64-bit: no wrap past 32 bits, an error past 64",
     nullptr},
    {"StrToInt", "PFX", nullptr, "only '$' introduces hexadecimal; 0x, x, % and & are not numbers",
     nullptr},
    {"StrToInt", "WS", nullptr, "only blanks are skipped before the number, not TAB", nullptr},
};

const TKnownDeviation* FindDeviation(const std::string& ARoutine, const TVectorRow& ARow) {
  for (const TKnownDeviation& deviation : KnownDeviations) {
    if (ARoutine != deviation.Routine) continue;
    if (deviation.Flag == nullptr ? ARow.Id() == deviation.Id
                                  : ARow.HasFlag(deviation.Flag) &&
                                        (deviation.Applies == nullptr || deviation.Applies(ARow))) {
      return &deviation;
    }
  }
  return nullptr;
}

// VELTRANE_VECTOR_VERBOSE=1 lists every row that differs under a known deviation.
bool Verbose() {
  const char* verbose = std::getenv("VELTRANE_VECTOR_VERBOSE");
  return verbose != nullptr && *verbose != 0 && *verbose != '0';
}

// The result as the vectors write it: the value, or '!' and the exception class.
std::string Outcome(const std::function<std::string()>& ACall) {
  try {
    return ACall();
  } catch (const host::EConvertError&) {
    return "!EConvertError";
  } catch (const host::EOverflow&) {
    return "!EOverflow";
  } catch (const host::Exception&) {
    return "!Exception";
  }
}

struct TCounts {
  int Unflagged = 0, UnflaggedPassed = 0;
  int Flagged = 0, FlaggedPassed = 0;
  int Deviations = 0, DeviationsDiffering = 0;
};

using TRowCheck =
    std::function<std::string(const TVectorRow& ARow, const host::TFormatSettings& ASettings)>;
using TRowCompare = std::function<bool(const std::string& AActual, const std::string& AExpected)>;

bool SameText(const std::string& AActual, const std::string& AExpected) {
  return AActual == AExpected;
}

// Runs every row of AFileName (the repository's and extra directories) through ACheck and reports
// the counts per routine; returns the counts of the last routine for tests that want them.
void RunVectors(const std::string& AFileName, const TRowCheck& ACheck,
                const TRowCompare& ACompare = SameText) {
  std::map<std::string, TCounts> counts;
  for (const auto& path : veltrane::test::VectorFiles(AFileName)) {
    const auto rows = veltrane::test::ReadVectorFile(path);
    ASSERT_FALSE(rows.empty()) << path;
    for (const TVectorRow& row : rows) {
      const std::string& routine = row.Get("routine");
      const std::string& profile = row.Get("profile");
      const host::TFormatSettings settings =
          profile == "*" ? host::TFormatSettings() : veltrane::test::VectorProfile(path, profile);
      const std::string& expected = row.Get("expected");
      const std::string actual = Outcome([&] { return ACheck(row, settings); });
      const bool passed = ACompare(actual, expected);
      TCounts& count = counts[routine];
      if (!row.Flagged()) {
        ++count.Unflagged;
        if (passed) ++count.UnflaggedPassed;
        if (!passed && FindDeviation(routine, row) != nullptr) {
          ++count.Deviations;
          ++count.DeviationsDiffering;
          if (Verbose()) {
            std::cout << "  deviation " << row.Where() << " " << routine << ": reference ["
                      << expected << "], ours [" << actual << "]\n";
          }
          continue;
        }
        EXPECT_TRUE(passed) << row.Where() << ": " << routine << " expected [" << expected
                            << "], got [" << actual << "]";
        continue;
      }
      ++count.Flagged;
      if (passed) ++count.FlaggedPassed;
      if (const TKnownDeviation* deviation = FindDeviation(routine, row)) {
        ++count.Deviations;
        if (!passed) {
          ++count.DeviationsDiffering;
          if (Verbose()) {
            std::cout << "  deviation " << row.Where() << " [" << row.Get("flags") << "] "
                      << routine << ": reference [" << expected << "], ours [" << actual
                      << "]: " << deviation->Reason << "\n";
          }
        }
        continue;
      }
      EXPECT_TRUE(passed) << row.Where() << " [" << host::Copy(row.Get("flags"), 1, 40)
                          << "]: " << routine << " expected [" << expected << "], got [" << actual
                          << "]";
    }
  }
  for (const auto& [routine, count] : counts) {
    std::cout << routine << ": " << count.UnflaggedPassed << "/" << count.Unflagged
              << " unflagged, " << count.FlaggedPassed << "/" << count.Flagged << " flagged ("
              << count.Deviations << " under known deviations, " << count.DeviationsDiffering
              << " of them differing)\n";
  }
}

// The exact decimal of a Currency ("-0.0002", "922337203685477.5807").
std::string CurrencyText(host::Currency AValue) {
  const std::int64_t raw = AValue.GetRaw();
  const std::uint64_t magnitude =
      raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
  std::string text = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return (raw < 0 ? "-" : "") + text;
}

// A Currency from an exact decimal with at most four decimals, read independently of StrToCurr.
host::Currency CurrencyFromText(const std::string& AText) {
  const bool negative = !AText.empty() && AText[0] == '-';
  const std::size_t point = AText.find('.');
  const std::string whole = AText.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
  std::string fraction = point == std::string::npos ? std::string() : AText.substr(point + 1);
  fraction.append(4 - fraction.size(), '0');
  const std::uint64_t magnitude = std::stoull(whole + fraction);
  return host::Currency::FromRaw(negative ? static_cast<std::int64_t>(0 - magnitude)
                                          : static_cast<std::int64_t>(magnitude));
}

// A double as C's "%.15g" writes it, with the vectors' spelling of the special values.
std::string DoubleText(double AValue) {
  if (std::isnan(AValue)) return "NAN";
  if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", AValue);
  return buffer;
}

TEST(VectorTest, FormatFloat) {
  RunVectors("FormatFloat.tsv", [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
    return host::FormatFloat(ARow.Get("format"), veltrane::test::VectorDouble(ARow, "value"),
                             ASettings);
  });
}

TEST(VectorTest, FormatCurr) {
  RunVectors("FormatCurr.tsv", [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
    return host::FormatCurr(ARow.Get("format"), CurrencyFromText(ARow.Get("value")), ASettings);
  });
}

TEST(VectorTest, FormatDateTime) {
  RunVectors("FormatDateTime.tsv",
             [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
               return host::FormatDateTime(ARow.Get("format"), veltrane::test::VectorDateTime(ARow),
                                           ASettings);
             });
}

TEST(VectorTest, StrToDateTime) {
  RunVectors("StrToDateTime.tsv",
             [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
               const host::TDateTime value = host::StrToDateTime(ARow.Get("input"), ASettings);
               host::TFormatSettings iso;
               return host::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value, iso);
             });
}

TEST(VectorTest, StrToFloat) {
  RunVectors(
      "StrToFloat.tsv",
      [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
        return DoubleText(host::StrToFloat(ARow.Get("input"), ASettings));
      },
      [](const std::string& AActual, const std::string& AExpected) {
        if (AActual == AExpected) return true;
        if (AActual.empty() || AExpected.empty() || AActual[0] == '!' || AExpected[0] == '!') {
          return false;
        }
        const double actual = std::strtod(AActual.c_str(), nullptr);
        const double expected = std::strtod(AExpected.c_str(), nullptr);
        return std::fabs(actual - expected) <= 5e-15 * std::fabs(expected);
      });
}

TEST(VectorTest, StrToCurr) {
  RunVectors("StrToCurr.tsv", [](const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
    return CurrencyText(host::StrToCurr(ARow.Get("input"), ASettings));
  });
}

TEST(VectorTest, StrToInt) {
  RunVectors("StrToInt.tsv", [](const TVectorRow& ARow, const host::TFormatSettings&) {
    return host::IntToStr(host::StrToInt(ARow.Get("input")));
  });
}

TEST(VectorTest, CompareText) {
  RunVectors("CompareText.tsv", [](const TVectorRow& ARow, const host::TFormatSettings&) {
    const int result = host::CompareText(ARow.Get("s1"), ARow.Get("s2"));
    return std::to_string(result < 0 ? -1 : (result > 0 ? 1 : 0));
  });
}

TEST(VectorTest, Trim) {
  RunVectors("Trim.tsv", [](const TVectorRow& ARow, const host::TFormatSettings&) {
    return host::Trim(ARow.Get("input"));
  });
}

TEST(VectorTest, UpperCase) {
  RunVectors("UpperCase.tsv", [](const TVectorRow& ARow, const host::TFormatSettings&) {
    return host::UpperCase(ARow.Get("input"));
  });
}

// A vector file that no test above reads would silently go unchecked.
TEST(VectorTest, EveryVectorFileHasARunner) {
  const std::set<std::string> known{"FormatFloat.tsv",   "FormatCurr.tsv",  "FormatDateTime.tsv",
                                    "StrToDateTime.tsv", "StrToFloat.tsv",  "StrToCurr.tsv",
                                    "StrToInt.tsv",      "CompareText.tsv", "Trim.tsv",
                                    "UpperCase.tsv",     "profiles.tsv",    "Field.tsv"};
  for (const auto& dir : veltrane::test::VectorDirs()) {
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().extension() != ".tsv") continue;
      EXPECT_TRUE(known.count(entry.path().filename().string()) == 1)
          << entry.path() << " has no runner";
    }
  }
}

}  // namespace
