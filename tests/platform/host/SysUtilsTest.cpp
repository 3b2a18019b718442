// Focused checks of the host's run-time routines: Format, the string and UTF-8 helpers, whole
// numbers, Currency, the calendar, the behaviour the reference vectors cannot pin down (where
// we follow the host rather than the reference), and settings read from the C library.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "platform/host/SysUtils.h"
#include "support/TestSupport.h"

using namespace host;

namespace {

// The message of the EConvertError that ACall raises, or "(none)".
template <class TCall>
std::string ConvertMessage(TCall ACall) {
  try {
    ACall();
  } catch (const EConvertError& error) {
    return error.GetMessage();
  }
  return "(none)";
}

// The leak checker's switches, present only in sanitizer builds.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

// The C library keeps the file names of locales loaded through LOCPATH for the life of the
// process; the leak checker would report that cache as ours.
class TLeakCheckPause {
 public:
  TLeakCheckPause() {
    if (__lsan_disable != nullptr) __lsan_disable();
  }
  ~TLeakCheckPause() {
    if (__lsan_enable != nullptr) __lsan_enable();
  }
  TLeakCheckPause(const TLeakCheckPause&) = delete;
  TLeakCheckPause& operator=(const TLeakCheckPause&) = delete;
};

TFormatSettings GermanSettings() {
  TFormatSettings settings;
  settings.DecimalSeparator = ',';
  settings.ThousandSeparator = '.';
  settings.DateSeparator = '.';
  settings.ShortDateFormat = "dd.mm.yyyy";
  settings.CurrencyString = "\xE2\x82\xAC";
  settings.CurrencyFormat = 3;
  settings.NegCurrFormat = 8;
  return settings;
}

// ---------------------------------------------------------------------------------------------
// Format

TEST(SysUtilsTest, FormatConversions) {
  if (DefaultFormatSettings().DecimalSeparator != '.') GTEST_SKIP() << "needs a C/US locale";
  struct TCase {
    const char* Format;
    TVarRecs Args;
    const char* Expected;
  };
  const std::vector<TCase> cases{
      {"%s and %s", {"a", std::string("b")}, "a and b"},
      {"%d|%5d|%-5d|%.3d", {-42, 7, 7, 7}, "-42|    7|7    |007"},
      {"%d", {9223372036854775807LL}, "9223372036854775807"},
      {"%x|%.4x", {255, 10}, "FF|000A"},
      {"%f|%.3f|%.0f", {2.5, 1.0005, 2.5}, "2.50|1.000|3"},  // 1.0005 is 1.000499...
      {"%g|%g", {0.1, 1e20}, "0.1|1E20"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%m", {-1234.5}, "($1,234.50)"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.000123456}, "-1.23E-004"},
      {"%p", {nullptr}, "00000000"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"%*d", {4, 1}, "   1"},
      {"%.2s|%4s",
       {"\xC3\xA4\xC3\xB6\xC3\xBC", "\xE2\x82\xAC"},
       "\xC3\xA4\xC3\xB6|   \xE2\x82\xAC"},
      {"100%% of %s", {"x"}, "100% of x"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Format);
    EXPECT_EQ(Format(c.Format, c.Args), c.Expected);
  }
}

TEST(SysUtilsTest, FormatMismatchRaisesWithTheFormatNamed) {
  const std::vector<std::pair<const char*, TVarRecs>> cases{
      {"%d", {"text"}}, {"%s", {1}}, {"%s %s", {"one"}},   {"%f", {"x"}},    {"abc%", {1}},
      {"%5", {1}},      {"%z", {1}}, {"%2:s", {"a", "b"}}, {"%*d", {"w", 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(ConvertMessage([&] { Format(c.first, c.second); }),
              std::string("Format '") + c.first + "' invalid or incompatible with argument");
  }
  // The exception's format constructor reports the same mismatch.
  EXPECT_EQ(ConvertMessage([] { throw Exception("%d items", {"many"}); }),
            "Format '%d items' invalid or incompatible with argument");
}

// ---------------------------------------------------------------------------------------------
// Strings and UTF-8

TEST(SysUtilsTest, PositionsCountFromOne) {
  EXPECT_EQ(Pos("c", "abc"), 3);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("abcd", "abc"), 0);
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 2, 100), "bc");
  EXPECT_EQ(Copy("abc", 4, 1), "");
  EXPECT_EQ(Copy("abc", 2, -1), "");
  EXPECT_EQ(Length("\xE2\x82\xAC"), 3);
}

TEST(SysUtilsTest, CaseFoldsAsciiOnly) {
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_EQ(CompareText("Stra\xC3\x9F"
                        "e",
                        "STRA\xC3\x9F"
                        "E"),
            0);
  EXPECT_NE(CompareText("\xC3\xA4", "\xC3\x84"), 0);  // a-umlaut is not folded
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_GT(CompareText("_", "A"), 0);  // '_' (0x5F) sorts after the folded 'A' (0x41)
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_EQ(UpperCase("m\xC3\xA4rz"), "M\xC3\xA4RZ");
  EXPECT_EQ(LowerCase("M\xC3\x84RZ"), "m\xC3\x84rz");
  EXPECT_EQ(Trim("\t\x01 x \r\n"), "x");
  EXPECT_EQ(Trim("\x7F"
                 "x\xC2\xA0"),
            "\x7F"
            "x\xC2\xA0");
  EXPECT_EQ(TrimLeft("  x  "), "x  ");
  EXPECT_EQ(TrimRight("  x  "), "  x");
}

TEST(SysUtilsTest, Utf8HelpersNeverSplitACodePoint) {
  const std::string text = "M\xC3\xA4r\xE2\x82\xAC\xF0\x9F\x98\x80";  // M, a-umlaut, r, euro, emoji
  EXPECT_EQ(Utf8Length(text), 5);
  EXPECT_EQ(Utf8Left(text, 2), "M\xC3\xA4");
  EXPECT_EQ(Utf8Left(text, 4), "M\xC3\xA4r\xE2\x82\xAC");
  EXPECT_EQ(Utf8Left(text, 99), text);
  EXPECT_EQ(Utf8Left(text, 0), "");
  EXPECT_EQ(Utf8Offset(text, 3), 4u);
  EXPECT_EQ(Utf8Offset(text, 99), text.size());
  // Stray bytes and cut sequences count as one character each.
  EXPECT_EQ(Utf8Length("a\xE4"
                       "b"),
            3);
  EXPECT_EQ(Utf8Length("\xE2\x82"), 2);
  std::string appended;
  Utf8Append(appended, U'\u00E4');
  Utf8Append(appended, 0x1F600);
  Utf8Append(appended, 0xD800);  // a lone surrogate becomes U+FFFD
  EXPECT_EQ(appended, "\xC3\xA4\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

// ---------------------------------------------------------------------------------------------
// Whole numbers and Currency

TEST(SysUtilsTest, StrToIntIs64BitAndRaisesOnOverflow) {
  EXPECT_EQ(StrToInt("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(StrToInt("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(StrToInt("2147483648"), 2147483648LL);
  EXPECT_EQ(StrToInt("$7FFFFFFFFFFFFFFF"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(StrToInt("  -$10"), -16);
  for (const char* text : {"9223372036854775808", "-9223372036854775809", "$8000000000000000", "1 ",
                           "", "-", "$", "0x10", "\t1", "1e3"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ConvertMessage([&] { StrToInt(text); }),
              std::string("'") + text + "' is not a valid integer value");
  }
}

TEST(SysUtilsTest, CurrencyFromDoubleRoundsHalfAwayAndChecksRange) {
  EXPECT_EQ(Currency::FromDouble(1234.5678).GetRaw(), 12345678);
  EXPECT_EQ(Currency::FromDouble(-0.0001).GetRaw(), -1);
  EXPECT_EQ(Currency::FromDouble(0.00005).GetRaw(), 1);  // 0.5 in the last place
  EXPECT_EQ(Currency::FromDouble(-0.00005).GetRaw(), -1);
  EXPECT_EQ(Currency::FromDouble(9e14).GetRaw(), 9000000000000000000LL);
  EXPECT_THROW(Currency::FromDouble(1e15), EOverflow);
  EXPECT_THROW(Currency::FromDouble(-1e15), EOverflow);
  EXPECT_THROW(Currency::FromDouble(std::nan("")), EOverflow);
}

TEST(SysUtilsTest, StrToCurrIsExact) {
  const TFormatSettings us;
  struct TCase {
    const char* Text;
    std::int64_t Raw;
  };
  const std::vector<TCase> cases{
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
      {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min()},
      {"0.1", 1000},
      {"12.34567", 123457},
      {"0.00005", 0},  // digits past the fourth decimal round half to even
      {"0.00015", 2},
      {"0.000151", 2},
      {"1e-3", 10},
      {"1.5e2", 1500000},
      {"4.9e-324", 0},
      {"  -0  ", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(StrToCurr(c.Text, us).GetRaw(), c.Raw);
  }
  for (const char* text :
       {"922337203685477.5808", "-922337203685477.5809", "1e15", "1,5", ".", "1e+", "1.5\t"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ConvertMessage([&] { StrToCurr(text, us); }),
              std::string("'") + text + "' is not a valid floating point value");
  }
}

TEST(SysUtilsTest, CurrencyTextIsExact) {
  const TFormatSettings us;
  const Currency largest = Currency::FromRaw(std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(FormatCurr("", largest, us), "922337203685477.5807");
  EXPECT_EQ(FormatCurr("0.0000", largest, us), "922337203685477.5807");
  EXPECT_EQ(FormatCurr("#,##0.00", Currency::FromRaw(-12345650), us), "-1,234.57");
  EXPECT_EQ(FormatCurr("0.00", Currency::FromRaw(std::numeric_limits<std::int64_t>::min()), us),
            "-922337203685477.58");
  EXPECT_EQ(CurrToStrCurrency(largest, 2, us), "$922,337,203,685,477.58");
}

TEST(SysUtilsTest, CurrencyLayoutsFollowTheSettings) {
  TFormatSettings settings;
  settings.CurrencyString = "$";
  const char* const positive[] = {"$1,234.50", "1,234.50$", "$ 1,234.50", "1,234.50 $"};
  for (std::uint8_t layout = 0; layout < 4; ++layout) {
    settings.CurrencyFormat = layout;
    EXPECT_EQ(CurrToStrCurrency(Currency::FromRaw(12345000), 2, settings), positive[layout])
        << "CurrencyFormat " << int(layout);
  }
  const char* const negative[] = {"($1.50)", "-$1.50",  "$-1.50",   "$1.50-",  "(1.50$)", "-1.50$",
                                  "1.50-$",  "1.50$-",  "-1.50 $",  "-$ 1.50", "1.50 $-", "$ 1.50-",
                                  "$ -1.50", "1.50- $", "($ 1.50)", "(1.50 $)"};
  for (std::uint8_t layout = 0; layout < 16; ++layout) {
    settings.NegCurrFormat = layout;
    EXPECT_EQ(CurrToStrCurrency(Currency::FromRaw(-15000), 2, settings), negative[layout])
        << "NegCurrFormat " << int(layout);
  }
  // A negative value that rounds to zero shows no sign.
  EXPECT_EQ(CurrToStrCurrency(Currency::FromRaw(-1), 2, settings), "0.00 $");
}

// ---------------------------------------------------------------------------------------------
// Numbers: rounding and reading

TEST(SysUtilsTest, MasksRoundTheExactValueHalfAwayFromZero) {
  const TFormatSettings us;
  struct TCase {
    const char* Format;
    double Value;
    const char* Expected;
  };
  const std::vector<TCase> cases{
      {"0.00", 0.995, "0.99"},  // the double lies below the midpoint
      {"0.00", 1.005, "1.00"},
      {"0.00", 2.675, "2.67"},
      {"0.00", 0.125, "0.13"},
      {"0.00", -0.125, "-0.13"},
      {"0.00", 0.375, "0.38"},
      {"0", 2.5, "3"},
      {"0", -2.5, "-3"},
      {"0E+0", 25.0, "3E+1"},
      {"0.0E+00", 0.125, "1.3E-01"},
      {"#,##0", 999999.5, "1,000,000"},
      {"0.00;(0.00);zero", -0.001, "(0.00)"},  // the section follows the unrounded sign
      {"0.00;;", -1.5, "-1.50"},               // an empty section uses the positive one
      {"", 0.1 + 0.2, "0.3"},
      {"", 1e15, "1E15"},
      {"", -4.4e-7, "-4.4E-7"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Format) + " / " + std::to_string(c.Value));
    EXPECT_EQ(FormatFloat(c.Format, c.Value, us), c.Expected);
  }
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity(), us), "INF");
  EXPECT_EQ(FloatToStrFixed(-0.001, 2, us), "0.00");
  EXPECT_EQ(FloatToStrFixed(1234.5, 1, GermanSettings()), "1234,5");
}

TEST(SysUtilsTest, LongMasksShowEveryDigitWithoutOverrun) {
  const TFormatSettings us;
  const std::string mask = "0." + std::string(1200, '0');
  const std::string tiny = FormatFloat(mask, 5e-324, us);
  ASSERT_EQ(tiny.size(), 1202u);
  EXPECT_EQ(tiny.substr(0, 325), "0." + std::string(323, '0'));
  EXPECT_EQ(tiny[325], '4');   // 4.94E-324 starts at the 324th decimal
  EXPECT_EQ(tiny[1075], '5');  // and 2^-1074 ends at the 1074th
  EXPECT_EQ(tiny.find_first_not_of('0', 1076), std::string::npos);
  EXPECT_EQ(FormatFloat(mask, 0.5, us).substr(0, 4), "0.50");
  EXPECT_EQ(FormatFloat("#." + std::string(1200, '#'), 0.1, us),
            ".1000000000000000055511151231257827021181583404541015625");
}

TEST(SysUtilsTest, StrToFloatIsStrictAndLocaleFree) {
  const TFormatSettings us;
  EXPECT_EQ(StrToFloat(" 1.5e2 ", us), 150.0);
  EXPECT_EQ(StrToFloat("-.25", us), -0.25);
  EXPECT_EQ(StrToFloat("1,5", GermanSettings()), 1.5);
  EXPECT_GT(StrToFloat("1e-320", us), 0.0);  // a subnormal, not zero
  EXPECT_TRUE(std::signbit(StrToFloat("-0", us)));
  for (const char* text :
       {".", "1e+", "E5", "\t1.5", "1.5\n", "INF", "NaN", "1e309", "1,000", "1.5.", "- 1"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ConvertMessage([&] { StrToFloat(text, us); }),
              std::string("'") + text + "' is not a valid floating point value");
  }
  EXPECT_EQ(ConvertMessage([] {
              StrToFloat(std::string("1\0"
                                     "5",
                                     3),
                         TFormatSettings());
            }),
            std::string("'1") + '\0' + "5' is not a valid floating point value");
  double value = 7;
  EXPECT_FALSE(TryStrToFloat("x", value, us));
  EXPECT_EQ(value, 7);
}

// ---------------------------------------------------------------------------------------------
// Calendar

TEST(SysUtilsTest, EncodeAndDecodeDates) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(2024, 2, 29), 45351.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(ConvertMessage([] { EncodeDate(2023, 2, 29); }), "Invalid argument to date encode");
  EXPECT_EQ(ConvertMessage([] { EncodeTime(24, 0, 0, 0); }), "Invalid argument to time encode");
  TDateTime ignored = 0;
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, ignored));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, ignored));
  EXPECT_FALSE(TryEncodeTime(1, 60, 0, 0, ignored));
  // Every 97th day from year 1 to 9999 comes back as it went in.
  for (double day = -693593; day <= 2958465; day += 97) {
    int year = 0, month = 0, dayOfMonth = 0;
    DecodeDate(day, year, month, dayOfMonth);
    ASSERT_EQ(EncodeDate(year, month, dayOfMonth), day)
        << year << "-" << month << "-" << dayOfMonth;
  }
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DayOfWeek(0), 7);         // Saturday
  EXPECT_EQ(DayOfWeek(45351.75), 5);  // Thursday
  EXPECT_EQ(DayOfWeek(-1.25), 6);     // 1899-12-29, a Friday
}

