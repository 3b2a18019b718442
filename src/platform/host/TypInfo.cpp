#include "platform/host/TypInfo.h"

#include <algorithm>

#include "platform/host/CsvData.h"
#include "platform/host/Db.h"
#include "platform/host/OdbcData.h"
#include "platform/host/SQLiteData.h"

namespace host {

namespace {

struct TPropRegistry {
  std::map<std::string, std::unique_ptr<TClassProperties>> Classes;  // key: upper-case name
};

TPropRegistry& Registry() {
  static TPropRegistry registry;
  return registry;
}

void EnsureHostClasses() {
  static const bool registered = (RegisterHostClasses(), true);
  (void)registered;
}

const TClassProperties* FindClassProperties(const std::string& AClassName) {
  const auto& classes = Registry().Classes;
  const auto it = classes.find(UpperCase(AClassName));
  return it == classes.end() ? nullptr : it->second.get();
}

// Handler names live beside the components rather than in them, so that every class gets them
// without a field of its own. The keeper asks each component it knows for a removal notice and
// drops the component's names when it goes; an address reused by a later component therefore
// never inherits stale names.
class TEventNameKeeper : public TComponent {
 public:
  TEventNameKeeper() : TComponent(nullptr) {}
  std::string ClassName() const override { return "TEventNameKeeper"; }

  std::map<std::string, std::string>* Find(const TComponent* AInstance) {
    const auto it = FNames.find(AInstance);
    return it == FNames.end() ? nullptr : &it->second;
  }

  std::map<std::string, std::string>& Get(TComponent* AInstance) {
    auto it = FNames.find(AInstance);
    if (it == FNames.end()) {
      FreeNotification(AInstance);
      it = FNames.emplace(AInstance, std::map<std::string, std::string>()).first;
    }
    return it->second;
  }

  void Forget(TComponent* AInstance) {
    if (FNames.erase(AInstance) > 0) RemoveFreeNotification(AInstance);
  }

 protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override {
    inherited::Notification(AComponent, AOperation);
    if (AOperation == opRemove) FNames.erase(AComponent);
  }

 private:
  using inherited = TComponent;

