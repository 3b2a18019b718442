#pragma once

// The host's data-access layer: field types and the compact field value, field definitions,
// the field classes with their text rules, the abstract data set with navigation, bookmarks
// and data-link notices, the in-memory data set, data sources and data links.
//
// How the parts fit. A TDataSet holds rows however it likes (in memory, a query's cursor, a
// CSV file) and answers one question: the TFieldValue of column AFieldNo in record
// ARecordIndex. The data set keeps the cursor (current record, EOF, BOF) and hands bookmarks
// out. TField objects belong to the data set's field list; each reads its value from the data
// set's current record and turns it into text by its family's rules and the data set's
// format settings. TDataSource points at a data set and carries TDataLinks, the observers that
// hear of opening, closing, scrolling and changes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host/Classes.h"
#include "platform/host/SysUtils.h"

namespace host {

class TDataSet;
class TDataSource;
class TDataLink;
class TField;

// ---------------------------------------------------------------------------------------------
// Field types. The ordinals are the host's and are part of the contract: stored form files
// and the merge's type table use them.

enum TFieldType : std::uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
};

inline constexpr int FieldTypeCount = 30;

// "ftString" for ftString; "" for a value outside the enumeration.
std::string FieldTypeName(TFieldType AType);
// The type of a name as form files write it ("ftString"; case-insensitive). Returns false
// for an unknown name and leaves AType alone.
bool FieldTypeFromName(const std::string& AName, TFieldType& AType);

// The state of a data set: closed, browsing, or holding an appended record not yet posted.
enum TDataSetState : std::uint8_t { dsInactive = 0, dsBrowse = 1, dsEdit = 2, dsInsert = 3 };

// ---------------------------------------------------------------------------------------------
// Errors. Messages are the host's ("Field 'Name' not found").

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------------------------
// Field values

enum TFieldValueKind : std::uint8_t {
  fvkNull = 0,
  fvkInteger = 1,   // std::int64_t
  fvkFloat = 2,     // double
  fvkCurrency = 3,  // Currency (four decimals, exact)
  fvkBoolean = 4,   // bool
  fvkDateTime = 5,  // TDateTime
  fvkString = 6,    // bytes: text in UTF-8, or the raw bytes of a blob, memo or picture
};

// One value of one column of one record. Numbers are held inline, so copying or reading a
// number never allocates; a string value owns its bytes. Data sets store their rows as these
// and hand out const references, so reading a field never copies a string either.
class TFieldValue {
 public:
  TFieldValue() = default;                                                         // null
  TFieldValue(std::nullptr_t) {}                                                   // NOLINT: null
  TFieldValue(int AValue) : FKind(fvkInteger), FInteger(AValue) {}                 // NOLINT
  TFieldValue(long AValue) : FKind(fvkInteger), FInteger(AValue) {}                // NOLINT
  TFieldValue(long long AValue) : FKind(fvkInteger), FInteger(AValue) {}           // NOLINT
  TFieldValue(double AValue) : FKind(fvkFloat), FFloat(AValue) {}                  // NOLINT
  TFieldValue(Currency AValue) : FKind(fvkCurrency), FInteger(AValue.GetRaw()) {}  // NOLINT
  TFieldValue(bool AValue) : FKind(fvkBoolean), FBoolean(AValue) {}                // NOLINT
  TFieldValue(const char* AValue) : FKind(fvkString), FString(AValue ? AValue : "") {}  // NOLINT
  TFieldValue(std::string AValue) : FKind(fvkString), FString(std::move(AValue)) {}     // NOLINT
  TFieldValue(std::string_view AValue) : FKind(fvkString), FString(AValue) {}           // NOLINT
  // TDateTime is a double, so a date-time value is made by name.
  static TFieldValue FromDateTime(TDateTime AValue);

  TFieldValueKind GetKind() const { return FKind; }
  bool IsNull() const { return FKind == fvkNull; }
  // The raw members; each is meaningful only for its kind (0, false or empty otherwise).
  std::int64_t GetInteger() const { return FKind == fvkInteger ? FInteger : 0; }
  double GetFloat() const { return FKind == fvkFloat || FKind == fvkDateTime ? FFloat : 0.0; }
  Currency GetCurrency() const { return Currency::FromRaw(FKind == fvkCurrency ? FInteger : 0); }
  bool GetBoolean() const { return FKind == fvkBoolean && FBoolean; }
  TDateTime GetDateTime() const { return FKind == fvkDateTime ? FFloat : 0.0; }
  const std::string& GetString() const { return FString; }

