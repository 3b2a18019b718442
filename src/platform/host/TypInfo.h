#pragma once

// Published properties: for each streamable class, the list of its properties with their kind,
// type name, getter, setter, stream default and stored rule, and the event handler names that the
// form-file reader keeps for the program to bind. The form files (FormFiles.h) read and write
// components through this registry and nothing else.
//
// A class registers its own properties once, with a small builder over lambdas or member
// functions; it inherits those of the parent class it names:
//
//   RegisterProperties<TSQLiteQuery>("TSQLiteQuery", "TDataSet")
//       .Component("Connection", "TSQLiteConnection", &TSQLiteQuery::GetConnection,
//                  &TSQLiteQuery::SetConnection)
//       .Strings("SQL", &TSQLiteQuery::GetSQL, &TSQLiteQuery::SetSQL)
//       .Boolean("UniDirectional", &TSQLiteQuery::GetUniDirectional,
//                &TSQLiteQuery::SetUniDirectional, false);

#include <any>
#include <bitset>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/host/Classes.h"

namespace host {

// What a property holds, and so how the form files spell its value.
enum TPropKind : std::uint8_t {
  pkInteger = 0,      // a whole number: 42, -7
  pkBoolean = 1,      // True, False
  pkChar = 2,         // one ASCII character: '_'
  pkString = 3,       // a quoted text: 'Orders.db'
  pkEnumeration = 4,  // one of the type's names: wbdEnglish
  pkSet = 5,          // some of the type's names: [fsBold, fsItalic]
  pkStrings = 6,      // a string list: SQL.Strings = ('SELECT *' 'FROM t')
  pkComponent = 7,    // a reference to another component by name, or nil
  pkEvent = 8,        // the name of the handler, bound later by the program
};

// A property's value in a kind-neutral form: integers, Booleans (0/1), characters (their code),
// enumerations (the ordinal) and sets (bit i for ordinal i) are ordinals; strings and event
// handler names are text; string lists are their lines; references are the component or null.
using TPropValue = std::variant<std::int64_t, std::string, std::vector<std::string>, TComponent*>;

// A value that a property refuses (out of range, wrong component class, unknown handler).
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

// One published property of a class. Made by the builder below; handed out as const pointers
// that live as long as the process.
class TPropInfo {
 public:
  using TGetter = std::function<TPropValue(const TComponent* AInstance)>;
  using TSetter = std::function<void(TComponent* AInstance, const TPropValue& AValue)>;
  using TStoredFunc = std::function<bool(const TComponent* AInstance)>;
  // Checks that a component may be referenced (pkComponent) or that a handler fits (pkEvent).
  using TAcceptFunc = std::function<bool(const TComponent* AValue)>;
  using TBindFunc = std::function<void(TComponent* AInstance, const std::any& AHandler)>;

  TPropInfo(std::string AName, TPropKind AKind, std::string ATypeName);

  const std::string& GetName() const { return FName; }
  TPropKind GetKind() const { return FKind; }
  // The declared type: "Integer", "Boolean", "Char", "string", "TStrings", the enumeration's or
  // set's type name, the referenced class ("TDataSet") or the event type ("TNotifyEvent").
  const std::string& GetTypeName() const { return FTypeName; }
  // The names of an enumeration's values (or of a set's elements) by ordinal.
  const std::vector<std::string>& GetEnumNames() const { return FEnumNames; }
  // The ordinal of a name, compared without regard to case; -1 when it is not one.
  int EnumOrdinal(const std::string& AName) const;

  // The current value. An event's value is its handler name (EventHandlerName).
  TPropValue GetValue(const TComponent* AInstance) const;
  // Stores a value. Raises EPropertyError for a value of the wrong shape, an ordinal out of the
  // type's range, a component the property does not accept, or a read-only property; errors of
  // the component's own setter pass through unchanged.
  void SetValue(TComponent* AInstance, const TPropValue& AValue) const;
  // Whether the property can be written (it has a setter, or it is an event).
  bool GetWritable() const { return FKind == pkEvent || static_cast<bool>(FSetter); }

  // The stream default; none for properties that are always stored ("nodefault"). Strings,
  // string lists, references and events are empty by default, and so is a set without one.
  const std::optional<TPropValue>& GetDefault() const { return FDefault; }
  // True when the value equals the stream default, so that the form file leaves it out.
  bool IsDefault(const TComponent* AInstance) const;
  // The property's stored rule alone: false for a property that is never written (Version).
  bool IsStoredProp(const TComponent* AInstance) const;
  // Whether the form file writes the property: its stored rule says so and the value is not the
  // default.
  bool IsStored(const TComponent* AInstance) const;
  // True when a component of that class is an acceptable reference (pkComponent only).
  bool Accepts(const TComponent* AValue) const;
  // Gives the program's handler to the component (pkEvent only); raises EPropertyError when the
  // handler is not of the event's type.
  void Bind(TComponent* AInstance, const std::any& AHandler) const;

