#include "platform/host/Db.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace host {

namespace {

// The host's messages.
constexpr const char* SFieldNotFound = "Field '%s' not found";
constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
constexpr const char* SFieldRangeError =
    "%d is not a valid value for field '%s'. The allowed range is %d to %d";
constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
constexpr const char* SBookmarkNotFound = "Bookmark not found in dataset '%s'";
constexpr const char* SRecNoOutOfRange = "Record %d is not in dataset '%s', which has %d records";
constexpr const char* STooManyValues = "%d values given for dataset '%s', which has %d fields";

constexpr std::array<const char*, FieldTypeCount> FieldTypeNames = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
};
static_assert(FieldTypeNames.size() == ftDataSet + 1);

const TFieldValue& NullValue() {
  static const TFieldValue value{};
  return value;
}

// Bookmarks carry the opening number in their top 24 bits and the record id plus one below,
// so that a bookmark is never null and one from an earlier opening (of any data set) is
// refused. The counter is process-wide.
constexpr int BookmarkIdBits = 40;
constexpr std::uint64_t BookmarkIdMask = (std::uint64_t{1} << BookmarkIdBits) - 1;
static_assert(sizeof(void*) == sizeof(std::uint64_t), "bookmarks need 64-bit pointers");

std::uint32_t NextOpening() {
  static std::atomic<std::uint32_t> counter{0};
  std::uint32_t result = (counter.fetch_add(1) + 1) & 0xFFFFFFu;
  return result == 0 ? 1 : result;
}

// A Currency written exactly with as few decimals as it needs ("12.5", "-0.0002", "3").
std::string CurrToStrExact(Currency AValue, const TFormatSettings& ASettings) {
  const std::int64_t raw = AValue.GetRaw();
  const std::uint64_t magnitude =
      raw < 0 ? ~static_cast<std::uint64_t>(raw) + 1 : static_cast<std::uint64_t>(raw);
  std::string result = raw < 0 ? "-" : "";
  result += std::to_string(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
    std::string decimals(digits);
    while (!decimals.empty() && decimals.back() == '0') decimals.pop_back();
    result += ASettings.DecimalSeparator;
    result += decimals;
  }
  return result;
}

// Rounds to the nearest whole number, halves to even, as the host's Round does.
std::int64_t RoundToInt64(double AValue) {
  const double rounded = std::nearbyint(AValue);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    throw EOverflow("Floating point overflow converting " + FloatToStr(AValue) +
                    " to a whole number");
  }
  return static_cast<std::int64_t>(rounded);
}

std::int64_t ValueToInt64(const TFieldValue& AValue, const TFormatSettings& ASettings) {
  switch (AValue.GetKind()) {
    case fvkNull:
      return 0;
    case fvkInteger:
      return AValue.GetInteger();
    case fvkFloat:
    case fvkDateTime:
      return RoundToInt64(AValue.GetFloat());
    case fvkCurrency: {
      // Halves to even on the exact four decimals.
      const std::int64_t raw = AValue.GetCurrency().GetRaw();
      std::int64_t whole = raw / 10000;
      const std::int64_t rest = raw % 10000;
      if (rest > 5000 || (rest == 5000 && (whole % 2) != 0)) ++whole;
      if (rest < -5000 || (rest == -5000 && (whole % 2) != 0)) --whole;
      return whole;
    }
    case fvkBoolean:
      return AValue.GetBoolean() ? 1 : 0;
    case fvkString:
      (void)ASettings;
      return StrToInt(AValue.GetString());
  }
  return 0;
}

double ValueToDouble(const TFieldValue& AValue, const TFormatSettings& ASettings) {
  switch (AValue.GetKind()) {
    case fvkNull:
      return 0.0;
    case fvkInteger:
      return static_cast<double>(AValue.GetInteger());
    case fvkFloat:
    case fvkDateTime:
      return AValue.GetFloat();
    case fvkCurrency:
      return AValue.GetCurrency().ToDouble();
    case fvkBoolean:
      return AValue.GetBoolean() ? 1.0 : 0.0;
    case fvkString:
      return StrToFloat(AValue.GetString(), ASettings);
  }
  return 0.0;
}

Currency ValueToCurrency(const TFieldValue& AValue, const TFormatSettings& ASettings) {
  switch (AValue.GetKind()) {
    case fvkNull:
      return Currency();
    case fvkInteger: {
      const std::int64_t value = AValue.GetInteger();
      constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10000;
      if (value > limit || value < -limit) {
        throw EOverflow("Currency overflow converting " + IntToStr(value));
      }
      return Currency::FromRaw(value * 10000);
    }
    case fvkFloat:
    case fvkDateTime:
      return Currency::FromDouble(AValue.GetFloat());
    case fvkCurrency:
      return AValue.GetCurrency();
    case fvkBoolean:
      return Currency::FromRaw(AValue.GetBoolean() ? 10000 : 0);
    case fvkString:
      return StrToCurr(AValue.GetString(), ASettings);
  }
  return Currency();
}

TDateTime ValueToDateTime(const TFieldValue& AValue, const TFormatSettings& ASettings) {
  switch (AValue.GetKind()) {
    case fvkNull:
      return 0.0;
    case fvkInteger:
      return static_cast<double>(AValue.GetInteger());
    case fvkFloat:
    case fvkDateTime:
      return AValue.GetFloat();
    case fvkCurrency:
      return AValue.GetCurrency().ToDouble();
    case fvkBoolean:
      return AValue.GetBoolean() ? 1.0 : 0.0;
    case fvkString:
      return StrToDateTime(AValue.GetString(), ASettings);
  }
  return 0.0;
}