  // Same kind and same value (doubles compared bit for bit, so NaN equals itself).
  bool Equals(const TFieldValue& AOther) const;

 private:
  TFieldValueKind FKind = fvkNull;
  union {
    std::int64_t FInteger = 0;  // fvkInteger; the raw Currency for fvkCurrency
    double FFloat;              // fvkFloat, fvkDateTime
    bool FBoolean;              // fvkBoolean
  };
  std::string FString;  // fvkString
};

// The general text of any value: what AsString gives for a field without a rule of its own.
std::string ValueToText(const TFieldValue& AValue, const TFormatSettings& ASettings);

// ---------------------------------------------------------------------------------------------
// Field definitions: the columns a data set offers, from which it makes its default fields.

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;       // a string's size in bytes; a BCD's decimals
  int Precision = 0;  // digits of a float or BCD field; 0 leaves the field's default
  bool Required = false;
};

class TFieldDefs : public TObject {
 public:
  TFieldDefs() = default;
  std::string ClassName() const override { return "TFieldDefs"; }

  // Appends a definition; raises EDatabaseError "Duplicate field name '%s'" for a name that
  // is already there (compared without regard to case).
  TFieldDef& Add(const std::string& AName, TFieldType ADataType, int ASize = 0,
                 bool ARequired = false);
  void Clear() { FItems.clear(); }
  int GetCount() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for a bad index.
  const TFieldDef& GetItems(int AIndex) const;
  TFieldDef& GetItems(int AIndex);
  // Index of the definition of that name (case-insensitive), -1 when absent.
  int IndexOf(const std::string& AName) const;

 private:
  using inherited = TObject;

  std::vector<TFieldDef> FItems;
};

// ---------------------------------------------------------------------------------------------
// Fields

using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;

// One column of a data set, seen at the data set's current record. A field is a component: a
// default field (made at Open from FieldDefs) is owned by its data set and freed at Close; a
// persistent field is made by the application (any owner) and joined to a data set with
// SetDataSet before Open, which binds it to the column of the same name.
//
// A field reads its value from the data set's current record; a null value (also on a closed
// or empty data set) gives empty texts, 0, false. Texts follow the data set's format settings.
// The base class serves the types without a class of their own (ftUnknown, ftBytes,
// ftVarBytes, the object types): its texts are the value's generic text.
class TField : public TComponent {
 public:
  explicit TField(TComponent* AOwner);
  ~TField() override;
  std::string ClassName() const override { return "TField"; }

