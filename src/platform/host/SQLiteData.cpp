#include "platform/host/SQLiteData.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

namespace host {

namespace {

// ---------------------------------------------------------------------------------------------
// Messages and small helpers

// A statement as messages show it: on one line.
std::string OneLine(const std::string& ASQL) {
  std::string result;
  bool blank = false;
  for (const char c : ASQL) {
    const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (space) {
      blank = !result.empty();
      continue;
    }
    if (blank) result += ' ';
    blank = false;
    result += c;
  }
  return result;
}

[[noreturn]] void SQLError(const std::string& AMessage, const std::string& ASQL) {
  throw EDatabaseError(AMessage + " in SQL: " + OneLine(ASQL));
}

std::string UpperTrim(std::string_view AText) {
  std::string result;
  for (const char c : AText) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!result.empty() && result.back() != ' ') result += ' ';
    } else {
      result += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  while (!result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

struct TDeclaredType {
  const char* Name;
  TFieldType Type;
};

// The declared column types that name a field type directly; the rest go by affinity.
constexpr std::array<TDeclaredType, 43> DeclaredTypes = {{
    {"INT", ftInteger},
    {"INTEGER", ftInteger},
    {"MEDIUMINT", ftInteger},
    {"INT4", ftInteger},
    {"SMALLINT", ftSmallint},
    {"TINYINT", ftSmallint},
    {"INT2", ftSmallint},
    {"BIGINT", ftLargeint},
    {"INT8", ftLargeint},
    {"UNSIGNED BIG INT", ftLargeint},
    {"REAL", ftFloat},
    {"FLOAT", ftFloat},
    {"DOUBLE", ftFloat},
    {"DOUBLE PRECISION", ftFloat},
    {"NUMERIC", ftBCD},
    {"DECIMAL", ftBCD},
    {"MONEY", ftCurrency},
    {"SMALLMONEY", ftCurrency},
    {"CURRENCY", ftCurrency},
    {"BOOLEAN", ftBoolean},
    {"BOOL", ftBoolean},
    {"BIT", ftBoolean},
    {"DATE", ftDate},
    {"TIME", ftTime},
    {"DATETIME", ftDateTime},
    {"TIMESTAMP", ftDateTime},
    {"CHAR", ftString},
    {"VARCHAR", ftString},
    {"NCHAR", ftString},
    {"NVARCHAR", ftString},
    {"CHARACTER", ftString},
    {"VARYING CHARACTER", ftString},
    {"NATIVE CHARACTER", ftString},
    {"TEXT", ftString},
    {"STRING", ftString},
    {"MEMO", ftMemo},
    {"CLOB", ftMemo},
    {"LONGTEXT", ftMemo},
    {"MEDIUMTEXT", ftMemo},
    {"NTEXT", ftMemo},
    {"BLOB", ftBlob},
    {"RTF", ftFmtMemo},
    {"IMAGE", ftGraphic},
}};
constexpr std::array<TDeclaredType, 6> MoreDeclaredTypes = {{
    {"PICTURE", ftGraphic},
    {"GRAPHIC", ftGraphic},
    {"PHOTO", ftGraphic},
    {"BINARY", ftBlob},
    {"VARBINARY", ftBlob},
    {"BYTEA", ftBlob},
}};

// The declared length, or the precision and scale: VARCHAR(40), NUMERIC(10,2).
void DeclaredSize(const std::string& ADeclared, int& ALength, int& AScale) {
  ALength = 0;
  AScale = -1;
  const auto open = ADeclared.find('(');
  if (open == std::string::npos) return;
  ALength = std::atoi(ADeclared.c_str() + open + 1);
  const auto comma = ADeclared.find(',', open);
  if (comma != std::string::npos) AScale = std::atoi(ADeclared.c_str() + comma + 1);
}

// Days since 1899-12-30 on a straight line, turned into the host's encoding, in which a
// moment before that day keeps its time of day as a positive fraction.
TDateTime LinearToDateTime(double ADays) {
  if (ADays >= 0) return ADays;
  const double day = std::floor(ADays);
  const double time = ADays - day;
  return day - time;
}

bool ReadDigits(std::string_view AText, std::size_t& AIndex, int ACount, int& AValue) {
  AValue = 0;
  for (int i = 0; i < ACount; ++i) {
    if (AIndex >= AText.size() || AText[AIndex] < '0' || AText[AIndex] > '9') return false;
    AValue = AValue * 10 + (AText[AIndex++] - '0');
  }
  return true;
}

// HH:MM[:SS[.fff]] from AIndex; the fraction of a day.
bool ReadTime(std::string_view AText, std::size_t& AIndex, double& AFraction) {
  int hour = 0;
  int minute = 0;
  int second = 0;
  double milliseconds = 0;
  if (!ReadDigits(AText, AIndex, 2, hour) || AIndex >= AText.size() || AText[AIndex] != ':') {
    return false;
  }
  ++AIndex;
  if (!ReadDigits(AText, AIndex, 2, minute)) return false;
  if (AIndex < AText.size() && AText[AIndex] == ':') {
    ++AIndex;
    if (!ReadDigits(AText, AIndex, 2, second)) return false;
    if (AIndex < AText.size() && AText[AIndex] == '.') {
      ++AIndex;
      double scale = 100;
      const std::size_t start = AIndex;
      while (AIndex < AText.size() && AText[AIndex] >= '0' && AText[AIndex] <= '9') {
        milliseconds += (AText[AIndex++] - '0') * scale;
        scale /= 10;
      }
      if (AIndex == start) return false;
    }
  }
  if (hour > 24 || minute > 59 || second > 59) return false;
  AFraction = (hour * 3600.0 + minute * 60.0 + second + milliseconds / 1000.0) / 86400.0;
  return true;
}

// Text of a date-time as a parameter value: the ISO form SQLite's date functions write.
std::string DateTimeToSQLiteText(TDateTime AValue) {
  // Undo the host's encoding: before day 0 the fraction counts forward from the whole day.
  const double day = std::trunc(AValue);
  const double time = std::fabs(AValue - day);
  int year = 0;
  int month = 0;
  int dayOfMonth = 0;
  DecodeDate(day, year, month, dayOfMonth);
  const std::int64_t milliseconds =
      std::min<std::int64_t>(std::llround(time * 86400000.0), 86399999);
  const int hour = static_cast<int>(milliseconds / 3600000);
  const int minute = static_cast<int>(milliseconds / 60000 % 60);
  const int second = static_cast<int>(milliseconds / 1000 % 60);
  const int millisecond = static_cast<int>(milliseconds % 1000);
  char buffer[64];
  if (milliseconds == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, dayOfMonth);
  } else if (millisecond == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, dayOfMonth,
                  hour, minute, second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month,
                  dayOfMonth, hour, minute, second, millisecond);
  }
  return buffer;
}

std::string_view ColumnText(sqlite3_stmt* AStatement, int AColumn) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(AStatement, AColumn));
  return {text == nullptr ? "" : text,
          static_cast<std::size_t>(sqlite3_column_bytes(AStatement, AColumn))};
}