// Cuts AText at its first NUL byte and to at most AMaxBytes bytes, backing off to the start
// of a UTF-8 character so that none is split. AMaxBytes <= 0 means no limit.
std::string_view CutText(std::string_view AText, int AMaxBytes) {
  const std::size_t nul = AText.find('\0');
  if (nul != std::string_view::npos) AText = AText.substr(0, nul);
  if (AMaxBytes > 0 && AText.size() > static_cast<std::size_t>(AMaxBytes)) {
    auto end = static_cast<std::size_t>(AMaxBytes);
    // A continuation byte at the cut means the character started earlier; keep invalid
    // stray bytes as they are (at most three are stepped over).
    std::size_t back = end;
    int steps = 0;
    while (back > 0 && steps < 3 && (static_cast<unsigned char>(AText[back]) & 0xC0) == 0x80) {
      --back;
      ++steps;
    }
    if (back < end) {
      const auto lead = static_cast<unsigned char>(AText[back]);
      const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (lead >= 0xC0 && back + length > end) end = back;
    }
    AText = AText.substr(0, end);
  }
  return AText;
}

}  // namespace

std::string ValueToText(const TFieldValue& AValue, const TFormatSettings& ASettings) {
  switch (AValue.GetKind()) {
    case fvkNull:
      return {};
    case fvkInteger:
      return IntToStr(AValue.GetInteger());
    case fvkFloat:
      return FloatToStr(AValue.GetFloat(), ASettings);
    case fvkCurrency:
      return CurrToStrExact(AValue.GetCurrency(), ASettings);
    case fvkBoolean:
      return AValue.GetBoolean() ? ASettings.TrueBoolStr : ASettings.FalseBoolStr;
    case fvkDateTime:
      return DateTimeToStr(AValue.GetDateTime(), ASettings);
    case fvkString:
      return AValue.GetString();
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Field types and values

std::string FieldTypeName(TFieldType AType) {
  if (AType >= FieldTypeNames.size()) return {};
  return FieldTypeNames[AType];
}

bool FieldTypeFromName(const std::string& AName, TFieldType& AType) {
  for (std::size_t i = 0; i < FieldTypeNames.size(); ++i) {
    if (SameText(AName, FieldTypeNames[i])) {
      AType = static_cast<TFieldType>(i);
      return true;
    }
  }
  return false;
}

TFieldValue TFieldValue::FromDateTime(TDateTime AValue) {
  TFieldValue result(AValue);
  result.FKind = fvkDateTime;
  return result;
}

bool TFieldValue::Equals(const TFieldValue& AOther) const {
  if (FKind != AOther.FKind) return false;
  switch (FKind) {
    case fvkNull:
      return true;
    case fvkInteger:
    case fvkCurrency:
      return FInteger == AOther.FInteger;
    case fvkFloat:
    case fvkDateTime:
      return std::bit_cast<std::uint64_t>(FFloat) == std::bit_cast<std::uint64_t>(AOther.FFloat);
    case fvkBoolean:
      return FBoolean == AOther.FBoolean;
    case fvkString:
      return FString == AOther.FString;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Field definitions

TFieldDef& TFieldDefs::Add(const std::string& AName, TFieldType ADataType, int ASize,
                           bool ARequired) {
  if (IndexOf(AName) >= 0) throw EDatabaseError(SDuplicateFieldName, {AName});
  TFieldDef def;
  def.Name = AName;
  def.DataType = ADataType;
  def.Size = ASize;
  def.Required = ARequired;
  FItems.push_back(std::move(def));
  return FItems.back();
}

const TFieldDef& TFieldDefs::GetItems(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error("List index out of bounds (%d)", AIndex);
  return FItems[static_cast<std::size_t>(AIndex)];
}

TFieldDef& TFieldDefs::GetItems(int AIndex) {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error("List index out of bounds (%d)", AIndex);
  return FItems[static_cast<std::size_t>(AIndex)];
}

int TFieldDefs::IndexOf(const std::string& AName) const {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (SameText(FItems[i].Name, AName)) return static_cast<int>(i);
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// TField

TField::TField(TComponent* AOwner) : inherited(AOwner) {}

TField::~TField() {
  if (FDataSet != nullptr) FDataSet->RemoveField(this);
}

void TField::SetDataSet(TDataSet* AValue) {
  if (AValue == FDataSet) return;
  if (FDataSet != nullptr) FDataSet->CheckInactive();
  if (AValue != nullptr) {
    AValue->CheckInactive();
    if (!FFieldName.empty() && AValue->FindField(FFieldName) != nullptr) {
      throw EDatabaseError(SDuplicateFieldName, {FFieldName});
    }
  }
  if (FDataSet != nullptr) FDataSet->RemoveField(this);
  FDataSet = AValue;
  FFieldNo = -1;
  if (FDataSet != nullptr) FDataSet->AddField(this);
}

void TField::SetSize(int AValue) { FSize = AValue; }

int TField::GetIndex() const {
  if (FDataSet == nullptr) return -1;
  const auto& fields = FDataSet->FFields;
  auto it = std::find(fields.begin(), fields.end(), this);
  return it == fields.end() ? -1 : static_cast<int>(it - fields.begin());
}

const TFieldValue& TField::GetValue() const {
  if (FDataSet == nullptr) return NullValue();
  return FDataSet->CurrentFieldValue(FFieldNo);
}

std::string TField::GetText() const {
  if (FOnGetText) {
    std::string text;
    FOnGetText(const_cast<TField*>(this), text, false);
    return text;
  }
  try {
    return DoGetText(false);
  } catch (const EConvertError& error) {
    ReadError(error.GetMessage());
  }
}

std::string TField::GetDisplayText() const {
  if (FOnGetText) {
    std::string text;
    FOnGetText(const_cast<TField*>(this), text, true);
    return text;
  }
  try {
    return DoGetText(true);
  } catch (const EConvertError& error) {
    ReadError(error.GetMessage());
  }
}

void TField::ReadError(const std::string& AReason) const {
  std::string where = FDataSet != nullptr ? FDataSet->GetDescription() : "no data set";
  where += ", field '" + GetDisplayLabel() + "'";
  if (FDataSet != nullptr && FDataSet->GetRecNo() > 0) {
    where += ", record " + std::to_string(FDataSet->GetRecNo());
  }
  throw EConvertError(where + ": " + AReason);
}

std::string TField::DoGetText(bool ADisplayText) const {
  (void)ADisplayText;
  return GetAsString();
}

std::string TField::GetAsString() const { return ValueToText(GetValue(), GetFormatSettings()); }

std::int64_t TField::GetAsInteger() const { return ValueToInt64(GetValue(), GetFormatSettings()); }

double TField::GetAsFloat() const { return ValueToDouble(GetValue(), GetFormatSettings()); }

Currency TField::GetAsCurrency() const { return ValueToCurrency(GetValue(), GetFormatSettings()); }

TDateTime TField::GetAsDateTime() const { return ValueToDateTime(GetValue(), GetFormatSettings()); }

bool TField::GetAsBoolean() const {
  const TFieldValue& value = GetValue();
  switch (value.GetKind()) {
    case fvkNull:
      return false;
    case fvkBoolean:
      return value.GetBoolean();
    case fvkInteger:
      return value.GetInteger() != 0;
    case fvkString: {
      const TFormatSettings& settings = GetFormatSettings();
      if (SameText(value.GetString(), settings.TrueBoolStr)) return true;
      if (SameText(value.GetString(), settings.FalseBoolStr)) return false;
      if (SameText(value.GetString(), STextTrue)) return true;
      if (SameText(value.GetString(), STextFalse)) return false;
      throw EConvertError("'" + value.GetString() + "' is not a valid boolean value");
    }
    default:
      break;
  }
  throw EDatabaseError(SFieldAccessError, {GetDisplayLabel(), std::string("Boolean")});
}

void TField::SetValue(const TFieldValue& AValue) {
  if (FDataSet == nullptr) throw EDatabaseError(SNotEditing);
  TFieldValue converted = ConvertValue(AValue);
  FDataSet->SetFieldValue(this, converted);
  FDataSet->NotifyRecordChanged(this);
}

TFieldValue TField::ConvertValue(const TFieldValue& AValue) const { return AValue; }

const TFormatSettings& TField::GetFormatSettings() const {
  return FDataSet != nullptr ? FDataSet->GetFormatSettings() : DefaultFormatSettings();
}

void TField::FieldError(const std::string& AMessage) const {
  throw EDatabaseError(AMessage, {GetDisplayLabel()});
}

// ---------------------------------------------------------------------------------------------
// String fields

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  SetSize(20);
}

TFieldValue TStringField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  if (AValue.GetKind() == fvkString) return TFieldValue(CutText(AValue.GetString(), GetSize()));
  return TFieldValue(CutText(ValueToText(AValue, GetFormatSettings()), GetSize()));
}

// ---------------------------------------------------------------------------------------------
// Whole-number fields

TIntegerField::TIntegerField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftInteger); }

void TIntegerField::SetRange(std::int64_t AMin, std::int64_t AMax) {
  FMinRange = AMin;
  FMaxRange = AMax;
}

TFieldValue TIntegerField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  const std::int64_t value = ValueToInt64(AValue, GetFormatSettings());
  if (value < FMinRange || value > FMaxRange) {
    throw EDatabaseError(SFieldRangeError, {value, GetDisplayLabel(), FMinRange, FMaxRange});
  }
  return TFieldValue(value);
}

