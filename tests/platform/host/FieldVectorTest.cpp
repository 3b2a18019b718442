// Runs the reference field-text vectors (Field.tsv, and the same file in every directory of
// VELTRANE_VECTOR_DIRS) through an in-memory data set holding one field of each class the
// vectors use. Unflagged rows must pass. A flagged row must pass too unless its flag is one of
// the known deviations below; those are counted and reported per routine.

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "platform/host/Db.h"
#include "support/Vectors.h"

namespace {

using veltrane::test::TVectorRow;

// Where our fields knowingly differ from the reference, by flag, with the reason. A row
// carrying one of these flags is reported, not failed.
struct TKnownDeviation {
  const char* Flag;
  const char* Reason;
};

const TKnownDeviation KnownDeviations[] = {
    {"MEMONULL", "a null or empty memo shows the class name with a capital: (Memo)"},
    {"DVAL", "DisplayValues without ';' between two texts is accepted: 'Yes' means Yes and ''"},
    {"R17", "masks round the double's exact value, not a 17-digit image of it"},
    {"P17", "masks show the double's exact digits past the 17th, not zeros"},
    {"CEXT", "Currency values are formatted exactly, never through a double"},
    {"RFIX", "currency text rounds the double's exact value (2.675 is 2.67499..., so 2.67)"},
};

const TKnownDeviation* FindDeviation(const TVectorRow& ARow) {
  for (const TKnownDeviation& deviation : KnownDeviations) {
    if (ARow.HasFlag(deviation.Flag)) return &deviation;
  }
  return nullptr;
}

// The field class of a row; the reference calls the 32-bit field TLongintField.
host::TFieldType FieldTypeOf(const std::string& AClass) {
  static const std::map<std::string, host::TFieldType> types = {
      {"TStringField", host::ftString},     {"TSmallintField", host::ftSmallint},
      {"TIntegerField", host::ftInteger},   {"TLongintField", host::ftInteger},
      {"TWordField", host::ftWord},         {"TAutoIncField", host::ftAutoInc},
      {"TFloatField", host::ftFloat},       {"TCurrencyField", host::ftCurrency},
      {"TBCDField", host::ftBCD},           {"TBooleanField", host::ftBoolean},
      {"TDateField", host::ftDate},         {"TTimeField", host::ftTime},
      {"TDateTimeField", host::ftDateTime}, {"TMemoField", host::ftMemo},
  };
  const auto it = types.find(AClass);
  if (it == types.end()) throw std::runtime_error("unknown field class " + AClass);
  return it->second;
}

// An exact decimal with at most four decimals as a Currency, read without StrToCurr.
host::Currency CurrencyFromText(const std::string& AText) {
  const bool negative = !AText.empty() && AText[0] == '-';
  const std::size_t start = negative ? 1 : 0;
  const std::size_t point = AText.find('.');
  const std::string whole = AText.substr(start, point == std::string::npos ? point : point - start);
  std::string fraction = point == std::string::npos ? std::string() : AText.substr(point + 1);
  fraction.append(4 - fraction.size(), '0');
  const std::uint64_t magnitude = std::stoull(whole + fraction);
  return host::Currency::FromRaw(negative ? static_cast<std::int64_t>(0 - magnitude)
                                          : static_cast<std::int64_t>(magnitude));
}

// The stored value of a row, by the field's family.
host::TFieldValue RowValue(const TVectorRow& ARow, host::TFieldType AType) {
  const std::string& text = ARow.Get("value");
  if (text == "NULL") return host::TFieldValue();
  switch (AType) {
    case host::ftString:
    case host::ftMemo:
      return host::TFieldValue(text);
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc:
      return host::TFieldValue(static_cast<std::int64_t>(std::stoll(text)));
    case host::ftFloat:
    case host::ftCurrency:
      return host::TFieldValue(veltrane::test::VectorDouble(ARow, "value"));
    case host::ftBCD:
      return host::TFieldValue(CurrencyFromText(text));
    case host::ftBoolean:
      return host::TFieldValue(text == "True");
    default:
      return host::TFieldValue::FromDateTime(veltrane::test::VectorDateTime(ARow));
  }
}

// Sets up a one-field data set as the row describes and returns the routine's result, or '!'
// and the exception class.
std::string RunRow(const TVectorRow& ARow, const host::TFormatSettings& ASettings) {
  const host::TFieldType type = FieldTypeOf(ARow.Get("fieldclass"));
  host::TMemDataSet dataSet(nullptr);
  dataSet.SetFormatSettings(ASettings);
  host::TFieldDef& def = dataSet.GetFieldDefs()->Add("F", type);
  if (type == host::ftString) def.Size = 40;
  if (type == host::ftFloat || type == host::ftCurrency) def.Precision = 15;
  if (type == host::ftBCD) {
    def.Size = 4;
    def.Precision = 19;
  }
  dataSet.Open();
  host::TField* field = dataSet.GetFields(0);
  const bool currency = ARow.Get("currency") == "1";
  const std::string& displayFormat = ARow.Get("displayformat");
  const std::string& editFormat = ARow.Get("editformat");
  if (auto* number = dynamic_cast<host::TIntegerField*>(field)) {
    number->SetDisplayFormat(displayFormat);
    number->SetEditFormat(editFormat);
  } else if (auto* real = dynamic_cast<host::TFloatField*>(field)) {
    real->SetDisplayFormat(displayFormat);
    real->SetEditFormat(editFormat);
    real->SetCurrency(currency);
  } else if (auto* bcd = dynamic_cast<host::TBCDField*>(field)) {
    bcd->SetDisplayFormat(displayFormat);
    bcd->SetEditFormat(editFormat);
    bcd->SetCurrency(currency);
  } else if (auto* moment = dynamic_cast<host::TDateTimeField*>(field)) {
    moment->SetDisplayFormat(displayFormat);
    moment->SetEditFormat(editFormat);
  }
  try {
    if (auto* boolean = dynamic_cast<host::TBooleanField*>(field)) {
      boolean->SetDisplayValues(ARow.Get("displayvalues"));
    }
    const std::string& routine = ARow.Get("routine");
    if (routine == "TBooleanField.DisplayValues") return "(accepted)";
    dataSet.AppendRecord({RowValue(ARow, type)});
    if (routine == "TField.Text") return field->GetText();
    if (routine == "TField.DisplayText") return field->GetDisplayText();
    if (routine == "TField.AsString") return field->GetAsString();
    throw std::runtime_error("unknown routine " + routine);
  } catch (const host::EDatabaseError&) {
    return "!EDatabaseError";
  } catch (const host::EConvertError&) {
    return "!EConvertError";
  } catch (const host::EOverflow&) {
    return "!EOverflow";
  }
}

struct TCounts {
  int Unflagged = 0, UnflaggedPassed = 0;
  int Flagged = 0, FlaggedPassed = 0;
  int Deviations = 0, DeviationsDiffering = 0;
};

}  // namespace

