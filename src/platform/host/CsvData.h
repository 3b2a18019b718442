#pragma once

// CSV files as data sets: TCsvReader splits a text into records (RFC 4180 quoting, UTF-8 with
// or without BOM, ',' ';' or tab between fields), and TCsvDataSet reads a whole file into
// compact rows, typed by its FieldTypes list.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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

// A data set over a CSV file. The first line names the fields. A field's type is the one its
// FieldTypes line states ("Amount=ftCurrency", "Born=ftDate"); without one it is ftString, or,
// with InferTypes, the type that every value of the column fits: whole numbers (ftInteger, or
// ftLargeint beyond 32 bits; a leading zero or '+' keeps a column text), decimals with '.' (or
// ',' where the file is not comma-separated or the settings use it) as ftBCD, ISO dates
// (yyyy-mm-dd) as ftDate, ISO date-times (with 'T' or ' ') as ftDateTime, true/false as
// ftBoolean; empty values do not count, and anything else makes the column text. Values are read
// with the data set's format settings (SetFormatSettings before Open); ISO dates are read in
// every date column; an empty field is null. A value that its stated type cannot read is kept
// as its text, so that only a reader of it fails (TField names field, record and value). Open
// reads the whole file; the file is not held open.
//
// Master-detail: with MasterSource and MasterFields ("OrderId", or "OrderId=Id;Year=Year" for
// detail field = master field), the data set shows only the records whose fields equal the
// master's current record's (compared as text), and follows the master as it moves.
//
// Errors (EDatabaseError; the data set stays closed): a file that cannot be read, an empty
// file, a malformed line, a record with more values than the header has names, a FieldTypes
// line that names no field of the header or no usable type, and MasterFields that name a field
// the file or the master lacks.
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
  // Whether columns without a FieldTypes line get the type their values fit (default false:
  // text). Raises EDatabaseError while open.
  bool GetInferTypes() const { return FInferTypes; }
  void SetInferTypes(bool AValue);
  // The master's data source; raises EDatabaseError "Circular datalinks are not allowed" for
  // one whose data set is this one.
  TDataSource* GetMasterSource() const;
  void SetMasterSource(TDataSource* AValue);
  // "DetailField=MasterField" pairs separated by ';' ("OrderId" for the same name on both).
  const std::string& GetMasterFields() const { return FMasterFields; }
  void SetMasterFields(const std::string& AValue);
  // The delimiter the open file uses (detected or set); 0 while closed.
  char GetActiveDelimiter() const { return FActiveDelimiter; }
  // While read from a form file, Active waits for Loaded.
  void SetStreamedActive(bool AValue);

  void Loaded() override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int GetRecordCountInternal() const override;
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;
  std::uint64_t GetRecordId(int ARecordIndex) const override;
  int FindRecordIndex(std::uint64_t AId) const override;

 private:
  using inherited = TDataSet;
  class TMasterLink;

  // The link's pairs as field numbers of this data set and fields of the master; raises
  // EDatabaseError for a name either side lacks.
  void BindMasterFields();
  // Chooses the records of the master's current record and goes to the first.
  void MasterChanged();
  // The text of the key of row ARow, or of the master's current record.
  std::string RowKey(int ARow) const;

  std::string FFileName;
  char FDelimiter = 0;
  std::unique_ptr<TStringList> FFieldTypes;
  bool FInferTypes = false;
  std::unique_ptr<TMasterLink> FMasterLink;
  std::string FMasterFields;
  std::vector<std::pair<int, std::string>> FKeyFields;  // detail field no, master field name
  std::unordered_map<std::string, std::vector<int>> FKeyIndex;  // key text: rows, in order
  bool FFiltered = false;                                       // a master is linked
  std::vector<int> FVisible;                                    // the rows shown, when filtered
  char FActiveDelimiter = 0;
  TRowStore FRows;
  mutable std::vector<TFieldValue> FCurrentRow;
  mutable int FCurrentRowIndex = -1;
  bool FStreamedActive = false;
};

}  // namespace host