std::string TIntegerField::DoGetText(bool ADisplayText) const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  const std::string& format = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  const std::int64_t number = ValueToInt64(value, GetFormatSettings());
  if (format.empty()) return IntToStr(number);
  return FormatFloat(format, static_cast<double>(number), GetFormatSettings());
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
  SetRange(-32768, 32767);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftWord);
  SetRange(0, 65535);
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftAutoInc); }

TLargeintField::TLargeintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftLargeint);
  SetRange(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
}

// ---------------------------------------------------------------------------------------------
// Float and currency fields

TFloatField::TFloatField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftFloat); }

void TFloatField::SetPrecision(int AValue) { FPrecision = std::clamp(AValue, 2, 15); }

TFieldValue TFloatField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  return TFieldValue(ValueToDouble(AValue, GetFormatSettings()));
}

namespace {

// The general format with APrecision significant digits.
std::string FloatToStrGeneral(double AValue, int APrecision, const TFormatSettings& ASettings) {
  if (APrecision >= 15 || !std::isfinite(AValue)) return FloatToStr(AValue, ASettings);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", APrecision - 1, AValue);
  return FloatToStr(std::strtod(buffer, nullptr), ASettings);
}

// The fixed text of a double with ADigits decimals, rounded half away from zero on the
// double's exact value, without thousands separators. FloatToStrFixed serves the usual range;
// beyond it the exact binary expansion (at most three binary decimals from 1e15 on) is rounded
// here, so that large amounts keep their digits instead of turning scientific.
std::string FixedText(double AValue, int ADigits, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue) || std::fabs(AValue) < 1e15) {
    return FloatToStrFixed(AValue, ADigits, ASettings);
  }
  ADigits = std::clamp(ADigits, 0, 18);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.20f", std::fabs(AValue));
  std::string exact = buffer;
  const std::size_t point = exact.find('.');
  std::string digits = exact.substr(0, point) + exact.substr(point + 1, ADigits);
  if (exact[point + 1 + ADigits] >= '5') {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[i - 1];
    }
  }
  std::string result = AValue < 0 ? "-" : "";
  result += digits.substr(0, digits.size() - ADigits);
  if (ADigits > 0) {
    result += ASettings.DecimalSeparator;
    result += digits.substr(digits.size() - ADigits);
  }
  return result;
}