  TDataSet* GetDataSet() const { return FDataSet; }
  // Moves the field to another data set's field list (nullptr: to none). Raises
  // EDatabaseError "Cannot perform this operation on an open dataset" when either is open.
  void SetDataSet(TDataSet* AValue);
  const std::string& GetFieldName() const { return FFieldName; }
  void SetFieldName(const std::string& AValue) { FFieldName = AValue; }
  // The label shown for the field; the field name until one is set.
  const std::string& GetDisplayLabel() const {
    return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
  }
  void SetDisplayLabel(const std::string& AValue) { FDisplayLabel = AValue; }
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool AValue) { FVisible = AValue; }
  TFieldType GetDataType() const { return FDataType; }
  int GetSize() const { return FSize; }
  virtual void SetSize(int AValue);
  bool GetRequired() const { return FRequired; }
  void SetRequired(bool AValue) { FRequired = AValue; }
  // The column of the data set's rows that the field reads; -1 while unbound.
  int GetFieldNo() const { return FFieldNo; }
  // Position in the data set's field list; -1 without a data set.
  int GetIndex() const;

  // The value at the data set's current record (a null value when there is none).
  const TFieldValue& GetValue() const;
  bool GetIsNull() const { return GetValue().IsNull(); }

  // The edit text and the display text: OnGetText when assigned, else the family's rule
  // (DoGetText below). A stored value that the field's type cannot read (a text kept as it
  // came because it is no number or date) raises EConvertError naming the data set, the
  // field, the record and the value.
  std::string GetText() const;
  std::string GetDisplayText() const;
  void SetOnGetText(TFieldGetTextEvent AValue) { FOnGetText = std::move(AValue); }
  const TFieldGetTextEvent& GetOnGetText() const { return FOnGetText; }

  // Typed readers. A value of another kind is converted (a string through the conversions,
  // raising EConvertError when it is no number or date); a null value reads 0, false, "".
  virtual std::string GetAsString() const;
  virtual std::int64_t GetAsInteger() const;
  virtual double GetAsFloat() const;
  virtual Currency GetAsCurrency() const;
  virtual TDateTime GetAsDateTime() const;
  virtual bool GetAsBoolean() const;

  // Writers: the value is converted to the field's own kind (ConvertValue) and given to the
  // data set, which raises EDatabaseError "Dataset not in edit or insert mode" unless it is
  // appending a record.
  void SetValue(const TFieldValue& AValue);
  void SetAsString(const std::string& AValue) { SetValue(TFieldValue(AValue)); }
  void SetAsInteger(std::int64_t AValue) { SetValue(TFieldValue(AValue)); }
  void SetAsFloat(double AValue) { SetValue(TFieldValue(AValue)); }
  void SetAsCurrency(Currency AValue) { SetValue(TFieldValue(AValue)); }
  void SetAsDateTime(TDateTime AValue) { SetValue(TFieldValue::FromDateTime(AValue)); }
  void SetAsBoolean(bool AValue) { SetValue(TFieldValue(AValue)); }
  void Clear() { SetValue(TFieldValue()); }

  // AValue turned into the kind this field stores (a string field's text cut to Size, a date
  // field's date alone, a whole number checked against the type's range). Raises
  // EDatabaseError or EConvertError naming the field for a value it cannot hold. Data sets
  // that load rows from outside call it so that every stored value has its field's kind.
  virtual TFieldValue ConvertValue(const TFieldValue& AValue) const;

 protected:
  // The family's text rule; ADisplayText chooses DisplayText over the edit text.
  virtual std::string DoGetText(bool ADisplayText) const;
  void SetDataType(TFieldType AValue) { FDataType = AValue; }
  // The data set's format settings, or the process defaults without a data set.
  const TFormatSettings& GetFormatSettings() const;
  // Raises EDatabaseError AMessage with the field's display label as the only argument.
  [[noreturn]] void FieldError(const std::string& AMessage) const;
  // Raises EConvertError "<data set>, field '<label>', record <n>: <AReason>".
  [[noreturn]] void ReadError(const std::string& AReason) const;

 private:
  using inherited = TComponent;
  friend class TDataSet;

  TDataSet* FDataSet = nullptr;  // not owned
  std::string FFieldName;
  std::string FDisplayLabel;
  bool FVisible = true;
  bool FRequired = false;
  TFieldType FDataType = ftUnknown;
  int FSize = 0;
  int FFieldNo = -1;
  bool FDefaultField = false;  // made by the data set at Open, freed at Close
  TFieldGetTextEvent FOnGetText;
};

// Text of up to Size bytes (default 20); values are cut at Size bytes, backing off to the
// start of a UTF-8 character, and at the first NUL byte.
class TStringField : public TField {
 public:
  explicit TStringField(TComponent* AOwner);
  std::string ClassName() const override { return "TStringField"; }
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;
};

// Whole numbers. Text uses EditFormat when set, otherwise DisplayFormat; DisplayText uses
// DisplayFormat; an empty format writes the plain number. AsString ignores both formats.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* AOwner);
  std::string ClassName() const override { return "TIntegerField"; }

  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& AValue) { FDisplayFormat = AValue; }
  const std::string& GetEditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& AValue) { FEditFormat = AValue; }
  std::int64_t GetMinRange() const { return FMinRange; }
  std::int64_t GetMaxRange() const { return FMaxRange; }

  // Raises EDatabaseError "%d is not a valid value for field '%s'. The allowed range is %d to
  // %d" for a number outside the type's range.
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;
  void SetRange(std::int64_t AMin, std::int64_t AMax);

 private:
  using inherited = TField;

  std::string FDisplayFormat;
  std::string FEditFormat;
  std::int64_t FMinRange = INT32_MIN;
  std::int64_t FMaxRange = INT32_MAX;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* AOwner);
  std::string ClassName() const override { return "TSmallintField"; }
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* AOwner);
  std::string ClassName() const override { return "TWordField"; }
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* AOwner);
  std::string ClassName() const override { return "TAutoIncField"; }
};