std::string_view ColumnBlob(sqlite3_stmt* AStatement, int AColumn) {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(AStatement, AColumn));
  return {bytes == nullptr ? "" : bytes,
          static_cast<std::size_t>(sqlite3_column_bytes(AStatement, AColumn))};
}

bool TextToBoolean(std::string_view AText, bool& AValue) {
  static constexpr std::array<const char*, 6> TrueTexts = {"TRUE", "T", "YES", "Y", "1", "ON"};
  static constexpr std::array<const char*, 6> FalseTexts = {"FALSE", "F", "NO", "N", "0", "OFF"};
  const std::string text = UpperTrim(AText);
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

// A decimal text read exactly into a Currency ('.' as the decimal point, as SQL writes it).
bool TextToCurrency(std::string_view AText, Currency& AValue) {
  TFormatSettings plain;
  plain.DecimalSeparator = '.';
  plain.ThousandSeparator = ',';
  try {
    AValue = StrToCurr(std::string(AText), plain);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

constexpr std::size_t RowBlockSize = std::size_t{1} << 20;

// Tags of the row storage.
enum TRowTag : std::uint8_t {
  rtNull = 0,
  rtInteger = 1,
  rtFloat = 2,
  rtCurrency = 3,
  rtFalse = 4,
  rtTrue = 5,
  rtDateTime = 6,
  rtString = 7,
};

void PutVarint(std::string& AOut, std::uint64_t AValue) {
  while (AValue >= 0x80) {
    AOut += static_cast<char>((AValue & 0x7F) | 0x80);
    AValue >>= 7;
  }
  AOut += static_cast<char>(AValue);
}

std::uint64_t GetVarint(const char*& APos) {
  std::uint64_t result = 0;
  int shift = 0;
  for (;;) {
    const auto byte = static_cast<unsigned char>(*APos++);
    result |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return result;
    shift += 7;
  }
}

void PutFixed(std::string& AOut, const void* AValue) {
  AOut.append(static_cast<const char*>(AValue), 8);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSQLiteDatabase

TSQLiteDatabase::TSQLiteDatabase(const std::string& AFileName, bool AReadOnly, bool ACreate)
    : FFileName(AFileName) {
  std::error_code ignored;
  if (!(ACreate && !AReadOnly) && !std::filesystem::exists(AFileName, ignored)) {
    throw EDatabaseError("Database file '%s' does not exist", {AFileName});
  }
  int flags = AReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (ACreate && !AReadOnly) flags |= SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(AFileName.c_str(), &FHandle, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  std::string message;
  if (rc != SQLITE_OK) {
    message = FHandle != nullptr ? sqlite3_errmsg(FHandle) : sqlite3_errstr(rc);
  } else {
    // SQLite reads the file lazily; reading the schema now makes a file that is no database,
    // is damaged or is locked fail here, at connect time, instead of at the first query.
    sqlite3_extended_result_codes(FHandle, 1);
    char* error = nullptr;
    if (sqlite3_exec(FHandle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) !=
        SQLITE_OK) {
      message = error != nullptr ? error : sqlite3_errmsg(FHandle);
    }
    sqlite3_free(error);
  }
  if (!message.empty()) {
    sqlite3_close_v2(FHandle);
    FHandle = nullptr;
    throw EDatabaseError("Cannot open database '" + AFileName + "': " + message);
  }
}

TSQLiteDatabase::~TSQLiteDatabase() { sqlite3_close_v2(FHandle); }

void TSQLiteDatabase::SetBusyTimeout(int AMilliseconds) {
  sqlite3_busy_timeout(FHandle, std::max(AMilliseconds, 0));
}

void TSQLiteDatabase::Execute(const std::string& ASQL) {
  char* error = nullptr;
  if (sqlite3_exec(FHandle, ASQL.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : LastError();
    sqlite3_free(error);
    SQLError(message, ASQL);
  }
}

std::string TSQLiteDatabase::LastError() const { return sqlite3_errmsg(FHandle); }

// ---------------------------------------------------------------------------------------------
// TSQLiteStatement

TSQLiteStatement::TSQLiteStatement(const TSQLiteDatabase& ADatabase, const std::string& ASQL)
    : FDatabase(ADatabase), FSQL(ASQL) {
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(ADatabase.GetHandle(), ASQL.c_str(), static_cast<int>(ASQL.size()),
                         &FHandle, &tail) != SQLITE_OK) {
    const std::string message = ADatabase.LastError();
    sqlite3_finalize(FHandle);
    FHandle = nullptr;
    SQLError(message, ASQL);
  }
  if (FHandle == nullptr) throw EDatabaseError("The SQL holds no statement");
  // Whatever follows the first statement must be blank or comments: a second statement would
  // otherwise be dropped without a word.
  if (tail != nullptr && *tail != 0) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(ADatabase.GetHandle(), tail, -1, &next, &rest);
    const bool more = rc != SQLITE_OK || next != nullptr;
    sqlite3_finalize(next);
    if (more) {
      sqlite3_finalize(FHandle);
      FHandle = nullptr;
      throw EDatabaseError("SQL holds more than one statement: " + OneLine(ASQL));
    }
  }
}

TSQLiteStatement::~TSQLiteStatement() { sqlite3_finalize(FHandle); }

bool TSQLiteStatement::Step() {
  const int rc = sqlite3_step(FHandle);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  SQLError(FDatabase.LastError(), FSQL);
}

void TSQLiteStatement::Reset() {
  sqlite3_reset(FHandle);
  sqlite3_clear_bindings(FHandle);
}

void TSQLiteStatement::Bind(int AIndex, const TFieldValue& AValue) {
  int rc = SQLITE_OK;
  switch (AValue.GetKind()) {
    case fvkNull:
      rc = sqlite3_bind_null(FHandle, AIndex);
      break;
    case fvkInteger:
      rc = sqlite3_bind_int64(FHandle, AIndex, AValue.GetInteger());
      break;
    case fvkFloat:
      rc = sqlite3_bind_double(FHandle, AIndex, AValue.GetFloat());
      break;
    case fvkCurrency: {
      // A whole amount binds as an integer, so that it equals an INTEGER key exactly.
      const std::int64_t raw = AValue.GetCurrency().GetRaw();
      rc = raw % 10000 == 0 ? sqlite3_bind_int64(FHandle, AIndex, raw / 10000)
                            : sqlite3_bind_double(FHandle, AIndex, AValue.GetCurrency().ToDouble());
      break;
    }
    case fvkBoolean:
      rc = sqlite3_bind_int(FHandle, AIndex, AValue.GetBoolean() ? 1 : 0);
      break;
    case fvkDateTime: {
      const std::string text = DateTimeToSQLiteText(AValue.GetDateTime());
      rc = sqlite3_bind_text(FHandle, AIndex, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
      break;
    }
    case fvkString:
      rc = sqlite3_bind_text(FHandle, AIndex, AValue.GetString().data(),
                             static_cast<int>(AValue.GetString().size()), SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) SQLError(FDatabase.LastError(), FSQL);
}

int TSQLiteStatement::ParameterIndex(const std::string& AName) const {
  return sqlite3_bind_parameter_index(FHandle, (":" + AName).c_str());
}

int TSQLiteStatement::GetColumnCount() const { return sqlite3_column_count(FHandle); }

// ---------------------------------------------------------------------------------------------
// Types and dates

TFieldType DeclaredFieldType(const std::string& ADeclaredType) {
  std::string name = UpperTrim(ADeclaredType);
  const auto open = name.find('(');
  if (open != std::string::npos) name = UpperTrim(name.substr(0, open));
  if (name.empty()) return ftUnknown;
  for (const auto& entry : DeclaredTypes) {
    if (name == entry.Name) return entry.Type;
  }
  for (const auto& entry : MoreDeclaredTypes) {
    if (name == entry.Name) return entry.Type;
  }
  const auto has = [&name](const char* APart) { return name.find(APart) != std::string::npos; };
  if (has("INT")) return ftInteger;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return ftString;
  if (has("BLOB")) return ftBlob;
  if (has("REAL") || has("FLOA") || has("DOUB")) return ftFloat;
  return ftString;
}

bool SQLiteTextToDateTime(std::string_view AText, TDateTime& AValue) {
  while (!AText.empty() && AText.front() == ' ') AText.remove_prefix(1);
  while (!AText.empty() && AText.back() == ' ') AText.remove_suffix(1);
  std::size_t i = 0;
  double days = 0;
  bool hasDate = false;
  if (AText.size() >= 10 && AText[4] == '-') {
    int year = 0;
    int month = 0;
    int day = 0;
    if (!ReadDigits(AText, i, 4, year) || AText[i++] != '-' || !ReadDigits(AText, i, 2, month) ||
        i >= AText.size() || AText[i++] != '-' || !ReadDigits(AText, i, 2, day)) {
      return false;
    }
    // A whole day has the same value on the straight line and in the host's encoding.
    if (!TryEncodeDate(year, month, day, days)) return false;
    hasDate = true;
    if (i < AText.size() && (AText[i] == 'T' || AText[i] == 't' || AText[i] == ' ')) ++i;
  }
  double fraction = 0;
  if (i < AText.size()) {
    if (!ReadTime(AText, i, fraction)) return false;
  } else if (!hasDate) {
    return false;
  }
  // A zone: Z, or +hh:mm / -hh:mm, which is taken off to give UTC.
  if (i < AText.size() && (AText[i] == 'Z' || AText[i] == 'z')) {
    ++i;
  } else if (i < AText.size() && (AText[i] == '+' || AText[i] == '-')) {
    const int sign = AText[i++] == '+' ? 1 : -1;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(AText, i, 2, hours)) return false;
    if (i < AText.size() && AText[i] == ':') ++i;
    if (!ReadDigits(AText, i, 2, minutes)) return false;
    fraction -= sign * (hours * 60.0 + minutes) / 1440.0;
  }
  if (i != AText.size()) return false;
  // A whole day is the same on the straight line and in the host's encoding, so the time
  // is added on the line and the sum encoded again.
  AValue = hasDate ? LinearToDateTime(days + fraction) : fraction - std::floor(fraction);
  return true;
}

TDateTime SQLiteNumberToDateTime(double AValue) {
  // 2415018.5 is the Julian day of 1899-12-30 00:00; 25569 is 1970-01-01 in days since then.
  if (AValue >= 0 && AValue <= 5373484.5) return LinearToDateTime(AValue - 2415018.5);
  return LinearToDateTime(25569.0 + AValue / 86400.0);
}

// ---------------------------------------------------------------------------------------------
// TRowStore

void TRowStore::AddNull() { FPending += static_cast<char>(rtNull); }

void TRowStore::AddInteger(std::int64_t AValue) {
  FPending += static_cast<char>(rtInteger);
  const auto bits = static_cast<std::uint64_t>(AValue);
  PutVarint(FPending, (bits << 1) ^ (AValue < 0 ? ~std::uint64_t{0} : 0));
}

void TRowStore::AddFloat(double AValue) {
  FPending += static_cast<char>(rtFloat);
  PutFixed(FPending, &AValue);
}

void TRowStore::AddCurrency(Currency AValue) {
  FPending += static_cast<char>(rtCurrency);
  const std::int64_t raw = AValue.GetRaw();
  PutFixed(FPending, &raw);
}

void TRowStore::AddBoolean(bool AValue) {
  FPending += static_cast<char>(AValue ? rtTrue : rtFalse);
}

void TRowStore::AddDateTime(TDateTime AValue) {
  FPending += static_cast<char>(rtDateTime);
  PutFixed(FPending, &AValue);
}

void TRowStore::AddString(std::string_view AValue) {
  FPending += static_cast<char>(rtString);
  PutVarint(FPending, AValue.size());
  FPending.append(AValue);
}

void TRowStore::AddValue(const TFieldValue& AValue) {
  switch (AValue.GetKind()) {
    case fvkNull:
      AddNull();
      break;
    case fvkInteger:
      AddInteger(AValue.GetInteger());
      break;
    case fvkFloat:
      AddFloat(AValue.GetFloat());
      break;
    case fvkCurrency:
      AddCurrency(AValue.GetCurrency());
      break;
    case fvkBoolean:
      AddBoolean(AValue.GetBoolean());
      break;
    case fvkDateTime:
      AddDateTime(AValue.GetDateTime());
      break;
    case fvkString:
      AddString(AValue.GetString());
      break;
  }
}

void TRowStore::EndRow() {
  // A row lives in one block; a row larger than a block gets a block of its own.
  if (FBlocks.empty() || FBlockUsed + FPending.size() > FBlocks.back().Size) {
    if (!FBlocks.empty()) FBlocks.back().Used = FBlockUsed;
    const std::size_t size = std::max(RowBlockSize, FPending.size());
    // Not cleared: every byte is written before it is read, and a detail query that runs once
    // per master record would otherwise clear a whole block each time.
    FBlocks.push_back({std::make_unique_for_overwrite<char[]>(size), size, 0, 0});
    FBlockBytes += size;
    FBlockUsed = 0;
    if (FBlockBytes > FSpillSize) Spill();
  }
  std::memcpy(FBlocks.back().Data.get() + FBlockUsed, FPending.data(), FPending.size());
  FRows.push_back(
      {static_cast<std::uint32_t>(FBlocks.size() - 1), static_cast<std::uint32_t>(FBlockUsed)});
  FBlockUsed += FPending.size();
  FPending.clear();
}

void TRowStore::Spill() {
  if (FSpillFile == nullptr) {
    FSpillFile = std::tmpfile();
    if (FSpillFile == nullptr) {
      throw EDatabaseError(std::string("Cannot keep the rows of a large result in a temporary "
                                       "file: ") +
                           std::strerror(errno) + "; set TMPDIR to a folder with room");
    }
  }
  while (FBlockBytes > FSpillSize && FFirstInMemory + 1 < FBlocks.size()) {
    TBlock& block = FBlocks[FFirstInMemory];
    if (std::fwrite(block.Data.get(), 1, block.Used, FSpillFile) != block.Used) {
      throw EDatabaseError(std::string("Cannot write the rows of a large result to a temporary "
                                       "file: ") +
                           std::strerror(errno) + "; set TMPDIR to a folder with room");
    }
    block.FileOffset = FSpilledBytes;
    FSpilledBytes += block.Used;
    FBlockBytes -= block.Size;
    block.Data.reset();
    ++FFirstInMemory;
  }
}

const char* TRowStore::BlockData(std::uint32_t ABlock) const {
  const TBlock& block = FBlocks[ABlock];
  if (block.Data) return block.Data.get();
  if (FCached && FCachedBlock == ABlock) return FCached.get();
  if (FCachedSize < block.Used) {
    FCached = std::make_unique_for_overwrite<char[]>(block.Used);
    FCachedSize = block.Used;
  }
  FCachedBlock = ABlock;
  // What fwrite still buffers must reach the file before it is read through the descriptor.
  errno = 0;
  bool read = std::fflush(FSpillFile) == 0;
  for (std::size_t done = 0; read && done < block.Used;) {
    const ssize_t got = ::pread(::fileno(FSpillFile), FCached.get() + done, block.Used - done,
                                static_cast<off_t>(block.FileOffset + done));
    if (got <= 0 && !(got < 0 && errno == EINTR)) read = false;
    if (got > 0) done += static_cast<std::size_t>(got);
  }
  if (!read) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "the file was cut short";
    FCached.reset();
    FCachedSize = 0;
    throw EDatabaseError("Cannot read back the rows of a large result from its temporary file: " +
                         reason);
  }
  return FCached.get();
}

void TRowStore::ReadRow(int ARow, std::vector<TFieldValue>& AValues) const {
  const TRowPlace place = FRows[static_cast<std::size_t>(ARow)];
  const char* pos = BlockData(place.Block) + place.Offset;
  AValues.resize(static_cast<std::size_t>(FColumnCount));
  for (TFieldValue& value : AValues) {
    const auto tag = static_cast<TRowTag>(*pos++);
    switch (tag) {
      case rtNull:
        value = TFieldValue();
        break;
      case rtInteger: {
        const std::uint64_t bits = GetVarint(pos);
        value = TFieldValue(static_cast<long long>((bits >> 1) ^ (~(bits & 1) + 1)));
        break;
      }
      case rtFloat:
      case rtDateTime: {
        double number = 0;
        std::memcpy(&number, pos, 8);
        pos += 8;
        value = tag == rtFloat ? TFieldValue(number) : TFieldValue::FromDateTime(number);
        break;
      }
      case rtCurrency: {
        std::int64_t raw = 0;
        std::memcpy(&raw, pos, 8);
        pos += 8;
        value = TFieldValue(Currency::FromRaw(raw));
        break;
      }
      case rtFalse:
      case rtTrue:
        value = TFieldValue(tag == rtTrue);
        break;
      case rtString: {
        const std::size_t size = GetVarint(pos);
        value = TFieldValue(std::string_view(pos, size));
        pos += size;
        break;
      }
    }
  }
}

TRowStore::~TRowStore() {
  if (FSpillFile != nullptr) std::fclose(FSpillFile);
}

TRowStore::TRowStore(TRowStore&& AOther) noexcept { *this = std::move(AOther); }

TRowStore& TRowStore::operator=(TRowStore&& AOther) noexcept {
  if (this == &AOther) return *this;
  Clear();
  FBlocks = std::move(AOther.FBlocks);
  FBlockUsed = std::exchange(AOther.FBlockUsed, 0);
  FBlockBytes = std::exchange(AOther.FBlockBytes, 0);
  FSpillSize = AOther.FSpillSize;
  FFirstInMemory = std::exchange(AOther.FFirstInMemory, 0);
  FRows = std::move(AOther.FRows);
  FPending = std::move(AOther.FPending);
  FColumnCount = AOther.FColumnCount;
  FSpillFile = std::exchange(AOther.FSpillFile, nullptr);
  FSpilledBytes = std::exchange(AOther.FSpilledBytes, 0);
  FCachedBlock = AOther.FCachedBlock;
  FCached = std::move(AOther.FCached);
  FCachedSize = std::exchange(AOther.FCachedSize, 0);
  AOther.Clear();
  return *this;
}

void TRowStore::Clear() {
  FBlocks.clear();
  FBlocks.shrink_to_fit();
  FRows.clear();
  FRows.shrink_to_fit();
  FBlockUsed = FBlockBytes = FFirstInMemory = 0;
  FPending.clear();
  if (FSpillFile != nullptr) std::fclose(FSpillFile);
  FSpillFile = nullptr;
  FSpilledBytes = 0;
  FCached.reset();
  FCachedSize = 0;
}

std::size_t TRowStore::GetMemoryUsed() const {
  return FBlockBytes + FRows.capacity() * sizeof(TRowPlace) + FCachedSize;
}

// ---------------------------------------------------------------------------------------------
// TSQLiteConnection

TSQLiteConnection::TSQLiteConnection(TComponent* AOwner) : inherited(AOwner) {}

TSQLiteConnection::~TSQLiteConnection() {
  Disconnect();
  // The queries forget this connection now: by the time the owner tree sends its removal
  // notice, this object's members are gone.
  for (TSQLiteQuery* query : FQueries) {
    query->FConnection = nullptr;
    RemoveFreeNotification(query);
  }
}

void TSQLiteConnection::SetDatabaseName(const std::string& AValue) {
  if (AValue == FDatabaseName) return;
  if (GetConnected()) {
    throw EDatabaseError("Cannot change DatabaseName of connected database '%s'", {FDatabaseName});
  }
  FDatabaseName = AValue;
}

void TSQLiteConnection::SetConnected(bool AValue) {
  if (AValue == GetConnected()) return;
  if (AValue) {
    if (FDatabaseName.empty()) {
      throw EDatabaseError("Connection '%s' has no DatabaseName", {GetName()});
    }
    auto database = std::make_unique<TSQLiteDatabase>(FDatabaseName, FReadOnly);
    database->SetBusyTimeout(FBusyTimeout);
    FDatabase = std::move(database);
    return;
  }
  Disconnect();
}

void TSQLiteConnection::Disconnect() {
  if (!GetConnected()) return;
  const std::vector<TSQLiteQuery*> queries = FQueries;
  for (TSQLiteQuery* query : queries) query->Close();
  FDatabase.reset();
}

void TSQLiteConnection::SetStreamedConnected(bool AValue) {
  if (GetLoading()) {
    FStreamedConnected = AValue;
  } else {
    SetConnected(AValue);
  }
}

void TSQLiteConnection::SetReadOnly(bool AValue) {
  if (AValue == FReadOnly) return;
  if (GetConnected()) {
    throw EDatabaseError("Cannot change ReadOnly of connected database '%s'", {FDatabaseName});
  }
  FReadOnly = AValue;
}

void TSQLiteConnection::SetBusyTimeout(int AValue) {
  FBusyTimeout = std::max(AValue, 0);
  if (FDatabase) FDatabase->SetBusyTimeout(FBusyTimeout);
}

TSQLiteDatabase& TSQLiteConnection::GetDatabase() const {
  if (!FDatabase) throw EDatabaseError("Database '%s' is not connected", {FDatabaseName});
  return *FDatabase;
}

void TSQLiteConnection::Loaded() {
  inherited::Loaded();
  if (FStreamedConnected) SetConnected(true);
}

void TSQLiteConnection::AddQuery(TSQLiteQuery* AQuery) {
  if (std::find(FQueries.begin(), FQueries.end(), AQuery) == FQueries.end()) {
    FQueries.push_back(AQuery);
  }
}

void TSQLiteConnection::RemoveQuery(TSQLiteQuery* AQuery) {
  FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), AQuery), FQueries.end());
}

// ---------------------------------------------------------------------------------------------
// Parameters

TParam* TParams::GetItems(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error("List index out of bounds (%d)", AIndex);
  return FItems[static_cast<std::size_t>(AIndex)].get();
}

TParam* TParams::FindParam(const std::string& AName) const {
  for (const auto& param : FItems) {
    if (SameText(param->GetName(), AName)) return param.get();
  }
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& AName) const {
  TParam* param = FindParam(AName);
  if (param == nullptr) throw EDatabaseError("Parameter '%s' not found", {AName});
  return param;
}

void TParams::Update(const std::vector<std::string>& ANames) {
  std::vector<std::unique_ptr<TParam>> items;
  for (const std::string& name : ANames) {
    auto param = std::make_unique<TParam>(name);
    if (const TParam* old = FindParam(name)) param->SetValue(old->GetValue());
    items.push_back(std::move(param));
  }
  FItems = std::move(items);
}

std::vector<std::string> ParseParamNames(const std::string& ASQL) {
  std::vector<std::string> names;
  const std::size_t n = ASQL.size();
  std::size_t i = 0;
  const auto skipTo = [&](const char* AClose) {
    const auto end = ASQL.find(AClose, i);
    i = end == std::string::npos ? n : end + std::strlen(AClose);
  };
  while (i < n) {
    const char c = ASQL[i];
    if (c == '\'' || c == '"' || c == '`') {
      // Quoted text and quoted names; a doubled quote stays inside.
      ++i;
      while (i < n) {
        if (ASQL[i] == c && !(i + 1 < n && ASQL[i + 1] == c)) break;
        i += ASQL[i] == c ? 2 : 1;
      }
      ++i;
    } else if (c == '[') {
      ++i;
      skipTo("]");
    } else if (c == '-' && i + 1 < n && ASQL[i + 1] == '-') {
      skipTo("\n");
    } else if (c == '/' && i + 1 < n && ASQL[i + 1] == '*') {
      i += 2;
      skipTo("*/");
    } else if (c == ':' && i + 1 < n && ASQL[i + 1] == ':') {
      i += 2;  // a cast, not a parameter
    } else if (c == ':' && i + 1 < n &&
               ((ASQL[i + 1] >= 'a' && ASQL[i + 1] <= 'z') ||
                (ASQL[i + 1] >= 'A' && ASQL[i + 1] <= 'Z') || ASQL[i + 1] == '_')) {
      std::size_t end = i + 1;
      while (end < n &&
             (std::isalnum(static_cast<unsigned char>(ASQL[end])) != 0 || ASQL[end] == '_')) {
        ++end;
      }
      std::string name = ASQL.substr(i + 1, end - i - 1);
      const bool known = std::any_of(names.begin(), names.end(), [&](const std::string& AName) {
        return SameText(AName, name);
      });
      if (!known) names.push_back(std::move(name));
      i = end;
    } else {
      ++i;
    }
  }
  return names;
}

// ---------------------------------------------------------------------------------------------
// TCustomQuery

// Hears the master's moves and runs the query again.
class TCustomQuery::TMasterLink : public TDataLink {
 public:
  explicit TMasterLink(TCustomQuery* AQuery) : FQuery(AQuery) {}

 protected:
  void ActiveChanged() override { FQuery->MasterChanged(); }
  void DataSetScrolled(int ADistance) override {
    (void)ADistance;
    FQuery->MasterChanged();
  }
  void DataSetChanged() override { FQuery->MasterChanged(); }
  void RecordChanged(TField* AField) override {
    (void)AField;
    FQuery->MasterChanged();
  }

 private:
  TCustomQuery* FQuery;  // the owner of this link
};

TCustomQuery::TCustomQuery(TComponent* AOwner)
    : inherited(AOwner),
      FSQL(std::make_unique<TStringList>()),
      FParams(std::make_unique<TParams>()),
      FMasterLink(std::make_unique<TMasterLink>(this)) {}

// The subclass closed the query already; leaving the master first keeps its notices away from
// a query that is half gone.
TCustomQuery::~TCustomQuery() { FMasterLink->SetDataSource(nullptr); }

void TCustomQuery::SetSQL(const TStringList* AValue) {
  Close();
  FSQL->Assign(AValue);
  FParams->Update(ParseParamNames(FSQL->GetText()));
}

void TCustomQuery::SetSQLText(const std::string& AValue) {
  TStringList lines;
  lines.SetText(AValue);
  SetSQL(&lines);
}

TDataSource* TCustomQuery::GetDataSource() const { return FMasterLink->GetDataSource(); }

void TCustomQuery::SetDataSource(TDataSource* AValue) {
  if (AValue != nullptr && AValue->GetDataSet() == this) {
    throw EDatabaseError("Circular datalinks are not allowed");
  }
  FMasterLink->SetDataSource(AValue);
}

void TCustomQuery::SetStreamedActive(bool AValue) {
  if (GetLoading()) {
    FStreamedActive = AValue;
  } else {
    SetActive(AValue);
  }
}

void TCustomQuery::Loaded() {
  inherited::Loaded();
  if (FStreamedActive) Open();
}

TFieldValue TCustomQuery::ParamValue(const std::string& AName) const {
  // A parameter named like a master field follows the master; the others keep their values.
  const TDataSet* master = FMasterLink->GetActive() ? FMasterLink->GetDataSet() : nullptr;
  if (const TField* field = master != nullptr ? master->FindField(AName) : nullptr) {
    return field->GetValue();
  }
  const TParam* param = FParams->FindParam(AName);
  if (param != nullptr && param->GetBound()) return param->GetValue();
  if (master != nullptr) {
    std::string fields;
    for (const TField* each : master->GetFieldList()) {
      fields += (fields.empty() ? "" : ", ") + each->GetFieldName();
    }
    throw EDatabaseError(GetDescription() + " uses the parameter :" + AName + ", but its master " +
                         master->GetDescription() + " has no field " + AName + " (its fields: " +
                         fields + ")");
  }
  if (FOpening && FMasterLink->GetDataSource() == nullptr) {
    throw EDatabaseError(GetDescription() + " uses the parameter :" + AName +
                         ", which has no value: link the query to a master data set with a "
                         "field " + AName + ", or set the parameter");
  }
  return TFieldValue();
}

void TCustomQuery::MasterChanged() {
  if (GetActive() && !GetLoading()) Refresh();
}

// ---------------------------------------------------------------------------------------------
// TSQLiteQuery

TSQLiteQuery::TSQLiteQuery(TComponent* AOwner) : inherited(AOwner) {}

TSQLiteQuery::~TSQLiteQuery() {
  Close();
  if (FConnection != nullptr) FConnection->RemoveQuery(this);
}

void TSQLiteQuery::SetConnection(TSQLiteConnection* AValue) {
  if (AValue == FConnection) return;
  CheckInactive();
  if (FConnection != nullptr) {
    FConnection->RemoveQuery(this);
    RemoveFreeNotification(FConnection);
  }
  FConnection = AValue;
  if (FConnection != nullptr) {
    FConnection->AddQuery(this);
    FreeNotification(FConnection);
  }
}

void TSQLiteQuery::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == opRemove && AComponent == FConnection) {
    Close();
    FConnection = nullptr;
  }
}