// Puts the currency string around an unsigned amount as CurrencyFormat (ANegative false) or
// NegCurrFormat (ANegative true) says.
std::string ApplyCurrencyFormat(const std::string& AAmount, bool ANegative,
                                const TFormatSettings& ASettings) {
  const std::string& c = ASettings.CurrencyString;
  const std::string& n = AAmount;
  if (!ANegative) {
    switch (ASettings.CurrencyFormat) {
      case 1:
        return n + c;
      case 2:
        return c + " " + n;
      case 3:
        return n + " " + c;
      default:
        return c + n;
    }
  }
  switch (ASettings.NegCurrFormat) {
    case 1:
      return "-" + c + n;
    case 2:
      return c + "-" + n;
    case 3:
      return c + n + "-";
    case 4:
      return "(" + n + c + ")";
    case 5:
      return "-" + n + c;
    case 6:
      return n + "-" + c;
    case 7:
      return n + c + "-";
    case 8:
      return "-" + n + " " + c;
    case 9:
      return "-" + c + " " + n;
    case 10:
      return n + " " + c + "-";
    case 11:
      return c + " " + n + "-";
    case 12:
      return c + " -" + n;
    case 13:
      return n + "- " + c;
    case 14:
      return "(" + c + " " + n + ")";
    case 15:
      return "(" + n + " " + c + ")";
    default:
      return "(" + c + n + ")";
  }
}

// The currency format of a double with ADigits decimals. The value is rounded once, to
// ADigits, before it becomes a Currency, so that no digit is rounded twice; an amount beyond
// Currency's range is formatted from its fixed text.
std::string FloatToStrCurrency(double AValue, int ADigits, const TFormatSettings& ASettings) {
  TFormatSettings plain = ASettings;
  plain.DecimalSeparator = '.';
  plain.ThousandSeparator = ',';
  const std::string fixed = FixedText(AValue, ADigits, plain);
  if (std::fabs(AValue) < 9e14)
    return CurrToStrCurrency(StrToCurr(fixed, plain), ADigits, ASettings);
  // Group the whole part by thousands and put the settings' separators in.
  const bool negative = fixed[0] == '-';
  const std::size_t start = negative ? 1 : 0;
  const std::size_t point = fixed.find('.');
  const std::string whole = fixed.substr(start, point == std::string::npos ? point : point - start);
  std::string amount;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) amount += ASettings.ThousandSeparator;
    amount += whole[i];
  }
  if (point != std::string::npos) {
    amount += ASettings.DecimalSeparator;
    amount += fixed.substr(point + 1);
  }
  return ApplyCurrencyFormat(amount, negative, ASettings);
}

}  // namespace

std::string TFloatField::DoGetText(bool ADisplayText) const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  const TFormatSettings& settings = GetFormatSettings();
  const double number = ValueToDouble(value, settings);
  const std::string& format = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  if (!format.empty()) return FormatFloat(format, number, settings);
  if (FCurrency) {
    if (ADisplayText) return FloatToStrCurrency(number, settings.CurrencyDecimals, settings);
    return FixedText(number, settings.CurrencyDecimals, settings);
  }
  return FloatToStrGeneral(number, FPrecision, settings);
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

TBCDField::TBCDField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBCD);
  TField::SetSize(4);
}

void TBCDField::SetSize(int AValue) { TField::SetSize(std::clamp(AValue, 0, 4)); }

std::string TBCDField::GetAsString() const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  return CurrToStrExact(ValueToCurrency(value, GetFormatSettings()), GetFormatSettings());
}

TFieldValue TBCDField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  return TFieldValue(ValueToCurrency(AValue, GetFormatSettings()));
}

std::string TBCDField::DoGetText(bool ADisplayText) const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  const TFormatSettings& settings = GetFormatSettings();
  const Currency number = ValueToCurrency(value, settings);
  const std::string& format = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
  if (!format.empty()) return FormatCurr(format, number, settings);
  if (FCurrency) {
    if (ADisplayText) return CurrToStrCurrency(number, settings.CurrencyDecimals, settings);
    std::string fixed = "0";
    if (settings.CurrencyDecimals > 0) fixed += "." + std::string(settings.CurrencyDecimals, '0');
    return FormatCurr(fixed, number, settings);
  }
  return CurrToStrExact(number, settings);
}

// ---------------------------------------------------------------------------------------------
// Boolean fields

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& AValue) {
  FDisplayValues = AValue;
  if (AValue.empty()) {
    FTrueText.clear();
    FFalseText.clear();
    return;
  }
  const std::size_t separator = AValue.find(';');
  if (separator == std::string::npos) {
    FTrueText = AValue;
    FFalseText.clear();
  } else {
    FTrueText = AValue.substr(0, separator);
    FFalseText = AValue.substr(separator + 1);
  }
}

const std::string& TBooleanField::TrueText() const {
  return FDisplayValues.empty() ? GetFormatSettings().TrueBoolStr : FTrueText;
}

const std::string& TBooleanField::FalseText() const {
  return FDisplayValues.empty() ? GetFormatSettings().FalseBoolStr : FFalseText;
}

std::string TBooleanField::GetAsString() const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  return GetAsBoolean() ? TrueText() : FalseText();
}

std::string TBooleanField::DoGetText(bool ADisplayText) const {
  (void)ADisplayText;
  return GetAsString();
}