TEST(FieldVectorTest, FieldTextsMatchTheReference) {
  std::map<std::string, TCounts> counts;
  std::map<std::string, int> differingByFlag;
  int files = 0;
  for (const auto& path : veltrane::test::VectorFiles("Field.tsv")) {
    ++files;
    const auto rows = veltrane::test::ReadVectorFile(path);
    ASSERT_FALSE(rows.empty()) << path;
    std::map<std::string, host::TFormatSettings> profiles;
    for (const char* profile : {"us", "de"}) {
      profiles[profile] = veltrane::test::VectorProfile(path, profile);
    }
    for (const TVectorRow& row : rows) {
      const std::string& routine = row.Get("routine");
      const std::string& expected = row.Get("expected");
      const std::string actual = RunRow(row, profiles.at(row.Get("profile")));
      const bool passed = actual == expected;
      TCounts& count = counts[routine];
      if (!row.Flagged()) {
        ++count.Unflagged;
        if (passed) ++count.UnflaggedPassed;
        EXPECT_TRUE(passed) << row.Where() << ": " << routine << " of " << row.Get("fieldclass")
                            << " expected [" << expected << "], got [" << actual << "]";
        continue;
      }
      ++count.Flagged;
      if (passed) ++count.FlaggedPassed;
      if (FindDeviation(row) != nullptr) {
        ++count.Deviations;
        if (!passed) {
          ++count.DeviationsDiffering;
          ++differingByFlag[row.Get("flags")];
        }
        continue;
      }
      EXPECT_TRUE(passed) << row.Where() << " [" << row.Get("flags") << "]: " << routine << " of "
                          << row.Get("fieldclass") << " expected [" << expected << "], got ["
                          << actual << "]";
    }
  }
  EXPECT_GE(files, 1);
  for (const auto& [routine, count] : counts) {
    std::cout << routine << ": " << count.UnflaggedPassed << "/" << count.Unflagged
              << " unflagged, " << count.FlaggedPassed << "/" << count.Flagged << " flagged ("
              << count.Deviations << " under known deviations, " << count.DeviationsDiffering
              << " of them differing)\n";
  }
  for (const auto& [flags, number] : differingByFlag) {
    std::cout << "  differing under " << flags << ": " << number << "\n";
  }
}
