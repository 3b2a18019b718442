#pragma once

// CSV files as data sets: TCsvReader splits a text into records (RFC 4180 quoting, UTF-8 with
// or without BOM, ',' ';' or tab between fields), and TCsvDataSet reads a whole file into
// compact rows, typed by its FieldTypes list.

#include <string>
#include <string_view>
#include <vector>

#include "platform/host/Classes.h"
#include "platform/host/Db.h"
#include "platform/host/SQLiteData.h"

namespace host {

// One value of a CSV record. Quoted tells an empty quoted value ("") from an empty field.
struct TCsvValue {
  std::string Text;
  bool Quoted = false;
};

// The delimiter a header line uses: the most frequent of ',' ';' and tab outside quotes, ','
// on a tie or when there is none.
char DetectCsvDelimiter(std::string_view AText);

// Splits CSV text into records. Records end at CR LF, LF or CR outside quotes; a quoted value
// may hold delimiters, line breaks and doubled quotes (""). A quote inside an unquoted value
// is kept as a character. Lines that are completely empty are skipped.
class TCsvReader {
 public:
  // ADelimiter 0 detects the delimiter from the first line. AText must outlive the reader.
  // Raises EDatabaseError "<file>, line <n>: the file is not UTF-8 text; save it as UTF-8"
  // when the text holds bytes that are no UTF-8.
  TCsvReader(std::string_view AText, std::string AFileName, char ADelimiter = 0);

  char GetDelimiter() const { return FDelimiter; }
  // Reads the next record into AValues; false at the end of the text. Raises EDatabaseError
  // naming the file and line for a quoted value that never ends ("<file>, line <n>: a quoted
  // value is not closed") and for text after a closing quote.
  bool Next(std::vector<TCsvValue>& AValues);
  // The line on which the record read last starts (1-based).
  int GetLine() const { return FRecordLine; }

 private:
  [[noreturn]] void Error(int ALine, const std::string& AMessage) const;
  void EndLine();

  std::string_view FText;
  std::string FFileName;
  char FDelimiter;
  std::size_t FPos = 0;
  int FLine = 1;
  int FRecordLine = 0;
};

// A data set over a CSV file. The first line names the fields; every field is ftString unless
// FieldTypes says otherwise, one line per field: "Amount=ftCurrency", "Born=ftDate". Values are
// read with the data set's format settings (SetFormatSettings before Open); an empty field is
// null. Open reads the whole file; the file is not held open.
//
// Errors (EDatabaseError; the data set stays closed): a file that cannot be read, an empty
// file, a malformed line, a record with more values than the header has names, a value that
// its type cannot read ("<file>, line <n>, field '<name>': <reason>"), and a FieldTypes line
// that names no field of the header or no usable type.
class TCsvDataSet : public TDataSet {
 public:
  explicit TCsvDataSet(TComponent* AOwner);
  ~TCsvDataSet() override;
  std::string ClassName() const override { return "TCsvDataSet"; }

  const std::string& GetFileName() const { return FFileName; }
  // Raises EDatabaseError while open.
  void SetFileName(const std::string& AValue);
  // ',' ';' or tab; 0 (the default) detects it from the header line. Raises EDatabaseError for
  // a quote, a line break or a non-ASCII byte, and while open.
  char GetDelimiter() const { return FDelimiter; }
  void SetDelimiter(char AValue);
  TStringList* GetFieldTypes() const { return FFieldTypes.get(); }
  // Copies the lines; raises EDatabaseError while open.
  void SetFieldTypes(const TStringList* AValue);
  // The delimiter the open file uses (detected or set); 0 while closed.
  char GetActiveDelimiter() const { return FActiveDelimiter; }
  // While read from a form file, Active waits for Loaded.
  void SetStreamedActive(bool AValue);

  void Loaded() override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int GetRecordCountInternal() const override { return FRows.GetRowCount(); }
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;

 private:
  using inherited = TDataSet;

  std::string FFileName;
  char FDelimiter = 0;
  std::unique_ptr<TStringList> FFieldTypes;
  char FActiveDelimiter = 0;
  TRowStore FRows;
  mutable std::vector<TFieldValue> FCurrentRow;
  mutable int FCurrentRowIndex = -1;
  bool FStreamedActive = false;
};

}  // namespace host