class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* AOwner);
  std::string ClassName() const override { return "TLargeintField"; }
};

// Binary floating point. Without a format, Text is the general format with Precision digits
// (15 by default), or with the Currency flag the fixed format with CurrencyDecimals for the
// edit text and the currency format for DisplayText.
class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* AOwner);
  std::string ClassName() const override { return "TFloatField"; }

  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& AValue) { FDisplayFormat = AValue; }
  const std::string& GetEditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& AValue) { FEditFormat = AValue; }
  bool GetCurrency() const { return FCurrency; }
  void SetCurrency(bool AValue) { FCurrency = AValue; }
  int GetPrecision() const { return FPrecision; }
  // 2 to 15 significant digits; values outside are brought into that range.
  void SetPrecision(int AValue);

  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;

 private:
  using inherited = TField;

  std::string FDisplayFormat;
  std::string FEditFormat;
  bool FCurrency = false;
  int FPrecision = 15;
};

// A float field with the Currency flag set.
class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* AOwner);
  std::string ClassName() const override { return "TCurrencyField"; }
};

// Exact decimals held as Currency (four decimals). Text rules as TFloatField, with the
// Currency-exact formatting routines.
class TBCDField : public TField {
 public:
  explicit TBCDField(TComponent* AOwner);
  std::string ClassName() const override { return "TBCDField"; }

  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& AValue) { FDisplayFormat = AValue; }
  const std::string& GetEditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& AValue) { FEditFormat = AValue; }
  bool GetCurrency() const { return FCurrency; }
  void SetCurrency(bool AValue) { FCurrency = AValue; }
  int GetPrecision() const { return FPrecision; }
  void SetPrecision(int AValue) { FPrecision = AValue; }
  // Decimals, 0 to 4.
  void SetSize(int AValue) override;

  std::string GetAsString() const override;
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;

 private:
  using inherited = TField;

  std::string FDisplayFormat;
  std::string FEditFormat;
  bool FCurrency = false;
  int FPrecision = 0;
};

// True or false, shown through DisplayValues "TrueText;FalseText": the part before the first
// ';' stands for true and the part after it for false; without ';' the whole text is the true
// text and false is empty; an empty DisplayValues gives "True" and "False".
class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* AOwner);
  std::string ClassName() const override { return "TBooleanField"; }

  const std::string& GetDisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& AValue);

  std::string GetAsString() const override;
  // Accepts the two texts of DisplayValues (or of the format settings, or "True"/"False"),
  // without regard to case; raises
  // EDatabaseError "'%s' is not a valid boolean value for field '%s'" otherwise.
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;

 private:
  using inherited = TField;

  // The two texts of DisplayValues; without DisplayValues the format settings' Boolean texts.
  const std::string& TrueText() const;
  const std::string& FalseText() const;

  std::string FDisplayValues;
  std::string FTrueText;
  std::string FFalseText;
};

// Date and time. DisplayText uses DisplayFormat and Text uses EditFormat (never
// DisplayFormat); without its format each writes the type's default: "c" for a date-time
// field, ShortDateFormat for a date field and LongTimeFormat for a time field. AsString uses
// that default and ignores both formats.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* AOwner);
  std::string ClassName() const override { return "TDateTimeField"; }

  const std::string& GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& AValue) { FDisplayFormat = AValue; }
  const std::string& GetEditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& AValue) { FEditFormat = AValue; }

  std::string GetAsString() const override;
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;
  // The format used when neither DisplayFormat nor EditFormat applies.
  virtual std::string DefaultFormat() const;

 private:
  using inherited = TField;

  std::string FDisplayFormat;
  std::string FEditFormat;
};

// Stores the date alone (the time of day is dropped).
class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* AOwner);
  std::string ClassName() const override { return "TDateField"; }
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DefaultFormat() const override;
};

// Stores the time of day alone (the date is dropped).
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* AOwner);
  std::string ClassName() const override { return "TTimeField"; }
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DefaultFormat() const override;
};