TEST(SysUtilsTest, DecodingRoundsToTheMillisecondConsistently) {
  int hour = 0, minute = 0, second = 0, milli = 0, year = 0, month = 0, day = 0;
  DecodeTime(EncodeTime(23, 59, 59, 999), hour, minute, second, milli);
  EXPECT_EQ(hour * 10000000 + minute * 100000 + second * 1000 + milli, 235959999);
  // A time that rounds up to midnight belongs to the next day: date, weekday and time agree.
  DecodeDate(0.9999999999, year, month, day);
  DecodeTime(0.9999999999, hour, minute, second, milli);
  EXPECT_EQ(year * 10000 + month * 100 + day, 18991231);
  EXPECT_EQ(hour + minute + second + milli, 0);
  EXPECT_EQ(FormatDateTime("dddd yyyy-mm-dd hh:nn:ss.zzz", 0.9999999999, TFormatSettings()),
            "Sunday 1899-12-31 00:00:00.000");
  // Before 1899-12-30 the fraction is the time of day of the whole-day part.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25, TFormatSettings()), "1899-12-29 06:00");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh", -693593.5, TFormatSettings()), "0001-01-01 12");
  for (const double bad : {1e10, -1e10, -693594.5, std::nan("")}) {
    EXPECT_EQ(ConvertMessage([&] { FormatDateTime("c", bad, TFormatSettings()); }),
              "Invalid date/time value");
  }
}