TFieldValue TBooleanField::ConvertValue(const TFieldValue& AValue) const {
  switch (AValue.GetKind()) {
    case fvkNull:
    case fvkBoolean:
      return AValue;
    case fvkString: {
      // A text stands for the value whose text it begins (so "Y" and "yes" both mean "Yes"),
      // false tried first; an empty text is null.
      const std::string& text = AValue.GetString();
      if (text.empty()) return TFieldValue();
      const auto matches = [&text](const std::string& ACandidate) {
        return SameText(text, ACandidate.substr(0, text.size()));
      };
      if (matches(FalseText())) return TFieldValue(false);
      if (matches(TrueText())) return TFieldValue(true);
      if (SameText(text, STextFalse)) return TFieldValue(false);
      if (SameText(text, STextTrue)) return TFieldValue(true);
      throw EDatabaseError(SInvalidBoolValue, {text, GetDisplayLabel()});
    }
    case fvkInteger:
      return TFieldValue(AValue.GetInteger() != 0);
    default:
      throw EDatabaseError(SFieldAccessError, {GetDisplayLabel(), std::string("Boolean")});
  }
}

// ---------------------------------------------------------------------------------------------
// Date and time fields

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }

std::string TDateTimeField::DefaultFormat() const { return "c"; }

std::string TDateTimeField::GetAsString() const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  return FormatDateTime(DefaultFormat(), ValueToDateTime(value, GetFormatSettings()),
                        GetFormatSettings());
}

std::string TDateTimeField::DoGetText(bool ADisplayText) const {
  const TFieldValue& value = GetValue();
  if (value.IsNull()) return {};
  // Unlike numbers, the edit text of a date never takes DisplayFormat: a display format such
  // as "dddd, d. mmmm" could not be typed back. Only an EditFormat changes it.
  const std::string& format = ADisplayText ? FDisplayFormat : FEditFormat;
  const TDateTime moment = ValueToDateTime(value, GetFormatSettings());
  return FormatDateTime(format.empty() ? DefaultFormat() : format, moment, GetFormatSettings());
}

TFieldValue TDateTimeField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  return TFieldValue::FromDateTime(ValueToDateTime(AValue, GetFormatSettings()));
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }

std::string TDateField::DefaultFormat() const { return GetFormatSettings().ShortDateFormat; }

TFieldValue TDateField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  // The day is the whole part (toward zero: before 1899-12-30 the fraction is the time).
  return TFieldValue::FromDateTime(std::trunc(ValueToDateTime(AValue, GetFormatSettings())));
}

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

std::string TTimeField::DefaultFormat() const { return GetFormatSettings().LongTimeFormat; }

TFieldValue TTimeField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull()) return AValue;
  const TDateTime moment = ValueToDateTime(AValue, GetFormatSettings());
  return TFieldValue::FromDateTime(std::fabs(moment - std::trunc(moment)));
}

// ---------------------------------------------------------------------------------------------
// Blob fields

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }

std::string TBlobField::GetAsString() const {
  const TFieldValue& value = GetValue();
  if (value.GetKind() == fvkString || value.IsNull()) return value.GetString();
  return ValueToText(value, GetFormatSettings());
}

TFieldValue TBlobField::ConvertValue(const TFieldValue& AValue) const {
  if (AValue.IsNull() || AValue.GetKind() == fvkString) return AValue;
  return TFieldValue(ValueToText(AValue, GetFormatSettings()));
}

std::string TBlobField::DoGetText(bool ADisplayText) const {
  (void)ADisplayText;
  // "(Memo)" for an empty or null memo, "(MEMO)" when it has content.
  std::string name = FieldTypeName(GetDataType()).substr(2);
  const TFieldValue& value = GetValue();
  if (!value.IsNull() && !(value.GetKind() == fvkString && value.GetString().empty())) {
    name = UpperCase(name);
  }
  return "(" + name + ")";
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftMemo); }

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftGraphic); }

TFmtMemoField::TFmtMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftFmtMemo); }

// ---------------------------------------------------------------------------------------------
// Field factory

namespace {

// A plain field standing for a type without a class of its own.
class TPlainField : public TField {
 public:
  TPlainField(TComponent* AOwner, TFieldType AType) : TField(AOwner) { SetDataType(AType); }
};

// Fixed-length and wide strings read and cut as strings but keep their own type.
class TTypedStringField : public TStringField {
 public:
  TTypedStringField(TComponent* AOwner, TFieldType AType) : TStringField(AOwner) {
    SetDataType(AType);
  }
};

}  // namespace

TField* CreateField(TComponent* AOwner, TFieldType AType) {
  switch (AType) {
    case ftString:
      return new TStringField(AOwner);
    case ftFixedChar:
    case ftWideString:
      return new TTypedStringField(AOwner, AType);
    case ftSmallint:
      return new TSmallintField(AOwner);
    case ftInteger:
      return new TIntegerField(AOwner);
    case ftWord:
      return new TWordField(AOwner);
    case ftAutoInc:
      return new TAutoIncField(AOwner);
    case ftLargeint:
      return new TLargeintField(AOwner);
    case ftBoolean:
      return new TBooleanField(AOwner);
    case ftFloat:
      return new TFloatField(AOwner);
    case ftCurrency:
      return new TCurrencyField(AOwner);
    case ftBCD:
      return new TBCDField(AOwner);
    case ftDate:
      return new TDateField(AOwner);
    case ftTime:
      return new TTimeField(AOwner);
    case ftDateTime:
      return new TDateTimeField(AOwner);
    case ftBlob:
    case ftTypedBinary:
      return new TBlobField(AOwner);
    case ftMemo:
      return new TMemoField(AOwner);
    case ftGraphic:
      return new TGraphicField(AOwner);
    case ftFmtMemo:
      return new TFmtMemoField(AOwner);
    default:
      return new TPlainField(AOwner, AType);
  }
}

// ---------------------------------------------------------------------------------------------
// TDataSet