void TSQLiteQuery::InternalOpen() {
  if (FConnection == nullptr) throw EDatabaseError("Query '%s' has no connection", {GetName()});
  const std::string sql = GetSQL()->GetText();
  if (Trim(sql).empty()) throw EDatabaseError("Query '%s' has no SQL", {GetName()});
  FConnection->SetConnected(true);
  auto statement = std::make_unique<TSQLiteStatement>(FConnection->GetDatabase(), sql);
  const int columns = statement->GetColumnCount();
  if (columns == 0) throw EDatabaseError("SQL returns no rows: " + OneLine(sql));

  // The columns: a name (made unique, since a join may repeat one) and the declared type.
  FColumnTypes.clear();
  FDeclared.clear();
  std::vector<std::string> names;
  for (int i = 0; i < columns; ++i) {
    const char* columnName = sqlite3_column_name(statement->GetHandle(), i);
    std::string name =
        columnName != nullptr && *columnName != 0 ? columnName : "Column" + std::to_string(i + 1);
    const std::string base = name;
    for (int suffix = 1;
         std::any_of(names.begin(), names.end(),
                     [&](const std::string& AOther) { return SameText(AOther, name); });
         ++suffix) {
      name = base + "_" + std::to_string(suffix);
    }
    names.push_back(name);
    const char* declared = sqlite3_column_decltype(statement->GetHandle(), i);
    const TFieldType type = DeclaredFieldType(declared != nullptr ? declared : "");
    FColumnTypes.push_back(type);
    FDeclared.push_back(type != ftUnknown);
  }
  FStatement = std::move(statement);
  try {
    SetOpening(true);
    Fetch();
    SetOpening(false);
  } catch (const Exception&) {
    SetOpening(false);
    FStatement.reset();
    FRows.Clear();
    throw;
  }

  TFieldDefs* defs = GetFieldDefs();
  defs->Clear();
  for (int i = 0; i < columns; ++i) {
    const char* declared = sqlite3_column_decltype(FStatement->GetHandle(), i);
    int length = 0;
    int scale = 0;
    DeclaredSize(declared != nullptr ? declared : "", length, scale);
    const TFieldType type = FColumnTypes[static_cast<std::size_t>(i)] == ftUnknown
                                ? ftString
                                : FColumnTypes[static_cast<std::size_t>(i)];
    TFieldDef& def = defs->Add(names[static_cast<std::size_t>(i)], type);
    if (type == ftString) {
      def.Size = std::max(length, FMaxLengths[static_cast<std::size_t>(i)]);
    } else if (type == ftBCD && scale >= 0) {
      def.Size = std::min(scale, 4);
      def.Precision = length;
    }
  }
}