 private:
  template <typename T>
  friend class TPropertyBuilder;

  std::string FName;
  TPropKind FKind;
  std::string FTypeName;
  std::vector<std::string> FEnumNames;
  TGetter FGetter;
  TSetter FSetter;
  std::optional<TPropValue> FDefault;
  TStoredFunc FStored;  // empty: stored
  TAcceptFunc FAccept;
  TBindFunc FBind;
  std::int64_t FMinValue = std::numeric_limits<std::int64_t>::min();
  std::int64_t FMaxValue = std::numeric_limits<std::int64_t>::max();
};

// The published properties of one class; ancestors' properties come first, in their order, and a
// class that registers a property of an ancestor's name replaces it in place.
class TClassProperties {
 public:
  TClassProperties(std::string AClassName, std::string AParentName);

  const std::string& GetClassName() const { return FClassName; }
  const std::string& GetParentName() const { return FParentName; }
  // The class's own properties, in registration order.
  const std::vector<std::unique_ptr<TPropInfo>>& GetOwnProperties() const { return FProperties; }
  TPropInfo* Add(std::unique_ptr<TPropInfo> AProperty);

 private:
  std::string FClassName;
  std::string FParentName;
  std::vector<std::unique_ptr<TPropInfo>> FProperties;
};

// The type a getter G of class T returns, without reference or const.
template <typename T, typename G>
using TGetterValue = std::decay_t<std::invoke_result_t<G, const T*>>;

// Builds one class's property list. Every adder takes the published name, a getter and a setter;
// getters and setters are member functions or lambdas over the class (const T* and T*). The
// default, where an adder takes one, is the stream default: a property holding it is not written.
template <typename T>
class TPropertyBuilder {
 public:
  explicit TPropertyBuilder(TClassProperties* AClass) : FClass(AClass) {}

  // A whole number of any integral type; values outside the type's range are refused.
  template <typename G, typename S>
  TPropertyBuilder& Integer(const std::string& AName, G AGetter, S ASetter,
                            std::optional<std::int64_t> ADefault = std::nullopt) {
    using V = TGetterValue<T, G>;
    static_assert(std::is_integral_v<V>, "an Integer property reads an integral type");
    auto* info = Add(AName, pkInteger, "Integer", AGetter, ASetter);
    info->FMinValue = static_cast<std::int64_t>(std::numeric_limits<V>::min());
    info->FMaxValue =
        std::cmp_greater(std::numeric_limits<V>::max(), std::numeric_limits<std::int64_t>::max())
            ? std::numeric_limits<std::int64_t>::max()
            : static_cast<std::int64_t>(std::numeric_limits<V>::max());
    if (ADefault) info->FDefault = *ADefault;
    return *this;
  }

  template <typename G, typename S>
  TPropertyBuilder& Boolean(const std::string& AName, G AGetter, S ASetter,
                            std::optional<bool> ADefault = std::nullopt) {
    auto* info = Add(AName, pkBoolean, "Boolean", AGetter, ASetter);
    info->FMinValue = 0;
    info->FMaxValue = 1;
    if (ADefault) info->FDefault = std::int64_t{*ADefault ? 1 : 0};
    return *this;
  }

  // One ASCII character, as the separators are.
  template <typename G, typename S>
  TPropertyBuilder& Char(const std::string& AName, G AGetter, S ASetter,
                         std::optional<char> ADefault = std::nullopt) {
    auto* info = Add(AName, pkChar, "Char", AGetter, ASetter);
    info->FMinValue = 0;
    info->FMaxValue = 127;
    if (ADefault) info->FDefault = std::int64_t{static_cast<unsigned char>(*ADefault)};
    return *this;
  }

  template <typename G, typename S>
  TPropertyBuilder& String(const std::string& AName, G AGetter, S ASetter) {
    auto* info = MakeInfo(AName, pkString, "string");
    info->FGetter = [AGetter](const TComponent* AInstance) -> TPropValue {
      return std::string(std::invoke(AGetter, static_cast<const T*>(AInstance)));
    };
    info->FSetter = MakeTextSetter(ASetter);
    return *this;
  }