TDataSet::TDataSet(TComponent* AOwner)
    : inherited(AOwner), FFormatSettings(DefaultFormatSettings()) {}

TDataSet::~TDataSet() {
  // The subclass has closed already (InternalClose is gone by now); what is left is the
  // base's share of closing, then letting go of sources and persistent fields.
  if (FState != dsInactive) {
    FreeDefaultFields();
    FState = dsInactive;
    FCurrent = -1;
    NotifyActiveChanged();
  }
  const std::vector<TDataSource*> sources = FDataSources;
  FDataSources.clear();
  for (TDataSource* source : sources) {
    source->FDataSet = nullptr;
    source->UpdateLinks();
  }
  const std::vector<TField*> fields = FFields;
  FFields.clear();
  for (TField* field : fields) {
    field->FDataSet = nullptr;
    field->FFieldNo = -1;
  }
}

void TDataSet::SetActive(bool AValue) {
  if (AValue == GetActive()) return;
  if (AValue) {
    DoOpen();
  } else {
    DoClose();
  }
}

void TDataSet::DoOpen() {
  InternalOpen();
  try {
    BindFields();
  } catch (...) {
    FreeDefaultFields();
    InternalClose();
    throw;
  }
  FOpening = NextOpening();
  FState = dsBrowse;
  const int count = GetRecordCountInternal();
  FCurrent = count > 0 ? 0 : -1;
  FBOF = true;
  FEOF = count == 0;
  NotifyActiveChanged();
}

void TDataSet::DoClose() {
  FreeDefaultFields();
  InternalClose();
  FState = dsInactive;
  FCurrent = -1;
  FBOF = true;
  FEOF = true;
  for (TField* field : FFields) field->FFieldNo = -1;
  NotifyActiveChanged();
}

void TDataSet::BindFields() {
  if (FFields.empty()) {
    for (int i = 0; i < FFieldDefs->GetCount(); ++i) {
      TField* field = CreateFieldForDef(FFieldDefs->GetItems(i));
      field->FDefaultField = true;
      field->FFieldNo = i;
      if (field->FDataSet != this) {
        field->FDataSet = this;
        FFields.push_back(field);
      }
    }
    return;
  }
  for (TField* field : FFields) {
    const int index = FFieldDefs->IndexOf(field->GetFieldName());
    if (index < 0) throw EDatabaseError(SFieldNotFound, {field->GetFieldName()});
    field->FFieldNo = index;
  }
}

void TDataSet::FreeDefaultFields() {
  const std::vector<TField*> fields = FFields;
  for (TField* field : fields) {
    if (field->FDefaultField) delete field;  // leaves the list through ~TField
  }
}

TField* TDataSet::CreateFieldForDef(const TFieldDef& ADef) {
  TField* field = CreateField(this, ADef.DataType);
  field->SetFieldName(ADef.Name);
  if (ADef.Size > 0) field->SetSize(ADef.Size);
  if (ADef.Precision > 0) {
    if (auto* floatField = dynamic_cast<TFloatField*>(field))
      floatField->SetPrecision(ADef.Precision);
    if (auto* bcdField = dynamic_cast<TBCDField*>(field)) bcdField->SetPrecision(ADef.Precision);
  }
  field->SetRequired(ADef.Required);
  return field;
}

void TDataSet::AddField(TField* AField) { FFields.push_back(AField); }

void TDataSet::RemoveField(TField* AField) {
  FFields.erase(std::remove(FFields.begin(), FFields.end(), AField), FFields.end());
}

void TDataSet::CheckActive() const {
  if (FState == dsInactive) throw EDatabaseError(SDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (FState != dsInactive) throw EDatabaseError(SDataSetOpen);
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  const int count = GetRecordCountInternal();
  const int old = FCurrent;
  FCurrent = count > 0 ? 0 : -1;
  FBOF = true;
  FEOF = count == 0;
  if (FCurrent != old) NotifyScrolled(FCurrent - old);
}

void TDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  const int count = GetRecordCountInternal();
  const int old = FCurrent;
  FCurrent = count - 1;
  FEOF = true;
  FBOF = count == 0;
  if (FCurrent != old) NotifyScrolled(FCurrent - old);
}

void TDataSet::Next() {
  CheckActive();
  if (!FEOF) MoveBy(1);
}

void TDataSet::Prior() {
  CheckActive();
  if (!FBOF) MoveBy(-1);
}

int TDataSet::MoveBy(int ADistance) {
  CheckActive();
  CheckBrowseMode();
  if (ADistance == 0 || (ADistance > 0 && FEOF) || (ADistance < 0 && FBOF)) return 0;
  FBOF = false;
  FEOF = false;
  const int count = GetRecordCountInternal();
  if (count == 0) {
    FBOF = true;
    FEOF = true;
    FCurrent = -1;
    return 0;
  }
  const int old = FCurrent;
  const std::int64_t target = static_cast<std::int64_t>(old) + ADistance;
  if (target > count - 1) {
    FCurrent = count - 1;
    FEOF = true;
  } else if (target < 0) {
    FCurrent = 0;
    FBOF = true;
  } else {
    FCurrent = static_cast<int>(target);
  }
  const int moved = FCurrent - old;
  if (moved != 0) NotifyScrolled(moved);
  return moved;
}

std::string TDataSet::GetDescription() const {
  return FDescription.empty() ? "data set '" + GetName() + "'" : FDescription;
}

int TDataSet::GetRecNo() const {
  if (FState == dsInactive || FCurrent < 0) return 0;
  return FCurrent + 1;
}

void TDataSet::SetRecNo(int AValue) {
  CheckActive();
  CheckBrowseMode();
  const int count = GetRecordCountInternal();
  if (AValue < 1 || AValue > count) {
    throw EDatabaseError(SRecNoOutOfRange, {AValue, GetName(), count});
  }
  const int old = FCurrent;
  FCurrent = AValue - 1;
  FBOF = false;
  FEOF = false;
  if (FCurrent != old) NotifyScrolled(FCurrent - old);
}