// ---------------------------------------------------------------------------------------------
// Date patterns and date texts where we follow the host rather than the reference

TEST(SysUtilsTest, DatePatternsFollowTheHost) {
  const TFormatSettings us;
  const TDateTime moment = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 7, 89);
  struct TCase {
    const char* Format;
    const char* Expected;
  };
  const std::vector<TCase> cases{
      {"hh mm", "13 45"},                  // m after an hour is minutes, blanks between or not
      {"hh:mm mm", "13:45 02"},            // ... but only right after the hour
      {"ampm h:nn", "PM 13:45"},           // the clock follows from the text after the hour
      {"h:nn ampm h:nn", "1:45 PM 1:45"},  // and stays 12-hour once chosen
      {"h \"am/pm\"", "13 am/pm"},         // quoted markers do not count
      {"hh:nn a", "13:45 a"},              // an 'a' that starts no marker is a letter
      {"x w q o f", "x w q o f"},          // letters that name nothing are copied unchanged
      {"Am/Pm a/P", "Pm P"},
      {"dddddd", "Thursday, February 29, 2024"},
      {"c", "2/29/2024 1:45:07 PM"},
      {"", "2/29/2024 1:45:07 PM"},
      {"yyyy\"-\"mm'-'dd", "2024-02-29"},
      {"z zz zzz", "89 089 089"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Format);
    EXPECT_EQ(FormatDateTime(c.Format, moment, us), c.Expected);
  }
  // Settings that name themselves stop after one nested level.
  TFormatSettings looping = us;
  looping.ShortDateFormat = "c";
  looping.LongTimeFormat = "tt";
  EXPECT_EQ(FormatDateTime("c", moment, looping), "  ");
}

