#include "platform/host/CsvData.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace host {

namespace {

// The line of the first byte that is no UTF-8, 0 when the text is valid.
int FirstInvalidUtf8Line(std::string_view AText) {
  int line = 1;
  std::size_t i = 0;
  while (i < AText.size()) {
    const auto lead = static_cast<unsigned char>(AText[i]);
    if (lead < 0x80) {
      if (lead == '\n') ++line;
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return line;
    }
    if (i + length > AText.size()) return line;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(AText[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return line;
    }
    i += length;
  }
  return 0;
}

bool TextToBoolean(const std::string& AText, bool& AValue) {
  static constexpr std::array<const char*, 5> TrueTexts = {"TRUE", "T", "YES", "Y", "1"};
  static constexpr std::array<const char*, 5> FalseTexts = {"FALSE", "F", "NO", "N", "0"};
  const std::string text = UpperCase(Trim(AText));
  for (const char* candidate : TrueTexts) {
    if (text == candidate) return AValue = true;
  }
  for (const char* candidate : FalseTexts) {
    if (text == candidate) {
      AValue = false;
      return true;
    }
  }
  return false;
}

bool IsTextType(TFieldType AType) {
  switch (AType) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
    case ftWideString:
    case ftBlob:
    case ftGraphic:
      return true;
    default:
      return false;
  }
}

bool IsSupportedType(TFieldType AType) {
  switch (AType) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftDateTime:
      return true;
    default:
      return IsTextType(AType);
  }
}

// What a column's values have in common, for the type a column without a stated type gets.
// Each bit is a type that every value seen so far can be read as; a whole number with a
// leading zero or a sign '+' (a postcode, a telephone number) fits none of the number types,
// so such a column stays text and keeps its digits.
enum TCsvGuess : unsigned {
  cgInteger = 1,
  cgDecimalPoint = 2,  // also whole numbers
  cgDecimalComma = 4,  // also whole numbers
  cgDate = 8,          // yyyy-mm-dd
  cgDateTime = 16,     // yyyy-mm-dd, or with a time after 'T' or ' '
  cgBoolean = 32,      // true, false
  cgAll = 63,
};

struct TCsvColumnGuess {
  unsigned Fits = cgAll;
  bool Seen = false;
  bool Wide = false;  // a whole number beyond 32 bits
  int Decimals = 0;   // the most decimals of a decimal value
};