int TDataSet::GetRecordCount() const {
  CheckActive();
  return GetRecordCountInternal();
}

bool TDataSet::IsEmpty() const { return FState == dsInactive || GetRecordCountInternal() == 0; }

TBookmark TDataSet::GetBookmark() const {
  if (FState == dsInactive || FCurrent < 0) return nullptr;
  const std::uint64_t id = GetRecordId(FCurrent);
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(FOpening) << BookmarkIdBits) | ((id + 1) & BookmarkIdMask);
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is opaque and never dereferenced
  return reinterpret_cast<TBookmark>(static_cast<std::uintptr_t>(bits));
}

bool TDataSet::BookmarkValid(TBookmark ABookmark) const {
  if (ABookmark == nullptr || FState == dsInactive) return false;
  const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(ABookmark));
  if ((bits >> BookmarkIdBits) != FOpening) return false;
  const std::uint64_t idPlusOne = bits & BookmarkIdMask;
  if (idPlusOne == 0) return false;
  return FindRecordIndex(idPlusOne - 1) >= 0;
}

void TDataSet::GotoBookmark(TBookmark ABookmark) {
  CheckActive();
  CheckBrowseMode();
  if (!BookmarkValid(ABookmark)) throw EDatabaseError(SBookmarkNotFound, {GetName()});
  const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(ABookmark));
  const int index = FindRecordIndex((bits & BookmarkIdMask) - 1);
  const int old = FCurrent;
  FCurrent = index;
  FBOF = false;
  FEOF = false;
  if (FCurrent != old) NotifyScrolled(FCurrent - old);
}

void TDataSet::FreeBookmark(TBookmark ABookmark) const { (void)ABookmark; }

std::uint64_t TDataSet::GetRecordId(int ARecordIndex) const {
  return static_cast<std::uint64_t>(ARecordIndex);
}

int TDataSet::FindRecordIndex(std::uint64_t AId) const {
  const int count = GetRecordCountInternal();
  if (AId < static_cast<std::uint64_t>(count) && GetRecordId(static_cast<int>(AId)) == AId) {
    return static_cast<int>(AId);
  }
  for (int i = 0; i < count; ++i) {
    if (GetRecordId(i) == AId) return i;
  }
  return -1;
}

TField* TDataSet::GetFields(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetFieldCount())
    TList::Error("List index out of bounds (%d)", AIndex);
  return FFields[static_cast<std::size_t>(AIndex)];
}

TField* TDataSet::FieldByName(const std::string& AName) const {
  TField* field = FindField(AName);
  if (field == nullptr) throw EDatabaseError(SFieldNotFound, {AName});
  return field;
}

TField* TDataSet::FindField(const std::string& AName) const {
  for (TField* field : FFields) {
    if (SameText(field->GetFieldName(), AName)) return field;
  }
  return nullptr;
}

void TDataSet::SetFormatSettings(const TFormatSettings& AValue) {
  FFormatSettings = AValue;
  if (FState != dsInactive) NotifyDataSetChanged();
}

const TFieldValue& TDataSet::CurrentFieldValue(int AFieldNo) const {
  if (AFieldNo < 0) return NullValue();
  if (FState == dsBrowse) {
    return FCurrent >= 0 ? GetFieldValue(FCurrent, AFieldNo) : NullValue();
  }
  if (FState == dsInsert || FState == dsEdit) return GetPendingFieldValue(AFieldNo);
  return NullValue();
}

const TFieldValue& TDataSet::GetPendingFieldValue(int AFieldNo) const {
  (void)AFieldNo;
  return NullValue();
}

void TDataSet::SetFieldValue(TField* AField, const TFieldValue& AValue) {
  (void)AField;
  (void)AValue;
  throw EDatabaseError(SNotEditing);
}

void TDataSet::Resync(int AIndex) {
  const int count = GetRecordCountInternal();
  FCurrent = count == 0 ? -1 : std::clamp(AIndex, 0, count - 1);
  FBOF = count == 0;
  FEOF = count == 0;
  NotifyDataSetChanged();
}

void TDataSet::AddDataSource(TDataSource* ASource) {
  if (std::find(FDataSources.begin(), FDataSources.end(), ASource) == FDataSources.end()) {
    FDataSources.push_back(ASource);
  }
}

void TDataSet::RemoveDataSource(TDataSource* ASource) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), ASource),
                     FDataSources.end());
}

// Notices go to a copy of the lists: a handler may attach or detach links while they run.
void TDataSet::NotifyActiveChanged() {
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* source : sources) source->UpdateLinks();
}

void TDataSet::NotifyScrolled(int ADistance) {
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* source : sources) {
    if (!source->FEnabled) continue;
    const std::vector<TDataLink*> links = source->FDataLinks;
    for (TDataLink* link : links) {
      if (link->GetActive()) link->DataSetScrolled(ADistance);
    }
  }
}

void TDataSet::NotifyDataSetChanged() {
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* source : sources) {
    if (!source->FEnabled) continue;
    const std::vector<TDataLink*> links = source->FDataLinks;
    for (TDataLink* link : links) {
      if (link->GetActive()) link->DataSetChanged();
    }
  }
}