// Raw bytes of any length. AsString and GetBlobBytes give them unchanged (NUL bytes too);
// Text and DisplayText give "(Blob)", or "(BLOB)" when there is content (the type's name in
// the subclasses: "(Memo)", "(GRAPHIC)" and so on).
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* AOwner);
  std::string ClassName() const override { return "TBlobField"; }

  // The bytes of the current record, without a copy; empty for null.
  const std::string& GetBlobBytes() const { return GetValue().GetString(); }
  std::string GetAsString() const override;
  TFieldValue ConvertValue(const TFieldValue& AValue) const override;

 protected:
  std::string DoGetText(bool ADisplayText) const override;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* AOwner);
  std::string ClassName() const override { return "TMemoField"; }
};

// A picture's file bytes (PNG, JPEG, GIF or BMP); TPicture reads them.
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* AOwner);
  std::string ClassName() const override { return "TGraphicField"; }
};

// Formatted text: the bytes of an RTF document.
class TFmtMemoField : public TBlobField {
 public:
  explicit TFmtMemoField(TComponent* AOwner);
  std::string ClassName() const override { return "TFmtMemoField"; }
};

// A new field of the class that serves AType (a plain TField for the types without a class of
// their own), handed to AOwner.
TField* CreateField(TComponent* AOwner, TFieldType AType);

// ---------------------------------------------------------------------------------------------
// Data sets

// An opaque record position handed out by GetBookmark. It owns nothing (FreeBookmark does
// nothing and is safe to call with anything); it stays valid while the data set that made it
// remains open, and is never valid again after a Close.
using TBookmark = void*;