void TSQLiteQuery::InternalClose() {
  FStatement.reset();
  FRows.Clear();
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
}

void TSQLiteQuery::BindParams() {
  sqlite3_stmt* handle = FStatement->GetHandle();
  const int count = sqlite3_bind_parameter_count(handle);
  for (int i = 1; i <= count; ++i) {
    const char* rawName = sqlite3_bind_parameter_name(handle, i);
    if (rawName == nullptr || rawName[0] != ':') {
      throw EDatabaseError("Query '" + GetName() + "' uses the parameter '" +
                           (rawName != nullptr ? rawName : "?") +
                           "'; name parameters as :name in SQL: " + OneLine(FStatement->GetSQL()));
    }
    FStatement->Bind(i, ParamValue(rawName + 1));
  }
}

// Runs the prepared statement and stores every row, each value converted to its column's
// type, so that walking the result decodes and never parses.
void TSQLiteQuery::Fetch() {
  FStatement->Reset();
  BindParams();
  sqlite3_stmt* handle = FStatement->GetHandle();
  const int columns = static_cast<int>(FColumnTypes.size());
  TRowStore rows;
  rows.SetColumnCount(columns);
  std::vector<int> maxLengths(static_cast<std::size_t>(columns), 0);
  // A stored value that its column's type cannot hold is kept as the text SQLite gives, so
  // that only a merge that reads it fails, and then with the field, record and value (the
  // fields convert on reading). Blank text in a column of numbers, dates or Booleans is null.
  const auto keep = [&](int AColumn) { rows.AddString(ColumnText(handle, AColumn)); };
  while (FStatement->Step()) {
    for (int i = 0; i < columns; ++i) {
      const int storage = sqlite3_column_type(handle, i);
      if (storage == SQLITE_NULL) {
        rows.AddNull();
        continue;
      }
      TFieldType& type = FColumnTypes[static_cast<std::size_t>(i)];
      if (type == ftUnknown) {
        // An expression column takes the type of its first value.
        type = storage == SQLITE_INTEGER ? ftInteger
               : storage == SQLITE_FLOAT ? ftFloat
               : storage == SQLITE_BLOB  ? ftBlob
                                         : ftString;
      }
      if (!FDeclared[static_cast<std::size_t>(i)]) {
        // Expression values are kept as SQLite gives them; the field converts on reading.
        if (storage == SQLITE_INTEGER) {
          rows.AddInteger(sqlite3_column_int64(handle, i));
        } else if (storage == SQLITE_FLOAT) {
          rows.AddFloat(sqlite3_column_double(handle, i));
        } else {
          const std::string_view bytes =
              storage == SQLITE_BLOB ? ColumnBlob(handle, i) : ColumnText(handle, i);
          int& longest = maxLengths[static_cast<std::size_t>(i)];
          longest = std::max(longest, static_cast<int>(bytes.size()));
          rows.AddString(bytes);
        }
        continue;
      }
      const bool valueType = type == ftInteger || type == ftSmallint || type == ftLargeint ||
                             type == ftWord || type == ftAutoInc || type == ftFloat ||
                             type == ftBCD || type == ftCurrency || type == ftBoolean ||
                             type == ftDate || type == ftTime || type == ftDateTime;
      if (valueType && storage == SQLITE_TEXT && Trim(std::string(ColumnText(handle, i))).empty()) {
        rows.AddNull();
        continue;
      }
      switch (type) {
        case ftInteger:
        case ftSmallint:
        case ftLargeint:
        case ftWord:
        case ftAutoInc:
          if (storage == SQLITE_INTEGER) {
            rows.AddInteger(sqlite3_column_int64(handle, i));
          } else {
            // SQLite keeps a value it cannot store as an integer as it came: a fraction, a
            // text. Cutting it would change the data, so it is kept as it came.
            const double number = sqlite3_column_double(handle, i);
            std::int64_t whole = 0;
            if (storage == SQLITE_FLOAT && std::trunc(number) == number &&
                std::fabs(number) < 9.2e18) {
              rows.AddInteger(static_cast<std::int64_t>(number));
            } else if (storage == SQLITE_TEXT &&
                       TryStrToInt(Trim(std::string(ColumnText(handle, i))), whole)) {
              rows.AddInteger(whole);
            } else {
              keep(i);
            }
          }
          break;
        case ftFloat:
          if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            rows.AddFloat(sqlite3_column_double(handle, i));
          } else {
            const std::string text = Trim(std::string(ColumnText(handle, i)));
            char* end = nullptr;
            const double number = std::strtod(text.c_str(), &end);
            if (end != text.c_str() + text.size()) {
              keep(i);
            } else {
              rows.AddFloat(number);
            }
          }
          break;
        case ftBCD:
        case ftCurrency: {
          Currency amount;
          bool read = true;
          if (storage == SQLITE_INTEGER) {
            const std::int64_t whole = sqlite3_column_int64(handle, i);
            read = whole <= 922337203685477 && whole >= -922337203685477;
            if (read) amount = Currency::FromRaw(whole * 10000);
          } else if (storage == SQLITE_FLOAT) {
            try {
              amount = Currency::FromDouble(sqlite3_column_double(handle, i));
            } catch (const Exception&) {
              read = false;
            }
          } else {
            read = TextToCurrency(Trim(std::string(ColumnText(handle, i))), amount);
          }
          if (read) {
            rows.AddCurrency(amount);
          } else {
            keep(i);
          }
          break;
        }
        case ftBoolean: {
          bool flag = false;
          if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            rows.AddBoolean(sqlite3_column_double(handle, i) != 0);
          } else if (TextToBoolean(ColumnText(handle, i), flag)) {
            rows.AddBoolean(flag);
          } else {
            keep(i);
          }
          break;
        }
        case ftDate:
        case ftTime:
        case ftDateTime: {
          TDateTime moment = 0;
          if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            moment = SQLiteNumberToDateTime(sqlite3_column_double(handle, i));
            // A Julian day number outside the years 1 to 9999 is no date a field can show.
            if (!(moment > -693594.0 && moment < 2958466.0)) {
              keep(i);
              break;
            }
          } else if (!SQLiteTextToDateTime(ColumnText(handle, i), moment)) {
            keep(i);
            break;
          }
          if (type == ftDate) moment = std::trunc(moment);
          if (type == ftTime) moment = std::fabs(moment - std::trunc(moment));
          rows.AddDateTime(moment);
          break;
        }
        default: {
          // Texts, memos and binary data: the bytes as stored.
          const std::string_view bytes =
              storage == SQLITE_BLOB || type == ftBlob || type == ftGraphic ? ColumnBlob(handle, i)
                                                                            : ColumnText(handle, i);
          int& longest = maxLengths[static_cast<std::size_t>(i)];
          longest = std::max(longest, static_cast<int>(bytes.size()));
          rows.AddString(bytes);
          break;
        }
      }
    }
    rows.EndRow();
  }
  FRows = std::move(rows);
  FMaxLengths = std::move(maxLengths);
  FCurrentRow.clear();
  FCurrentRowIndex = -1;
  ++FGeneration;
}