bool AllDigits(std::string_view AText) {
  return !AText.empty() &&
         std::all_of(AText.begin(), AText.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole numbers without leading zeros (0 itself aside) and at most 18 digits.
bool WholeNumber(std::string_view AText) {
  if (!AText.empty() && AText.front() == '-') AText.remove_prefix(1);
  return AllDigits(AText) && AText.size() <= 18 && (AText.size() == 1 || AText.front() != '0');
}

bool IsoDate(std::string_view AText) {
  TDateTime moment = 0;
  return AText.size() == 10 && AText[4] == '-' && AText[7] == '-' &&
         SQLiteTextToDateTime(AText, moment);
}

// A date with a time of day and no zone: "2024-05-02T10:00", "2024-05-02 10:00:00.5".
bool IsoDateTime(std::string_view AText) {
  if (AText.size() < 16 || (AText[10] != 'T' && AText[10] != ' ') || !IsoDate(AText.substr(0, 10)))
    return false;
  for (const char c : AText.substr(11)) {
    if (!((c >= '0' && c <= '9') || c == ':' || c == '.')) return false;
  }
  TDateTime moment = 0;
  return SQLiteTextToDateTime(AText, moment);
}

void Guess(TCsvColumnGuess& AGuess, const std::string& ATrimmed, bool ACommaDecimals) {
  AGuess.Seen = true;
  unsigned fits = 0;
  if (WholeNumber(ATrimmed)) {
    fits |= cgInteger | cgDecimalPoint | cgDecimalComma;
    const std::int64_t value = std::stoll(ATrimmed);
    if (value > 2147483647 || value < -2147483648LL) AGuess.Wide = true;
  }
  for (const char separator : {'.', ','}) {
    const std::size_t at = ATrimmed.find(separator);
    if (at == std::string::npos || (separator == ',' && !ACommaDecimals)) continue;
    if (WholeNumber(std::string_view(ATrimmed).substr(0, at)) &&
        AllDigits(std::string_view(ATrimmed).substr(at + 1))) {
      fits |= separator == '.' ? cgDecimalPoint : cgDecimalComma;
      AGuess.Decimals = std::max(AGuess.Decimals, static_cast<int>(ATrimmed.size() - at - 1));
    }
  }
  if (IsoDate(ATrimmed)) fits |= cgDate | cgDateTime;
  if (IsoDateTime(ATrimmed)) fits |= cgDateTime;
  if (SameText(ATrimmed, "true") || SameText(ATrimmed, "false")) fits |= cgBoolean;
  AGuess.Fits &= fits;
}

TFieldType GuessedType(const TCsvColumnGuess& AGuess) {
  if (!AGuess.Seen || AGuess.Fits == 0) return ftString;
  if (AGuess.Fits & cgInteger) return AGuess.Wide ? ftLargeint : ftInteger;
  if (AGuess.Fits & (cgDecimalPoint | cgDecimalComma)) {
    return AGuess.Decimals <= 4 ? ftBCD : ftFloat;
  }
  if (AGuess.Fits & cgDate) return ftDate;
  if (AGuess.Fits & cgDateTime) return ftDateTime;
  return ftBoolean;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading CSV text

char DetectCsvDelimiter(std::string_view AText) {
  std::array<int, 3> counts{};
  static constexpr std::array<char, 3> Candidates = {',', ';', '\t'};
  bool quoted = false;
  for (const char c : AText) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    for (std::size_t k = 0; k < Candidates.size(); ++k) {
      if (c == Candidates[k]) ++counts[k];
    }
  }
  std::size_t best = 0;
  for (std::size_t k = 1; k < Candidates.size(); ++k) {
    if (counts[k] > counts[best]) best = k;
  }
  return Candidates[best];
}

TCsvReader::TCsvReader(std::string_view AText, std::string AFileName, char ADelimiter)
    : FText(AText), FFileName(std::move(AFileName)), FDelimiter(ADelimiter) {
  if (FText.substr(0, 3) == "\xEF\xBB\xBF") FText.remove_prefix(3);
  if (const int line = FirstInvalidUtf8Line(FText); line > 0) {
    Error(line, "the file is not UTF-8 text; save it as UTF-8");
  }
  if (FDelimiter == 0) FDelimiter = DetectCsvDelimiter(FText);
}

void TCsvReader::Error(int ALine, const std::string& AMessage) const {
  throw EDatabaseError(FFileName + ", line " + std::to_string(ALine) + ": " + AMessage);
}

// Steps over one line break (CR LF, LF or CR) at FPos.
void TCsvReader::EndLine() {
  if (FText[FPos] == '\r' && FPos + 1 < FText.size() && FText[FPos + 1] == '\n') ++FPos;
  ++FPos;
  ++FLine;
}

bool TCsvReader::Next(std::vector<TCsvValue>& AValues) {
  AValues.clear();
  // Completely empty lines carry no record.
  while (FPos < FText.size() && (FText[FPos] == '\r' || FText[FPos] == '\n')) EndLine();
  if (FPos >= FText.size()) return false;
  FRecordLine = FLine;
  for (;;) {
    TCsvValue& value = AValues.emplace_back();
    if (FPos < FText.size() && FText[FPos] == '"') {
      value.Quoted = true;
      const int quoteLine = FLine;
      ++FPos;
      for (;;) {
        if (FPos >= FText.size()) Error(quoteLine, "a quoted value is not closed");
        const char c = FText[FPos];
        if (c == '"') {
          if (FPos + 1 < FText.size() && FText[FPos + 1] == '"') {
            value.Text += '"';
            FPos += 2;
            continue;
          }
          ++FPos;
          break;
        }
        if (c == '\n' || (c == '\r' && !(FPos + 1 < FText.size() && FText[FPos + 1] == '\n'))) {
          ++FLine;
        }
        value.Text += c;
        ++FPos;
      }
      if (FPos < FText.size() && FText[FPos] != FDelimiter && FText[FPos] != '\r' &&
          FText[FPos] != '\n') {
        Error(FLine, "text follows the closing quote of a value; double the quotes inside it");
      }
    } else {
      const std::size_t start = FPos;
      while (FPos < FText.size() && FText[FPos] != FDelimiter && FText[FPos] != '\r' &&
             FText[FPos] != '\n') {
        ++FPos;
      }
      value.Text.assign(FText.substr(start, FPos - start));
    }
    if (FPos >= FText.size()) return true;
    if (FText[FPos] == FDelimiter) {
      ++FPos;
      continue;
    }
    EndLine();
    return true;
  }
}

// ---------------------------------------------------------------------------------------------
// TCsvDataSet

// Hears the master move and makes the detail choose its records again.
class TCsvDataSet::TMasterLink : public TDataLink {
 public:
  explicit TMasterLink(TCsvDataSet* ADataSet) : FDataSet(ADataSet) {}

 protected:
  void ActiveChanged() override { FDataSet->MasterChanged(); }
  void DataSetScrolled(int ADistance) override {
    (void)ADistance;
    FDataSet->MasterChanged();
  }
  void DataSetChanged() override { FDataSet->MasterChanged(); }
  void RecordChanged(TField* AField) override {
    (void)AField;
    FDataSet->MasterChanged();
  }

 private:
  TCsvDataSet* FDataSet;  // the owner of this link
};

TCsvDataSet::TCsvDataSet(TComponent* AOwner)
    : inherited(AOwner),
      FFieldTypes(std::make_unique<TStringList>()),
      FMasterLink(std::make_unique<TMasterLink>(this)) {}

TCsvDataSet::~TCsvDataSet() {
  Close();
  FMasterLink->SetDataSource(nullptr);
}

void TCsvDataSet::SetInferTypes(bool AValue) {
  if (AValue == FInferTypes) return;
  CheckInactive();
  FInferTypes = AValue;
}

TDataSource* TCsvDataSet::GetMasterSource() const { return FMasterLink->GetDataSource(); }

void TCsvDataSet::SetMasterSource(TDataSource* AValue) {
  if (AValue != nullptr && AValue->GetDataSet() == this) {
    throw EDatabaseError("Circular datalinks are not allowed");
  }
  FMasterLink->SetDataSource(AValue);
  MasterChanged();
}

void TCsvDataSet::SetMasterFields(const std::string& AValue) {
  if (AValue == FMasterFields) return;
  CheckInactive();
  FMasterFields = AValue;
}

void TCsvDataSet::SetFileName(const std::string& AValue) {
  if (AValue == FFileName) return;
  CheckInactive();
  FFileName = AValue;
}

void TCsvDataSet::SetDelimiter(char AValue) {
  if (AValue == FDelimiter) return;
  CheckInactive();
  if (AValue == '"' || AValue == '\r' || AValue == '\n' ||
      static_cast<unsigned char>(AValue) >= 0x80) {
    throw EDatabaseError("A quote, a line break or a non-ASCII byte cannot separate CSV values");
  }
  FDelimiter = AValue;
}

void TCsvDataSet::SetFieldTypes(const TStringList* AValue) {
  CheckInactive();
  FFieldTypes->Assign(AValue);
}

void TCsvDataSet::SetStreamedActive(bool AValue) {
  if (GetLoading()) {
    FStreamedActive = AValue;
  } else {
    SetActive(AValue);
  }
}

void TCsvDataSet::Loaded() {
  inherited::Loaded();
  if (FStreamedActive) Open();
}

void TCsvDataSet::InternalOpen() {
  if (FFileName.empty()) throw EDatabaseError("CSV data set '%s' has no FileName", {GetName()});
  std::ifstream stream(FFileName, std::ios::binary);
  if (!stream) {
    throw EDatabaseError("Cannot open CSV file '" + FFileName + "': " + std::strerror(errno));
  }
  std::ostringstream buffer;
  buffer << stream.rdbuf();
  if (stream.bad()) {
    throw EDatabaseError("Cannot read CSV file '" + FFileName + "': " + std::strerror(errno));
  }
  const std::string text = buffer.str();
  TCsvReader reader(text, FFileName, FDelimiter);

  std::vector<TCsvValue> values;
  if (!reader.Next(values)) {
    throw EDatabaseError(FFileName + ": the file is empty; its first line must name the fields");
  }
  // Names from the header, trimmed, made unique and never empty.
  std::vector<std::string> names;
  for (const TCsvValue& value : values) {
    std::string name = Trim(value.Text);
    if (name.empty()) name = "Field" + std::to_string(names.size() + 1);
    const std::string base = name;
    for (int suffix = 1;
         std::any_of(names.begin(), names.end(),
                     [&](const std::string& AOther) { return SameText(AOther, name); });
         ++suffix) {
      name = base + "_" + std::to_string(suffix);
    }
    names.push_back(name);
  }
  const std::size_t columns = names.size();

  std::vector<TFieldType> types(columns, ftString);
  std::vector<bool> stated(columns, false);
  for (int i = 0; i < FFieldTypes->GetCount(); ++i) {
    const std::string& line = FFieldTypes->Get(i);
    if (Trim(line).empty()) continue;
    const auto equals = line.find('=');
    const std::string name = Trim(line.substr(0, equals));
    const std::string typeName = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
    const auto column = std::find_if(names.begin(), names.end(), [&](const std::string& AName) {
      return SameText(AName, name);
    });
    if (column == names.end()) {
      throw EDatabaseError("FieldTypes line '%s': %s has no field of that name",
                           {line, FFileName});
    }
    TFieldType type = ftUnknown;
    if (!FieldTypeFromName(typeName, type) || !IsSupportedType(type)) {
      throw EDatabaseError("FieldTypes line '%s': '%s' is not a field type a CSV value can have",
                           {line, typeName});
    }
    const auto index = static_cast<std::size_t>(column - names.begin());
    types[index] = type;
    stated[index] = true;
  }

  const TFormatSettings& settings = GetFormatSettings();
  // The columns without a stated type take the type that all their values fit, read in a
  // pass of their own; decimals with a comma count only where a comma cannot be the delimiter
  // or the settings use it, so "1,234" in a comma-separated file never becomes 1.234.
  std::vector<char> decimalSeparators(columns, settings.DecimalSeparator);
  std::vector<int> decimals(columns, 0);
  if (FInferTypes) {
    TCsvReader guessReader(text, FFileName, reader.GetDelimiter());
    guessReader.Next(values);
    const bool commaDecimals = reader.GetDelimiter() != ',' || settings.DecimalSeparator == ',';
    std::vector<TCsvColumnGuess> guesses(columns);
    while (guessReader.Next(values)) {
      for (std::size_t i = 0; i < columns && i < values.size(); ++i) {
        if (stated[i]) continue;
        const std::string trimmed = Trim(values[i].Text);
        if (!trimmed.empty()) Guess(guesses[i], trimmed, commaDecimals);
      }
    }
    for (std::size_t i = 0; i < columns; ++i) {
      if (stated[i]) continue;
      types[i] = GuessedType(guesses[i]);
      if (types[i] != ftString) {
        decimalSeparators[i] = (guesses[i].Fits & cgDecimalPoint) != 0 ? '.' : ',';
        decimals[i] = guesses[i].Decimals;
      }
    }
  }

  TRowStore rows;
  rows.SetColumnCount(static_cast<int>(columns));
  std::vector<int> maxLengths(columns, 0);
  TFormatSettings decimalSettings = settings;
  while (reader.Next(values)) {
    if (values.size() > columns) {
      throw EDatabaseError(FFileName + ", line " + std::to_string(reader.GetLine()) + ": " +
                           std::to_string(values.size()) + " values, but the header names " +
                           std::to_string(columns) + " fields");
    }
    for (std::size_t i = 0; i < columns; ++i) {
      // A record with fewer values than the header leaves the last fields null.
      if (i >= values.size()) {
        rows.AddNull();
        continue;
      }
      const TCsvValue& value = values[i];
      const TFieldType type = types[i];
      if (IsTextType(type)) {
        if (value.Text.empty() && !value.Quoted) {
          rows.AddNull();
        } else {
          maxLengths[i] = std::max(maxLengths[i], static_cast<int>(value.Text.size()));
          rows.AddString(value.Text);
        }
        continue;
      }
      const std::string trimmed = Trim(value.Text);
      if (trimmed.empty()) {
        rows.AddNull();
        continue;
      }
      // A value that its stated type cannot read is kept as it came: only a merge that reads
      // it fails, naming the field, the record and the value.
      try {
        TDateTime moment = 0;
        bool flag = false;
        decimalSettings.DecimalSeparator = decimalSeparators[i];
        switch (type) {
          case ftFloat:
            rows.AddFloat(StrToFloat(trimmed, decimalSettings));
            break;
          case ftCurrency:
          case ftBCD:
            rows.AddCurrency(StrToCurr(trimmed, decimalSettings));
            break;
          // ISO dates and date-times are read in every column of dates, whatever the
          // settings' date format; other texts by the settings.
          case ftDate:
            if ((IsoDate(trimmed) || IsoDateTime(trimmed)) &&
                SQLiteTextToDateTime(trimmed, moment)) {
              rows.AddDateTime(std::trunc(moment));
            } else {
              rows.AddDateTime(StrToDate(trimmed, settings));
            }
            break;
          case ftTime:
            rows.AddDateTime(StrToTime(trimmed, settings));
            break;
          case ftDateTime:
            if ((IsoDate(trimmed) || IsoDateTime(trimmed)) &&
                SQLiteTextToDateTime(trimmed, moment)) {
              rows.AddDateTime(moment);
            } else {
              rows.AddDateTime(StrToDateTime(trimmed, settings));
            }
            break;
          case ftBoolean:
            if (!TextToBoolean(trimmed, flag)) {
              throw EConvertError("'" + trimmed + "' is not a valid boolean value");
            }
            rows.AddBoolean(flag);
            break;
          default:
            rows.AddInteger(StrToInt(trimmed));
            break;
        }
      } catch (const EConvertError&) {
        rows.AddString(value.Text);
      }
    }
    rows.EndRow();
  }

  TFieldDefs* defs = GetFieldDefs();
  defs->Clear();
  for (std::size_t i = 0; i < columns; ++i) {
    TFieldDef& def = defs->Add(names[i], types[i]);
    if (types[i] == ftString) def.Size = maxLengths[i];
    if (types[i] == ftBCD && !stated[i]) def.Size = decimals[i];
  }
  FRows = std::move(rows);
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FActiveDelimiter = reader.GetDelimiter();
  FFiltered = false;
  if (GetMasterSource() != nullptr && !Trim(FMasterFields).empty()) {
    try {
      BindMasterFields();
    } catch (const EDatabaseError&) {
      InternalClose();
      throw;
    }
  }
}

void TCsvDataSet::InternalClose() {
  FRows.Clear();
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FActiveDelimiter = 0;
  FKeyFields.clear();
  FKeyIndex.clear();
  FVisible.clear();
  FFiltered = false;
}

// The pairs are checked against this file's header at once; the master's side when the master
// is open (it may open later, and is checked then). Every row's key goes into the index once,
// so following the master costs a lookup per move.
void TCsvDataSet::BindMasterFields() {
  FKeyFields.clear();
  std::size_t start = 0;
  const std::string& text = FMasterFields;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(';', start), text.size());
    const std::string pair = Trim(text.substr(start, end - start));
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    const std::string detailName = Trim(pair.substr(0, equals));
    const std::string masterName =
        equals == std::string::npos ? detailName : Trim(pair.substr(equals + 1));
    const int column = GetFieldDefs()->IndexOf(detailName);
    if (column < 0) {
      throw EDatabaseError("MasterFields '%s' of %s: %s has no field '%s'",
                           {FMasterFields, GetDescription(), FFileName, detailName});
    }
    FKeyFields.emplace_back(column, masterName);
  }
  if (FKeyFields.empty()) return;
  FFiltered = true;
  FKeyIndex.clear();
  for (int row = 0; row < FRows.GetRowCount(); ++row) FKeyIndex[RowKey(row)].push_back(row);
  FVisible.clear();
  const TDataSet* master = FMasterLink->GetDataSet();
  if (master != nullptr && master->GetActive()) {
    for (const auto& [column, name] : FKeyFields) {
      if (master->FindField(name) == nullptr) {
        throw EDatabaseError("MasterFields '%s' of %s: the master %s has no field '%s'",
                             {FMasterFields, GetDescription(), master->GetDescription(), name});
      }
    }
    const auto found = FKeyIndex.find(RowKey(-1));
    if (found != FKeyIndex.end()) FVisible = found->second;
  }
}

