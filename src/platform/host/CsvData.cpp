#include "platform/host/CsvData.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
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

TCsvDataSet::TCsvDataSet(TComponent* AOwner)
    : inherited(AOwner), FFieldTypes(std::make_unique<TStringList>()) {}

TCsvDataSet::~TCsvDataSet() { Close(); }

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
    types[static_cast<std::size_t>(column - names.begin())] = type;
  }

  const TFormatSettings& settings = GetFormatSettings();
  TRowStore rows;
  rows.SetColumnCount(static_cast<int>(columns));
  std::vector<int> maxLengths(columns, 0);
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
      try {
        switch (type) {
          case ftFloat:
            rows.AddFloat(StrToFloat(trimmed, settings));
            break;
          case ftCurrency:
          case ftBCD:
            rows.AddCurrency(StrToCurr(trimmed, settings));
            break;
          case ftDate:
            rows.AddDateTime(StrToDate(trimmed, settings));
            break;
          case ftTime:
            rows.AddDateTime(StrToTime(trimmed, settings));
            break;
          case ftDateTime:
            rows.AddDateTime(StrToDateTime(trimmed, settings));
            break;
          case ftBoolean: {
            bool flag = false;
            if (!TextToBoolean(trimmed, flag)) {
              throw EConvertError("'" + trimmed + "' is not a valid boolean value");
            }
            rows.AddBoolean(flag);
            break;
          }
          default:
            rows.AddInteger(StrToInt(trimmed));
            break;
        }
      } catch (const EConvertError& e) {
        throw EDatabaseError(FFileName + ", line " + std::to_string(reader.GetLine()) +
                             ", field '" + names[i] + "': " + e.GetMessage());
      }
    }
    rows.EndRow();
  }

  TFieldDefs* defs = GetFieldDefs();
  defs->Clear();
  for (std::size_t i = 0; i < columns; ++i) {
    TFieldDef& def = defs->Add(names[i], types[i]);
    if (types[i] == ftString) def.Size = maxLengths[i];
  }
  FRows = std::move(rows);
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FActiveDelimiter = reader.GetDelimiter();
}

void TCsvDataSet::InternalClose() {
  FRows.Clear();
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  FActiveDelimiter = 0;
}

const TFieldValue& TCsvDataSet::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  if (ARecordIndex != FCurrentRowIndex) {
    FRows.ReadRow(ARecordIndex, FCurrentRow);
    FCurrentRowIndex = ARecordIndex;
  }
  return FCurrentRow[static_cast<std::size_t>(AFieldNo)];
}

}  // namespace host