TEST(SysUtilsTest, DateTextsAreReadLikeTheHost) {
  const TFormatSettings us;
  const TFormatSettings de = GermanSettings();
  struct TCase {
    const char* Text;
    const TFormatSettings& Settings;
    double Expected;
  };
  const double leapDay = 45351.0;
  const std::vector<TCase> cases{
      {"1:05 PM", us, 13 / 24.0 + 5 / 1440.0},  // a time alone may carry a marker
      {"PM 1:05", us, 13 / 24.0 + 5 / 1440.0},
      {"7", us, 7 / 24.0},             // a lone number is an hour
      {"2 / 29 / 2024", us, leapDay},  // blanks around numbers are skipped
      {"29 . 2 . 2024 13:45", de, leapDay + 13 / 24.0 + 45 / 1440.0},
      {" 2/29/2024\t13:45:07.5 ", us,
       leapDay + (13 * 3600 + 45 * 60 + 7) / 86400.0 + 5 / 86400000.0},
      {"6/15/1850 8:30", us, EncodeDate(1850, 6, 15) - 8.5 / 24.0},  // the time counts backwards
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_NEAR(StrToDateTime(c.Text, c.Settings), c.Expected, 1e-9);
  }
  for (const char* text : {"1.2.3.4", "29.2.2024T13:45", "2/29/2024", "24:00"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ConvertMessage([&] { StrToDateTime(text, de); }),
              std::string("'") + text + "' is not a valid date and time");
  }
  EXPECT_EQ(StrToDate("29.02.2024", de), leapDay);
  EXPECT_EQ(ConvertMessage([&] { StrToDate("29.02.2024 13:45", de); }),
            "'29.02.2024 13:45' is not a valid date");
  EXPECT_NEAR(StrToTime("13:45", de), 13 / 24.0 + 45 / 1440.0, 1e-12);
  EXPECT_EQ(ConvertMessage([&] { StrToTime("29.02.2024", de); }),
            "'29.02.2024' is not a valid time");
  TFormatSettings iso = us;
  iso.ShortDateFormat = "yyyy-mm-dd";
  iso.DateSeparator = '-';
  EXPECT_EQ(StrToDate("2024-02-29", iso), leapDay);
}