  // An enumeration; ANames lists its values by ordinal.
  template <typename G, typename S>
  TPropertyBuilder& Enumeration(const std::string& AName, const std::string& ATypeName,
                                const std::vector<std::string>& ANames, G AGetter, S ASetter,
                                std::optional<TGetterValue<T, G>> ADefault = std::nullopt) {
    auto* info = Add(AName, pkEnumeration, ATypeName, AGetter, ASetter);
    info->FMinValue = 0;
    info->FMaxValue = static_cast<std::int64_t>(ANames.size()) - 1;
    info->FEnumNames = ANames;
    if (ADefault) info->FDefault = static_cast<std::int64_t>(*ADefault);
    return *this;
  }

  // A set over an enumeration, held as a std::bitset over the ordinals (at most 63 elements).
  template <typename G, typename S>
  TPropertyBuilder& Set(const std::string& AName, const std::string& ATypeName,
                        const std::vector<std::string>& ANames, G AGetter, S ASetter,
                        std::optional<TGetterValue<T, G>> ADefault = std::nullopt) {
    using V = TGetterValue<T, G>;
    auto* info = MakeInfo(AName, pkSet, ATypeName);
    info->FGetter = [AGetter](const TComponent* AInstance) -> TPropValue {
      return static_cast<std::int64_t>(
          std::invoke(AGetter, static_cast<const T*>(AInstance)).to_ullong());
    };
    info->FSetter = [ASetter](TComponent* AInstance, const TPropValue& AValue) {
      std::invoke(ASetter, static_cast<T*>(AInstance),
                  V(static_cast<unsigned long long>(std::get<std::int64_t>(AValue))));
    };
    info->FMinValue = 0;
    info->FMaxValue = (std::int64_t{1} << ANames.size()) - 1;
    info->FEnumNames = ANames;
    if (ADefault) info->FDefault = static_cast<std::int64_t>(ADefault->to_ullong());
    return *this;
  }

  // A string list. The getter returns the component's list; the setter copies the lines of the
  // list it is given (the host's Assign).
  template <typename G, typename S>
  TPropertyBuilder& Strings(const std::string& AName, G AGetter, S ASetter) {
    auto* info = MakeInfo(AName, pkStrings, "TStrings");
    info->FGetter = [AGetter](const TComponent* AInstance) -> TPropValue {
      const TStringList* list = std::invoke(AGetter, static_cast<const T*>(AInstance));
      return list == nullptr ? std::vector<std::string>() : list->GetLines();
    };
    info->FSetter = [ASetter](TComponent* AInstance, const TPropValue& AValue) {
      TStringList lines;
      for (const std::string& line : std::get<std::vector<std::string>>(AValue)) lines.Add(line);
      std::invoke(ASetter, static_cast<T*>(AInstance), &lines);
    };
    return *this;
  }

  // A reference to a component of the getter's class (ATypeName names it for messages); null is
  // the default and is never written.
  template <typename G, typename S>
  TPropertyBuilder& Component(const std::string& AName, const std::string& ATypeName, G AGetter,
                              S ASetter) {
    using C = std::remove_cv_t<std::remove_pointer_t<TGetterValue<T, G>>>;
    auto* info = MakeInfo(AName, pkComponent, ATypeName);
    info->FGetter = [AGetter](const TComponent* AInstance) -> TPropValue {
      return static_cast<TComponent*>(
          const_cast<C*>(std::invoke(AGetter, static_cast<const T*>(AInstance))));
    };
    info->FSetter = [ASetter](TComponent* AInstance, const TPropValue& AValue) {
      std::invoke(ASetter, static_cast<T*>(AInstance),
                  dynamic_cast<C*>(std::get<TComponent*>(AValue)));
    };
    info->FAccept = [](const TComponent* AValue) {
      return AValue == nullptr || dynamic_cast<const C*>(AValue) != nullptr;
    };
    return *this;
  }

  // An event of type E (a std::function). The form file keeps only the handler's name;
  // BindEventHandlers later gives the component the handler of that name through ASetter.
  template <typename E, typename S>
  TPropertyBuilder& Event(const std::string& AName, const std::string& ATypeName, S ASetter) {
    auto* info = MakeInfo(AName, pkEvent, ATypeName);
    info->FBind = [ASetter](TComponent* AInstance, const std::any& AHandler) {
      const E* handler = std::any_cast<E>(&AHandler);
      if (handler == nullptr) throw EPropertyError("the handler is not of the event's type");
      std::invoke(ASetter, static_cast<T*>(AInstance), *handler);
    };
    return *this;
  }

  // Changes the stored rule of the property added last: false means never written (Version).
  TPropertyBuilder& Stored(bool AValue) {
    FLast->FStored = [AValue](const TComponent*) { return AValue; };
    return *this;
  }
  // Changes the stored rule of the property added last to a test of the instance.
  TPropertyBuilder& StoredIf(std::function<bool(const T*)> AFunc) {
    FLast->FStored = [AFunc](const TComponent* AInstance) {
      return AFunc(static_cast<const T*>(AInstance));
    };
    return *this;
  }