std::string TCsvDataSet::RowKey(int ARow) const {
  std::string key;
  if (ARow >= 0) FRows.ReadRow(ARow, FCurrentRow);
  FCurrentRowIndex = -1;
  const TDataSet* master = FMasterLink->GetDataSet();
  for (const auto& [column, name] : FKeyFields) {
    if (ARow >= 0) {
      key += ValueToText(FCurrentRow[static_cast<std::size_t>(column)], GetFormatSettings());
    } else if (const TField* field = master->FindField(name)) {
      key += field->GetAsString();
    }
    key += '\x1f';
  }
  return key;
}

void TCsvDataSet::MasterChanged() {
  if (!GetActive() || GetLoading() || !FFiltered) return;
  FVisible.clear();
  const TDataSet* master = FMasterLink->GetDataSet();
  if (master != nullptr && master->GetActive() && !master->IsEmpty()) {
    for (const auto& [column, name] : FKeyFields) {
      if (master->FindField(name) == nullptr) {
        throw EDatabaseError("MasterFields '%s' of %s: the master %s has no field '%s'",
                             {FMasterFields, GetDescription(), master->GetDescription(), name});
      }
    }
    const auto found = FKeyIndex.find(RowKey(-1));
    if (found != FKeyIndex.end()) FVisible = found->second;
  }
  Resync(0);
}