void TSQLiteQuery::Refresh() {
  CheckActive();
  if (FRefreshing) return;
  FRefreshing = true;
  struct TGuard {
    bool& Flag;
    ~TGuard() { Flag = false; }
  } guard{FRefreshing};
  try {
    Fetch();
  } catch (const Exception&) {
    // Rows of the previous master must not pass for this one's: the query stays open, empty.
    FRows.Clear();
    FRows.SetColumnCount(static_cast<int>(FColumnTypes.size()));
    ++FGeneration;
    Resync(0);
    throw;
  }
  // A longer text than before widens its field, so that nothing is cut.
  for (TField* field : GetFieldList()) {
    const int column = field->GetFieldNo();
    if (field->GetDataType() == ftString && column >= 0 &&
        FMaxLengths[static_cast<std::size_t>(column)] > field->GetSize()) {
      field->SetSize(FMaxLengths[static_cast<std::size_t>(column)]);
    }
  }
  Resync(0);
}

const TFieldValue& TSQLiteQuery::GetFieldValue(int ARecordIndex, int AFieldNo) const {
  if (ARecordIndex != FCurrentRowIndex) {
    FRows.ReadRow(ARecordIndex, FCurrentRow);
    FCurrentRowIndex = ARecordIndex;
  }
  return FCurrentRow[static_cast<std::size_t>(AFieldNo)];
}

// Record ids carry the run (eight bits of it) above the record index, so that a bookmark of
// an earlier run of a detail query is refused.
std::uint64_t TSQLiteQuery::GetRecordId(int ARecordIndex) const {
  return (static_cast<std::uint64_t>(FGeneration & 0xFF) << 31) |
         static_cast<std::uint64_t>(ARecordIndex);
}

int TSQLiteQuery::FindRecordIndex(std::uint64_t AId) const {
  if ((AId >> 31) != (FGeneration & 0xFF)) return -1;
  const auto index = static_cast<std::int64_t>(AId & 0x7FFFFFFF);
  return index < FRows.GetRowCount() ? static_cast<int>(index) : -1;
}

}  // namespace host