void TDataSet::NotifyRecordChanged(TField* AField) {
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* source : sources) {
    if (!source->FEnabled) continue;
    const std::vector<TDataLink*> links = source->FDataLinks;
    for (TDataLink* link : links) {
      if (link->GetActive()) link->RecordChanged(AField);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TMemDataSet

TMemDataSet::TMemDataSet(TComponent* AOwner) : inherited(AOwner) {}

TMemDataSet::~TMemDataSet() { Close(); }

void TMemDataSet::InternalOpen() {
  // Persistent fields without definitions define the columns themselves.
  TFieldDefs* defs = GetFieldDefs();
  if (defs->GetCount() == 0) {
    for (TField* field : GetFieldList()) {
      TFieldDef& def = defs->Add(field->GetFieldName(), field->GetDataType(), field->GetSize(),
                                 field->GetRequired());
      (void)def;
    }
  }
  FRows.clear();
  FAppending.clear();
}

void TMemDataSet::InternalClose() {
  FRows.clear();
  FAppending.clear();
}

const TFieldValue& TMemDataSet::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  const auto& row = FRows[static_cast<std::size_t>(ARecordIndex)];
  if (AFieldNo >= static_cast<int>(row.size())) return NullValue();
  return row[static_cast<std::size_t>(AFieldNo)];
}

const TFieldValue& TMemDataSet::GetPendingFieldValue(int AFieldNo) const {
  if (AFieldNo >= static_cast<int>(FAppending.size())) return NullValue();
  return FAppending[static_cast<std::size_t>(AFieldNo)];
}

void TMemDataSet::SetFieldValue(TField* AField, const TFieldValue& AValue) {
  if (GetState() != dsInsert) throw EDatabaseError(SNotEditing);
  const int fieldNo = AField->GetFieldNo();
  if (fieldNo < 0) return;
  if (fieldNo >= static_cast<int>(FAppending.size())) {
    FAppending.resize(static_cast<std::size_t>(fieldNo) + 1);
  }
  FAppending[static_cast<std::size_t>(fieldNo)] = AValue;
}

void TMemDataSet::CheckBrowseMode() {
  if (GetState() == dsInsert) Post();
}

void TMemDataSet::Append() {
  CheckActive();
  if (GetState() == dsInsert) Post();
  FAppending.assign(static_cast<std::size_t>(GetFieldDefs()->GetCount()), TFieldValue());
  SetState(dsInsert);
  NotifyDataSetChanged();
}

void TMemDataSet::Post() {
  CheckActive();
  if (GetState() != dsInsert) throw EDatabaseError(SNotEditing);
  FRows.push_back(std::move(FAppending));
  FAppending.clear();
  SetState(dsBrowse);
  Resync(static_cast<int>(FRows.size()) - 1);
}

void TMemDataSet::Cancel() {
  if (GetState() != dsInsert) return;
  FAppending.clear();
  SetState(dsBrowse);
  NotifyDataSetChanged();
}

void TMemDataSet::AppendRecord(const std::vector<TFieldValue>& AValues) {
  CheckActive();
  if (GetState() == dsInsert) Post();
  if (AValues.size() > static_cast<std::size_t>(GetFieldCount())) {
    throw EDatabaseError(STooManyValues,
                         {static_cast<int>(AValues.size()), GetName(), GetFieldCount()});
  }
  std::vector<TFieldValue> row(static_cast<std::size_t>(GetFieldDefs()->GetCount()));
  for (std::size_t i = 0; i < AValues.size(); ++i) {
    TField* field = GetFields(static_cast<int>(i));
    if (field->GetFieldNo() < 0) continue;
    row[static_cast<std::size_t>(field->GetFieldNo())] = field->ConvertValue(AValues[i]);
  }
  FRows.push_back(std::move(row));
  Resync(static_cast<int>(FRows.size()) - 1);
}

// ---------------------------------------------------------------------------------------------
// TDataSource and TDataLink

TDataSource::TDataSource(TComponent* AOwner) : inherited(AOwner) {}

TDataSource::~TDataSource() {
  if (FDataSet != nullptr) FDataSet->RemoveDataSource(this);
  FDataSet = nullptr;
  const std::vector<TDataLink*> links = FDataLinks;
  FDataLinks.clear();
  for (TDataLink* link : links) {
    link->FDataSource = nullptr;
    link->UpdateState();
  }
}

void TDataSource::SetDataSet(TDataSet* AValue) {
  if (AValue == FDataSet) return;
  if (FDataSet != nullptr) {
    FDataSet->RemoveDataSource(this);
    RemoveFreeNotification(FDataSet);
  }
  FDataSet = AValue;
  if (FDataSet != nullptr) {
    FDataSet->AddDataSource(this);
    FreeNotification(FDataSet);
  }
  UpdateLinks();
}

void TDataSource::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  UpdateLinks();
}

TDataSetState TDataSource::GetState() const {
  if (FDataSet == nullptr || !FEnabled) return dsInactive;
  return FDataSet->GetState();
}

void TDataSource::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == opRemove && AComponent == FDataSet) {
    // Only pointers are compared here: the data set is already half destroyed.
    FDataSet = nullptr;
    UpdateLinks();
  }
}

void TDataSource::UpdateLinks() {
  const std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* link : links) link->UpdateState();
}

TDataLink::~TDataLink() {
  if (FDataSource != nullptr) {
    auto& links = FDataSource->FDataLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
}

void TDataLink::SetDataSource(TDataSource* AValue) {
  if (AValue == FDataSource) return;
  if (FDataSource != nullptr) {
    auto& links = FDataSource->FDataLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  FDataSource = AValue;
  if (FDataSource != nullptr) FDataSource->FDataLinks.push_back(this);
  UpdateState();
}

TDataSet* TDataLink::GetDataSet() const {
  return FDataSource != nullptr ? FDataSource->GetDataSet() : nullptr;
}

void TDataLink::UpdateState() {
  const bool active = FDataSource != nullptr && FDataSource->FEnabled &&
                      FDataSource->FDataSet != nullptr && FDataSource->FDataSet->GetActive();
  if (active == FActive) return;
  FActive = active;
  ActiveChanged();
}

}  // namespace host