int TCsvDataSet::GetRecordCountInternal() const {
  return FFiltered ? static_cast<int>(FVisible.size()) : FRows.GetRowCount();
}

const TFieldValue& TCsvDataSet::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  const int row = FFiltered ? FVisible[static_cast<std::size_t>(ARecordIndex)] : ARecordIndex;
  if (row != FCurrentRowIndex) {
    FRows.ReadRow(row, FCurrentRow);
    FCurrentRowIndex = row;
  }
  return FCurrentRow[static_cast<std::size_t>(AFieldNo)];
}

// A record's id is its row in the file, so a bookmark stays valid while the master moves and
// finds its record again whenever the master shows it.
std::uint64_t TCsvDataSet::GetRecordId(int ARecordIndex) const {
  return static_cast<std::uint64_t>(FFiltered ? FVisible[static_cast<std::size_t>(ARecordIndex)]
                                              : ARecordIndex);
}

int TCsvDataSet::FindRecordIndex(std::uint64_t AId) const {
  if (!FFiltered)
    return AId < static_cast<std::uint64_t>(FRows.GetRowCount()) ? static_cast<int>(AId) : -1;
  const auto found = std::lower_bound(FVisible.begin(), FVisible.end(), static_cast<int>(AId));
  return found != FVisible.end() && *found == static_cast<int>(AId)
             ? static_cast<int>(found - FVisible.begin())
             : -1;
}

}  // namespace host