// The abstract data set: field list, cursor, bookmarks and notices to data sources.
//
// Subclassing contract. A data set subclass stores its rows as it likes and implements:
//
//  - InternalOpen(): make the rows available and, when the columns come from the source
//    (a query's result columns, a CSV header), fill FieldDefs (GetFieldDefs()). Raise to
//    refuse opening; the data set then stays closed. After InternalOpen the base class binds
//    persistent fields to the definitions of their names (raising "Field 'x' not found") or,
//    when there are none, makes one default field per definition (CreateFieldForDef) whose
//    FieldNo is the definition's index. Then it moves to the first record.
//  - InternalClose(): release the rows. Called after the default fields were freed; the
//    field definitions stay (a subclass that fills them in InternalOpen clears them first).
//    ~TDataSet cannot reach it, so a subclass's destructor calls Close() itself.
//  - GetRecordCountInternal(): the number of records. It is read after every move, so a
//    subclass may fetch lazily as long as the count covers every index asked for so far and
//    is final once the cursor has reached the end.
//  - GetFieldValue(ARecordIndex, AFieldNo): the value of column AFieldNo (a field definition
//    index) of record ARecordIndex (0-based, always < GetRecordCountInternal()). The reference
//    must stay valid until the next call that moves or changes the data set. Values should
//    have the kind that the column's field stores (TField::ConvertValue does this); the fields
//    convert any other kind when read, at some cost.
//  - GetRecordId(ARecordIndex) / FindRecordIndex(AId), optional: a stable id per record
//    while the data set is open; bookmarks carry it. The default id is the record's index,
//    which suits data sets whose rows neither move nor disappear while open.
//
// Every public operation on a closed data set that needs records raises EDatabaseError
// "Cannot perform this operation on a closed dataset".
class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* AOwner);
  ~TDataSet() override;
  std::string ClassName() const override { return "TDataSet"; }

  bool GetActive() const { return FState != dsInactive; }
  // Opens or closes; opening an open data set or closing a closed one does nothing.
  void SetActive(bool AValue);
  void Open() { SetActive(true); }
  void Close() {
    if (GetActive()) DoClose();
  }
  TDataSetState GetState() const { return FState; }

  // Navigation. After Open and First, BOF is true; EOF is true on an empty data set. Next on
  // the last record sets EOF and stays; Prior on the first sets BOF and stays. Last sets EOF.
  // A move that lands on another record clears both flags first. Every move that changes the
  // current record (these, SetRecNo and GotoBookmark) tells the data links DataSetScrolled
  // with the distance. A record being appended is posted first.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves up to ADistance records (negative: backwards) and returns how far it went; EOF or
  // BOF is set when the move was cut short at an end.
  int MoveBy(int ADistance);
  bool GetEOF() const { return FEOF; }
  bool GetBOF() const { return FBOF; }
  // 1-based number of the current record; 0 on an empty or closed data set.
  int GetRecNo() const;
  // Moves to record AValue (1-based); raises EDatabaseError for a number outside the records.
  void SetRecNo(int AValue);
  int GetRecordCount() const;
  bool IsEmpty() const;

  // Bookmarks. GetBookmark returns nullptr on an empty data set. GotoBookmark raises
  // EDatabaseError "Bookmark not found in dataset '%s'" for a bookmark that BookmarkValid
  // refuses; BookmarkValid is false for nullptr, for a bookmark of another opening of this data
  // set and for one whose record is gone.
  TBookmark GetBookmark() const;
  void GotoBookmark(TBookmark ABookmark);
  bool BookmarkValid(TBookmark ABookmark) const;
  void FreeBookmark(TBookmark ABookmark) const;

  // Fields, in list order. FieldByName raises EDatabaseError "Field '%s' not found"; FindField
  // returns nullptr. Names are compared without regard to case.
  int GetFieldCount() const { return static_cast<int>(FFields.size()); }
  TField* GetFields(int AIndex) const;
  const std::vector<TField*>& GetFieldList() const { return FFields; }
  TField* FieldByName(const std::string& AName) const;
  TField* FindField(const std::string& AName) const;
  TFieldDefs* GetFieldDefs() const { return FFieldDefs.get(); }

  // The settings the fields format their texts with; the process defaults until set.
  const TFormatSettings& GetFormatSettings() const { return FFormatSettings; }
  void SetFormatSettings(const TFormatSettings& AValue);

  // How messages name the data set: "data source 'Orders'" as a program calls it; "data set
  // '<Name>'" until set.
  std::string GetDescription() const;
  void SetDescription(const std::string& AValue) { FDescription = AValue; }

  // The value that the field at AFieldNo holds at the current record: the appended record
  // while inserting, a null value on a closed or empty data set.
  const TFieldValue& CurrentFieldValue(int AFieldNo) const;

  // Data sources attached to this data set (not owned; TDataSource maintains the list).
  int GetDataSourceCount() const { return static_cast<int>(FDataSources.size()); }

 protected:
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual int GetRecordCountInternal() const = 0;
  virtual const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const = 0;
  virtual std::uint64_t GetRecordId(int ARecordIndex) const;
  // The index of the record with that id, -1 when there is none (any more). The default
  // checks the index equal to the id first and then searches every record.
  virtual int FindRecordIndex(std::uint64_t AId) const;
  // Stores the value of AField in the record being appended. The base class raises
  // EDatabaseError "Dataset not in edit or insert mode"; TMemDataSet overrides it.
  virtual void SetFieldValue(TField* AField, const TFieldValue& AValue);
  // Called before every move; TMemDataSet posts the record being appended.
  virtual void CheckBrowseMode() {}
  // The value of column AFieldNo of the record being appended (dsInsert); null by default.
  virtual const TFieldValue& GetPendingFieldValue(int AFieldNo) const;
  // The field made for a definition at Open when there are no persistent fields; its owner
  // is the data set. The default uses CreateField and copies name, size, precision, required.
  virtual TField* CreateFieldForDef(const TFieldDef& ADef);

  // For subclasses that append records: the state, the current record (0-based, -1 when
  // there is none) and the notices.
  void SetState(TDataSetState AValue) { FState = AValue; }
  int GetCurrentIndex() const { return FCurrent; }
  // Puts the cursor on record AIndex (clamped to the records), clearing EOF and BOF, and tells
  // the data links that the data set changed.
  void Resync(int AIndex);
  void NotifyDataSetChanged();
  void NotifyRecordChanged(TField* AField);
  // Raises "Cannot perform this operation on a closed dataset" when closed.
  void CheckActive() const;
  void CheckInactive() const;

 private:
  using inherited = TComponent;
  friend class TField;
  friend class TDataSource;

  void DoOpen();
  void DoClose();
  void BindFields();
  void FreeDefaultFields();
  void AddField(TField* AField);
  void RemoveField(TField* AField);
  void AddDataSource(TDataSource* ASource);
  void RemoveDataSource(TDataSource* ASource);
  void NotifyActiveChanged();
  void NotifyScrolled(int ADistance);

  std::unique_ptr<TFieldDefs> FFieldDefs = std::make_unique<TFieldDefs>();
  std::vector<TField*> FFields;            // default fields owned through the owner tree
  std::vector<TDataSource*> FDataSources;  // not owned
  TFormatSettings FFormatSettings;
  std::string FDescription;
  TDataSetState FState = dsInactive;
  int FCurrent = -1;  // index of the current record, -1 when there is none
  bool FEOF = true;
  bool FBOF = true;
  std::uint32_t FOpening = 0;  // counts the openings, so that old bookmarks are refused
};