  // Property names are kept upper-case; the handler names as written.
  std::map<const TComponent*, std::map<std::string, std::string>> FNames;
};

TEventNameKeeper& EventNames() {
  static const std::unique_ptr<TEventNameKeeper> keeper = std::make_unique<TEventNameKeeper>();
  return *keeper;
}

void BindTree(TComponent* AInstance, const TEventHandlers& AHandlers) {
  for (const TPropInfo* info : GetPropList(AInstance)) {
    if (info->GetKind() != pkEvent) continue;
    const std::string handlerName = GetEventHandlerName(AInstance, info->GetName());
    if (handlerName.empty()) continue;
    const std::any* handler = AHandlers.Find(handlerName);
    if (handler == nullptr) {
      throw EPropertyError("Event handler '%s' of %s.%s is not defined",
                           {handlerName, AInstance->GetName(), info->GetName()});
    }
    try {
      info->Bind(AInstance, *handler);
    } catch (const EPropertyError&) {
      throw EPropertyError(
          "Event handler '%s' does not fit %s.%s, which needs a %s",
          {handlerName, AInstance->GetName(), info->GetName(), info->GetTypeName()});
    }
  }
  for (int i = 0; i < AInstance->GetComponentCount(); ++i) {
    BindTree(AInstance->GetComponents(i), AHandlers);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPropInfo

TPropInfo::TPropInfo(std::string AName, TPropKind AKind, std::string ATypeName)
    : FName(std::move(AName)), FKind(AKind), FTypeName(std::move(ATypeName)) {}

int TPropInfo::EnumOrdinal(const std::string& AName) const {
  for (std::size_t i = 0; i < FEnumNames.size(); ++i) {
    if (SameText(FEnumNames[i], AName)) return static_cast<int>(i);
  }
  return -1;
}

TPropValue TPropInfo::GetValue(const TComponent* AInstance) const {
  if (FKind == pkEvent) return GetEventHandlerName(AInstance, FName);
  return FGetter(AInstance);
}

void TPropInfo::SetValue(TComponent* AInstance, const TPropValue& AValue) const {
  // The shape a kind takes: ordinals, text, lines or a component.
  std::size_t shape = 0;
  switch (FKind) {
    case pkString:
    case pkEvent:
      shape = 1;
      break;
    case pkStrings:
      shape = 2;
      break;
    case pkComponent:
      shape = 3;
      break;
    default:
      break;
  }
  if (AValue.index() != shape) {
    throw EPropertyError("Invalid value for property %s", {FName});
  }
  if (FKind == pkEvent) {
    SetEventHandlerName(AInstance, FName, std::get<std::string>(AValue));
    return;
  }
  if (!FSetter) throw EPropertyError("Property %s is read-only", {FName});
  if (shape == 0) {
    const std::int64_t ordinal = std::get<std::int64_t>(AValue);
    if (ordinal < FMinValue || ordinal > FMaxValue) {
      throw EPropertyError("Value %d is out of range for property %s", {ordinal, FName});
    }
  }
  if (FKind == pkComponent && !Accepts(std::get<TComponent*>(AValue))) {
    const TComponent* value = std::get<TComponent*>(AValue);
    throw EPropertyError("%s is a %s; property %s needs a %s",
                         {value->GetName(), value->ClassName(), FName, FTypeName});
  }
  FSetter(AInstance, AValue);
}

bool TPropInfo::IsDefault(const TComponent* AInstance) const {
  const TPropValue value = GetValue(AInstance);
  switch (FKind) {
    case pkString:
    case pkEvent:
      return std::get<std::string>(value).empty();
    case pkStrings:
      return std::get<std::vector<std::string>>(value).empty();
    case pkComponent:
      return std::get<TComponent*>(value) == nullptr;
    case pkSet:
      // A set without a stated default is empty by default.
      return FDefault.has_value() ? *FDefault == value : std::get<std::int64_t>(value) == 0;
    default:
      return FDefault.has_value() && *FDefault == value;
  }
}

bool TPropInfo::IsStoredProp(const TComponent* AInstance) const {
  return !FStored || FStored(AInstance);
}

bool TPropInfo::IsStored(const TComponent* AInstance) const {
  return IsStoredProp(AInstance) && !IsDefault(AInstance);
}

bool TPropInfo::Accepts(const TComponent* AValue) const {
  return FKind == pkComponent && (!FAccept || FAccept(AValue));
}

void TPropInfo::Bind(TComponent* AInstance, const std::any& AHandler) const {
  if (!FBind) throw EPropertyError("Property %s is no event", {FName});
  FBind(AInstance, AHandler);
}

// ---------------------------------------------------------------------------------------------
// TClassProperties

TClassProperties::TClassProperties(std::string AClassName, std::string AParentName)
    : FClassName(std::move(AClassName)), FParentName(std::move(AParentName)) {}

TPropInfo* TClassProperties::Add(std::unique_ptr<TPropInfo> AProperty) {
  // A second registration of a name replaces the first, so that a class can restate an
  // inherited property's default or stored rule.
  for (auto& existing : FProperties) {
    if (SameText(existing->GetName(), AProperty->GetName())) {
      existing = std::move(AProperty);
      return existing.get();
    }
  }
  FProperties.push_back(std::move(AProperty));
  return FProperties.back().get();
}

// ---------------------------------------------------------------------------------------------
// Registry

TClassProperties* RegisterClassProperties(const std::string& AClassName,
                                          const std::string& AParentName) {
  auto& entry = Registry().Classes[UpperCase(AClassName)];
  if (!entry) entry = std::make_unique<TClassProperties>(AClassName, AParentName);
  return entry.get();
}

bool HasClassProperties(const std::string& AClassName) {
  EnsureHostClasses();
  return FindClassProperties(AClassName) != nullptr;
}

std::vector<const TPropInfo*> GetPropList(const std::string& AClassName) {
  EnsureHostClasses();
  // The chain from the class up to its root, then walked down so that ancestors come first.
  std::vector<const TClassProperties*> chain;
  std::string name = AClassName;
  while (!name.empty()) {
    const TClassProperties* classProps = FindClassProperties(name);
    if (classProps == nullptr || chain.size() > 64) {
      throw EPropertyError("No published properties are registered for class %s", {name});
    }
    chain.push_back(classProps);
    name = classProps->GetParentName();
  }
  std::vector<const TPropInfo*> result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (const auto& info : (*it)->GetOwnProperties()) {
      const auto same = std::find_if(result.begin(), result.end(), [&](const TPropInfo* p) {
        return SameText(p->GetName(), info->GetName());
      });
      if (same != result.end()) {
        *same = info.get();
      } else {
        result.push_back(info.get());
      }
    }
  }
  return result;
}

std::vector<const TPropInfo*> GetPropList(const TComponent* AInstance) {
  return GetPropList(AInstance->ClassName());
}

const TPropInfo* GetPropInfo(const TComponent* AInstance, const std::string& AName) {
  for (const TPropInfo* info : GetPropList(AInstance)) {
    if (SameText(info->GetName(), AName)) return info;
  }
  return nullptr;
}

bool ClassInheritsFrom(const std::string& AClassName, const std::string& AAncestor) {
  EnsureHostClasses();
  std::string name = AClassName;
  for (int depth = 0; !name.empty() && depth < 64; ++depth) {
    if (SameText(name, AAncestor)) return true;
    const TClassProperties* classProps = FindClassProperties(name);
    if (classProps == nullptr) return false;
    name = classProps->GetParentName();
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Event handler names

std::string GetEventHandlerName(const TComponent* AInstance, const std::string& AProperty) {
  const auto* names = EventNames().Find(AInstance);
  if (names == nullptr) return {};
  const auto it = names->find(UpperCase(AProperty));
  return it == names->end() ? std::string() : it->second;
}

void SetEventHandlerName(TComponent* AInstance, const std::string& AProperty,
                         const std::string& AHandler) {
  TEventNameKeeper& keeper = EventNames();
  if (AHandler.empty()) {
    auto* names = keeper.Find(AInstance);
    if (names == nullptr) return;
    names->erase(UpperCase(AProperty));
    if (names->empty()) keeper.Forget(AInstance);
    return;
  }
  keeper.Get(AInstance)[UpperCase(AProperty)] = AHandler;
}

const std::any* TEventHandlers::Find(const std::string& AName) const {
  const auto it = FHandlers.find(UpperCase(AName));
  return it == FHandlers.end() ? nullptr : &it->second;
}

void BindEventHandlers(TComponent* ARoot, const TEventHandlers& AHandlers) {
  if (ARoot != nullptr) BindTree(ARoot, AHandlers);
}

// ---------------------------------------------------------------------------------------------
// The host's streamable classes

namespace {

template <typename T>
void RegisterFieldClass(const std::string& AClassName) {
  RegisterClass(AClassName, [](TComponent* AOwner) { return new T(AOwner); });
}

// Persistent fields, as an application defines them for a data set: the label and visibility
// the merge reads, and the formats of the field's text.
void RegisterFieldClasses() {
  RegisterProperties<TField>("TField", "TComponent")
      .Component("DataSet", "TDataSet", &TField::GetDataSet, &TField::SetDataSet)
      .String("FieldName", &TField::GetFieldName, &TField::SetFieldName)
      .String("DisplayLabel", &TField::GetDisplayLabel, &TField::SetDisplayLabel)
      .StoredIf(
          [](const TField* AField) { return AField->GetDisplayLabel() != AField->GetFieldName(); })
      .Boolean("Visible", &TField::GetVisible, &TField::SetVisible, true)
      .Boolean("Required", &TField::GetRequired, &TField::SetRequired, false);
  RegisterFieldClass<TStringField>("TStringField");
  RegisterProperties<TStringField>("TStringField", "TField")
      .Integer(
          "Size", &TField::GetSize,
          [](TStringField* AField, int AValue) { AField->SetSize(AValue); }, 20);
  RegisterFieldClass<TIntegerField>("TIntegerField");
  RegisterProperties<TIntegerField>("TIntegerField", "TField")
      .String("DisplayFormat", &TIntegerField::GetDisplayFormat, &TIntegerField::SetDisplayFormat)
      .String("EditFormat", &TIntegerField::GetEditFormat, &TIntegerField::SetEditFormat);
  for (const char* name : {"TSmallintField", "TWordField", "TAutoIncField", "TLargeintField"}) {
    RegisterClassProperties(name, "TIntegerField");
  }
  RegisterFieldClass<TSmallintField>("TSmallintField");
  RegisterFieldClass<TWordField>("TWordField");
  RegisterFieldClass<TAutoIncField>("TAutoIncField");
  RegisterFieldClass<TLargeintField>("TLargeintField");
  RegisterFieldClass<TFloatField>("TFloatField");
  RegisterProperties<TFloatField>("TFloatField", "TField")
      .String("DisplayFormat", &TFloatField::GetDisplayFormat, &TFloatField::SetDisplayFormat)
      .String("EditFormat", &TFloatField::GetEditFormat, &TFloatField::SetEditFormat)
      .Boolean("Currency", &TFloatField::GetCurrency, &TFloatField::SetCurrency, false)
      .Integer("Precision", &TFloatField::GetPrecision, &TFloatField::SetPrecision, 15);
  // A currency field has the Currency flag set by its class.
  RegisterFieldClass<TCurrencyField>("TCurrencyField");
  RegisterProperties<TCurrencyField>("TCurrencyField", "TFloatField")
      .Boolean("Currency", &TFloatField::GetCurrency, &TFloatField::SetCurrency, true);
  RegisterFieldClass<TBCDField>("TBCDField");
  RegisterProperties<TBCDField>("TBCDField", "TField")
      .String("DisplayFormat", &TBCDField::GetDisplayFormat, &TBCDField::SetDisplayFormat)
      .String("EditFormat", &TBCDField::GetEditFormat, &TBCDField::SetEditFormat)
      .Boolean("Currency", &TBCDField::GetCurrency, &TBCDField::SetCurrency, false);
  RegisterFieldClass<TBooleanField>("TBooleanField");
  RegisterProperties<TBooleanField>("TBooleanField", "TField")
      .String("DisplayValues", &TBooleanField::GetDisplayValues, &TBooleanField::SetDisplayValues);
  RegisterFieldClass<TDateTimeField>("TDateTimeField");
  RegisterProperties<TDateTimeField>("TDateTimeField", "TField")
      .String("DisplayFormat", &TDateTimeField::GetDisplayFormat, &TDateTimeField::SetDisplayFormat)
      .String("EditFormat", &TDateTimeField::GetEditFormat, &TDateTimeField::SetEditFormat);
  RegisterFieldClass<TDateField>("TDateField");
  RegisterClassProperties("TDateField", "TDateTimeField");
  RegisterFieldClass<TTimeField>("TTimeField");
  RegisterClassProperties("TTimeField", "TDateTimeField");
  RegisterFieldClass<TBlobField>("TBlobField");
  RegisterClassProperties("TBlobField", "TField");
  RegisterFieldClass<TMemoField>("TMemoField");
  RegisterClassProperties("TMemoField", "TBlobField");
  RegisterFieldClass<TGraphicField>("TGraphicField");
  RegisterClassProperties("TGraphicField", "TBlobField");
  RegisterFieldClass<TFmtMemoField>("TFmtMemoField");
  RegisterClassProperties("TFmtMemoField", "TBlobField");
}

}  // namespace

bool IsStoredComponent(const TComponent* AComponent) {
  // The fields a data set makes for itself at Open are owned by it and go at Close; the
  // persistent fields an application defines belong to the form or data module.
  const auto* field = dynamic_cast<const TField*>(AComponent);
  return field == nullptr || field->GetDataSet() == nullptr ||
         field->GetOwner() != field->GetDataSet();
}

void RegisterHostClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;

  RegisterClass("TForm", [](TComponent* AOwner) { return new TForm(AOwner); });
  RegisterClass("TDataModule", [](TComponent* AOwner) { return new TDataModule(AOwner); });

  // Name is written in the object's header line, never as a property line.
  RegisterProperties<TComponent>("TComponent", "")
      .String("Name", &TComponent::GetName, &TComponent::SetName)
      .Stored(false)
      .Integer("Tag", &TComponent::GetTag, &TComponent::SetTag, 0);
  RegisterProperties<TForm>("TForm", "TComponent");
  RegisterProperties<TDataModule>("TDataModule", "TForm");

  RegisterClass("TDataSource", [](TComponent* AOwner) { return new TDataSource(AOwner); });
  RegisterProperties<TDataSource>("TDataSource", "TComponent")
      .Component("DataSet", "TDataSet", &TDataSource::GetDataSet, &TDataSource::SetDataSet)
      .Boolean("Enabled", &TDataSource::GetEnabled, &TDataSource::SetEnabled, true);
  RegisterProperties<TDataSet>("TDataSet", "TComponent");
  RegisterFieldClasses();

  RegisterClass("TSQLiteConnection",
                [](TComponent* AOwner) { return new TSQLiteConnection(AOwner); });
  RegisterProperties<TSQLiteConnection>("TSQLiteConnection", "TComponent")
      .String("DatabaseName", &TSQLiteConnection::GetDatabaseName,
              &TSQLiteConnection::SetDatabaseName)
      .Boolean("ReadOnly", &TSQLiteConnection::GetReadOnly, &TSQLiteConnection::SetReadOnly, true)
      .Integer("BusyTimeout", &TSQLiteConnection::GetBusyTimeout,
               &TSQLiteConnection::SetBusyTimeout, 2000)
      .Boolean("Connected", &TSQLiteConnection::GetConnected,
               &TSQLiteConnection::SetStreamedConnected, false);

  // Active comes last, so that a reader that applies properties in order has the rest first.
  RegisterClass("TSQLiteQuery", [](TComponent* AOwner) { return new TSQLiteQuery(AOwner); });
  RegisterProperties<TSQLiteQuery>("TSQLiteQuery", "TDataSet")
      .Component("Connection", "TSQLiteConnection", &TSQLiteQuery::GetConnection,
                 &TSQLiteQuery::SetConnection)
      .Strings("SQL", &TSQLiteQuery::GetSQL, &TSQLiteQuery::SetSQL)
      .Component("DataSource", "TDataSource", &TSQLiteQuery::GetDataSource,
                 &TSQLiteQuery::SetDataSource)
      .Boolean("Active", &TDataSet::GetActive, &TSQLiteQuery::SetStreamedActive, false);

  // Password is never written: a form file holds a password only inside a ConnectionString
  // that its user wrote that way.
  RegisterClass("TOdbcConnection", [](TComponent* AOwner) { return new TOdbcConnection(AOwner); });
  RegisterProperties<TOdbcConnection>("TOdbcConnection", "TComponent")
      .String("ConnectionString", &TOdbcConnection::GetConnectionString,
              &TOdbcConnection::SetConnectionString)
      .Boolean("ReadOnly", &TOdbcConnection::GetReadOnly, &TOdbcConnection::SetReadOnly, true)
      .Integer("FetchRows", &TOdbcConnection::GetFetchRows, &TOdbcConnection::SetFetchRows, 1000)
      .Boolean("Connected", &TOdbcConnection::GetConnected, &TOdbcConnection::SetStreamedConnected,
               false);

  RegisterClass("TOdbcQuery", [](TComponent* AOwner) { return new TOdbcQuery(AOwner); });
  RegisterProperties<TOdbcQuery>("TOdbcQuery", "TDataSet")
      .Component("Connection", "TOdbcConnection", &TOdbcQuery::GetConnection,
                 &TOdbcQuery::SetConnection)
      .Strings("SQL", &TOdbcQuery::GetSQL, &TOdbcQuery::SetSQL)
      .Component("DataSource", "TDataSource", &TOdbcQuery::GetDataSource,
                 &TOdbcQuery::SetDataSource)
      .Boolean("Active", &TDataSet::GetActive, &TOdbcQuery::SetStreamedActive, false);

  RegisterClass("TCsvDataSet", [](TComponent* AOwner) { return new TCsvDataSet(AOwner); });
  RegisterProperties<TCsvDataSet>("TCsvDataSet", "TDataSet")
      .String("FileName", &TCsvDataSet::GetFileName, &TCsvDataSet::SetFileName)
      .Char("Delimiter", &TCsvDataSet::GetDelimiter, &TCsvDataSet::SetDelimiter, '\0')
      .Strings("FieldTypes", &TCsvDataSet::GetFieldTypes, &TCsvDataSet::SetFieldTypes)
      .Boolean("InferTypes", &TCsvDataSet::GetInferTypes, &TCsvDataSet::SetInferTypes, false)
      .Component("MasterSource", "TDataSource", &TCsvDataSet::GetMasterSource,
                 &TCsvDataSet::SetMasterSource)
      .String("MasterFields", &TCsvDataSet::GetMasterFields, &TCsvDataSet::SetMasterFields)
      .Boolean("Active", &TDataSet::GetActive, &TCsvDataSet::SetStreamedActive, false);
}

}  // namespace host