 private:
  TPropInfo* MakeInfo(const std::string& AName, TPropKind AKind, const std::string& ATypeName) {
    FLast = FClass->Add(std::make_unique<TPropInfo>(AName, AKind, ATypeName));
    return FLast;
  }

  // The ordinal kinds: the getter's value converts to an int64, and back by static_cast.
  template <typename G, typename S>
  TPropInfo* Add(const std::string& AName, TPropKind AKind, const std::string& ATypeName, G AGetter,
                 S ASetter) {
    using V = TGetterValue<T, G>;
    auto* info = MakeInfo(AName, AKind, ATypeName);
    info->FGetter = [AGetter](const TComponent* AInstance) -> TPropValue {
      return static_cast<std::int64_t>(std::invoke(AGetter, static_cast<const T*>(AInstance)));
    };
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      info->FSetter = [ASetter](TComponent* AInstance, const TPropValue& AValue) {
        std::invoke(ASetter, static_cast<T*>(AInstance),
                    static_cast<V>(std::get<std::int64_t>(AValue)));
      };
    }
    return info;
  }

  template <typename S>
  static TPropInfo::TSetter MakeTextSetter(S ASetter) {
    if constexpr (std::is_same_v<S, std::nullptr_t>) {
      return {};
    } else {
      return [ASetter](TComponent* AInstance, const TPropValue& AValue) {
        std::invoke(ASetter, static_cast<T*>(AInstance), std::get<std::string>(AValue));
      };
    }
  }

  TClassProperties* FClass;
  TPropInfo* FLast = nullptr;
};

// Starts (or continues) the property list of a class; AParentName is the class whose properties
// it inherits ("" only for TComponent itself). Registering a class again adds to its list.
TClassProperties* RegisterClassProperties(const std::string& AClassName,
                                          const std::string& AParentName);

template <typename T>
TPropertyBuilder<T> RegisterProperties(const std::string& AClassName,
                                       const std::string& AParentName) {
  return TPropertyBuilder<T>(RegisterClassProperties(AClassName, AParentName));
}

// Whether properties are registered for that class name (case-insensitive).
bool HasClassProperties(const std::string& AClassName);
// The full property list of a class, ancestors first; raises EPropertyError "No published
// properties are registered for class %s" for an unregistered class or an unknown ancestor.
std::vector<const TPropInfo*> GetPropList(const std::string& AClassName);
std::vector<const TPropInfo*> GetPropList(const TComponent* AInstance);
// The property of that name (case-insensitive), nullptr when the class has none.
const TPropInfo* GetPropInfo(const TComponent* AInstance, const std::string& AName);
// Whether AClassName is AAncestor or descends from it through the registered parents.
bool ClassInheritsFrom(const std::string& AClassName, const std::string& AAncestor);

// ---------------------------------------------------------------------------------------------
// Event handler names. A form file names handlers; the program binds them once it has read it.

// The handler name kept for an event of a component; empty when there is none. The names are
// forgotten when the component is destroyed.
std::string GetEventHandlerName(const TComponent* AInstance, const std::string& AProperty);
// Keeps (or, with an empty name, forgets) the handler name of an event.
void SetEventHandlerName(TComponent* AInstance, const std::string& AProperty,
                         const std::string& AHandler);

// The program's handlers by name, each a std::function of its event's type.
class TEventHandlers {
 public:
  template <typename E>
  void Add(const std::string& AName, E AHandler) {
    FHandlers[UpperCase(AName)] = std::move(AHandler);
  }
  // The handler of that name (case-insensitive), nullptr when there is none.
  const std::any* Find(const std::string& AName) const;

 private:
  std::map<std::string, std::any> FHandlers;
};

// Gives every component in ARoot's tree (ARoot included) the handlers its event names refer to.
// Raises EPropertyError naming the component, the event and the handler when a name is not in
// AHandlers or its handler is of another type; the events bound before stay bound.
void BindEventHandlers(TComponent* ARoot, const TEventHandlers& AHandlers);

// Whether the form files write a component at all: false for the fields a data set makes for
// itself when it opens (owned by the data set), true for everything else.
bool IsStoredComponent(const TComponent* AComponent);

// Registers, once, the host's own streamable classes: their creation through the class registry
// and their published properties (TComponent, TForm, TDataModule, TDataSource, the SQLite
// connection and query, the CSV data set, the persistent field classes). The registry calls it
// on first use.
void RegisterHostClasses();

}  // namespace host