// An in-memory data set. Define columns with FieldDefs (or persistent fields) and Open; then
// add records with Append, field writes (SetValue / SetAs...) and Post, or in one call with
// AppendRecord. Rows live until Close, which empties the data set.
class TMemDataSet : public TDataSet {
 public:
  explicit TMemDataSet(TComponent* AOwner);
  ~TMemDataSet() override;
  std::string ClassName() const override { return "TMemDataSet"; }

  // Starts a new record at the end (all fields null), posting a pending one first.
  void Append();
  // Stores the appended record and makes it current. Raises "Dataset not in edit or insert
  // mode" when nothing is being appended.
  void Post();
  // Drops the appended record.
  void Cancel();
  // Append, one value per field in field-list order (missing values null), Post. Each value
  // is converted to its field's kind; a conversion error leaves the data set unchanged.
  void AppendRecord(const std::vector<TFieldValue>& AValues);

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int GetRecordCountInternal() const override { return static_cast<int>(FRows.size()); }
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;
  void SetFieldValue(TField* AField, const TFieldValue& AValue) override;
  void CheckBrowseMode() override;
  const TFieldValue& GetPendingFieldValue(int AFieldNo) const override;

 private:
  using inherited = TDataSet;

  std::vector<std::vector<TFieldValue>> FRows;
  std::vector<TFieldValue> FAppending;  // the record being appended (dsInsert)
};

// ---------------------------------------------------------------------------------------------
// Data sources and data links

// Connects data-aware objects (data links) to a data set it does not own. Freeing the data set
// clears the reference (through FreeNotification).
class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;
  std::string ClassName() const override { return "TDataSource"; }

  TDataSet* GetDataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* AValue);
  // A disabled source hides its data set's activity from its links.
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // The data set's state, dsInactive without one or when disabled.
  TDataSetState GetState() const;
  int GetDataLinkCount() const { return static_cast<int>(FDataLinks.size()); }

 protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  using inherited = TComponent;
  friend class TDataLink;
  friend class TDataSet;

  void UpdateLinks();

  TDataSet* FDataSet = nullptr;        // not owned; cleared on removal
  std::vector<TDataLink*> FDataLinks;  // not owned
  bool FEnabled = true;
};

// An observer of a data source's data set. Not a component: its owner holds it (typically as
// a unique_ptr member). Subclasses override the notices they care about.
class TDataLink : public TObject {
 public:
  TDataLink() = default;
  ~TDataLink() override;
  std::string ClassName() const override { return "TDataLink"; }

  TDataSource* GetDataSource() const { return FDataSource; }
  // Registers with the new source (and leaves the old one); ActiveChanged follows when the
  // link's activity changes.
  void SetDataSource(TDataSource* AValue);
  // The source's data set, nullptr when there is none.
  TDataSet* GetDataSet() const;
  // True when the source is enabled and its data set is open.
  bool GetActive() const { return FActive; }

 protected:
  friend class TDataSource;
  friend class TDataSet;

  // The link became active (the data set opened) or inactive (closed, removed, disabled).
  virtual void ActiveChanged() {}
  // The cursor moved by ADistance records (negative: backwards).
  virtual void DataSetScrolled(int ADistance) { (void)ADistance; }
  // The data set's contents or position changed as a whole (First, Last, records appended).
  virtual void DataSetChanged() {}
  // A field of the current record was written (nullptr: the whole record).
  virtual void RecordChanged(TField* AField) { (void)AField; }

 private:
  using inherited = TObject;

  void UpdateState();

  TDataSource* FDataSource = nullptr;  // not owned
  bool FActive = false;
};

}  // namespace host