// ---------------------------------------------------------------------------------------------
// Settings from the C library

TEST(SysUtilsTest, NeutralLocaleGivesTheUsDefaults) {
  for (const char* name : {"C", "POSIX"}) {
    SCOPED_TRACE(name);
    const TFormatSettings settings = FormatSettingsFromLocale(name);
    const TFormatSettings defaults;
    EXPECT_EQ(settings.DecimalSeparator, defaults.DecimalSeparator);
    EXPECT_EQ(settings.ThousandSeparator, defaults.ThousandSeparator);
    EXPECT_EQ(settings.CurrencyString, defaults.CurrencyString);
    EXPECT_EQ(settings.ShortDateFormat, defaults.ShortDateFormat);
    EXPECT_EQ(settings.LongTimeFormat, defaults.LongTimeFormat);
    EXPECT_EQ(settings.LongMonthNames, defaults.LongMonthNames);
    EXPECT_EQ(settings.ShortDayNames, defaults.ShortDayNames);
  }
  EXPECT_EQ(ConvertMessage([] { FormatSettingsFromLocale("xx_NOWHERE.UTF-8"); }),
            "Locale 'xx_NOWHERE.UTF-8' is not installed or not known");
}

TEST(SysUtilsTest, GermanLocaleSettings) {
  // The locale is compiled into a scratch folder that LOCPATH points at for the one call, so
  // the machine's locales stay as they are.
  if (std::system("command -v localedef >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "localedef is not installed";
  }
  const veltrane::test::TScratchDir scratch;
  const std::string target = (scratch / "de_DE.UTF-8").string();
  if (std::system(("localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 (locale sources missing?)";
  }
  const char* previous = std::getenv("LOCPATH");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("LOCPATH", scratch.GetPath().c_str(), 1);
  TFormatSettings settings;
  try {
    const TLeakCheckPause pause;
    settings = FormatSettingsFromLocale("de_DE.UTF-8");
  } catch (const EConvertError&) {
    previous != nullptr ? setenv("LOCPATH", saved.c_str(), 1) : unsetenv("LOCPATH");
    GTEST_SKIP() << "the C library does not load locales from LOCPATH";
  }
  previous != nullptr ? setenv("LOCPATH", saved.c_str(), 1) : unsetenv("LOCPATH");
  EXPECT_EQ(settings.DecimalSeparator, ',');
  EXPECT_EQ(settings.ThousandSeparator, '.');
  EXPECT_EQ(settings.ListSeparator, ';');
  EXPECT_EQ(settings.CurrencyString, "\xE2\x82\xAC");
  EXPECT_EQ(settings.CurrencyFormat, 3);
  EXPECT_EQ(settings.NegCurrFormat, 8);
  EXPECT_EQ(settings.CurrencyDecimals, 2);
  EXPECT_EQ(settings.DateSeparator, '.');
  EXPECT_EQ(settings.ShortDateFormat, "dd/mm/yyyy");  // '/' stands for the DateSeparator
  EXPECT_EQ(settings.LongDateFormat, "dddd, d. mmmm yyyy");
  EXPECT_EQ(settings.TimeSeparator, ':');
  EXPECT_EQ(settings.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(settings.ShortTimeFormat, "hh:nn");
  EXPECT_EQ(settings.LongMonthNames[2], "M\xC3\xA4rz");
  EXPECT_EQ(settings.ShortDayNames[0], "So");
  EXPECT_EQ(settings.LongDayNames[6], "Samstag");
  const TDateTime moment = EncodeDate(2024, 3, 1) + EncodeTime(13, 45, 0, 0);
  EXPECT_EQ(FormatDateTime("c", moment, settings), "01.03.2024 13:45:00");
  EXPECT_EQ(StrToDateTime("01.03.2024 13:45", settings), moment);
  EXPECT_EQ(FormatFloat("#,##0.00", -1234.5, settings), "-1.234,50");
  EXPECT_EQ(CurrToStrCurrency(Currency::FromRaw(-12345000), 2, settings), "-1.234,50 \xE2\x82\xAC");
}

}  // namespace
