#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/automation/Variant.h"

namespace {

using namespace automation;

// A dispatch whose default member answers with a fixed value and which counts its calls.
class TValueObject : public TDispatch {
 public:
  explicit TValueObject(OleVariant AValue, int* ACalls = nullptr, bool* AFreed = nullptr)
      : FValue(std::move(AValue)), FCalls(ACalls), FFreed(AFreed) {}
  ~TValueObject() override {
    if (FFreed != nullptr) *FFreed = true;
  }
  OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) override {
    if (FCalls != nullptr) ++*FCalls;
    if (AName.empty() && AKind == dkPropertyGet) return FValue;
    if (AName == "Double") {
      // Writes twice the first argument back, as a by-reference out parameter.
      AArgs.at(0).SetValue(AArgs.at(0).GetValue().ToInteger() * 2);
      return OleVariant();
    }
    if (AName == "Self") return OleVariant(this);
    if (AName == "Convert") throw host::EConvertError("'x' is not a valid integer value");
    if (AName == "Abort") host::Abort();
    if (AName == "Std") throw std::out_of_range("vector::at");
    if (AName == "Ole") throw EOleException("WordBasic Err=1078 Gone", 0x80020009u, "Word");
    OleError(oecUnknownName, AName);
  }

 private:
  OleVariant FValue;
  int* FCalls;
  bool* FFreed;
};

TEST(VariantTest, ConversionsFollowThePlatformRules) {
  struct TRow {
    OleVariant Value;
    std::string Text;
    std::int32_t Integer;
    bool Boolean;
  };
  const std::vector<TRow> rows = {
      {OleVariant(), "", 0, false},           {OleVariant(42), "42", 42, true},
      {OleVariant(-7), "-7", -7, true},       {OleVariant(true), "True", -1, true},
      {OleVariant(false), "False", 0, false}, {OleVariant(2.5), "2.5", 2, true},  // half to even
      {OleVariant(3.5), "3.5", 4, true},      {OleVariant(-2.5), "-2.5", -2, true},
      {OleVariant("17"), "17", 17, true},     {OleVariant(" 0 "), " 0 ", 0, false},
      {OleVariant("true"), "true", 0, true},  {OleVariant("2.5"), "2.5", 2, true},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text + " of type " + VarTypeName(row.Value.GetVarType()));
    EXPECT_EQ(row.Value.ToString(), row.Text);
    EXPECT_EQ(row.Value.ToBoolean(), row.Boolean);
    if (row.Value.GetVarType() == vtString && row.Text == "true") continue;
    EXPECT_EQ(row.Value.ToInteger(), row.Integer);
  }
}

TEST(VariantTest, FailedConversionsNameBothTypes) {
  struct TRow {
    OleVariant Value;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {OleVariant::Null(), "Could not convert variant of type (Null) into type (Integer)"},
      {OleVariant("abc"), "Could not convert variant of type (String) into type (Integer)"},
      {OleVariant(3e9), "Overflow while converting variant of type (Double) into type (Integer)"},
      {OleVariant("-3000000000"),
       "Overflow while converting variant of type (String) into type (Integer)"},
      {OleVariant(std::nan("")),
       "Overflow while converting variant of type (Double) into type (Integer)"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Message);
    try {
      row.Value.ToInteger();
      ADD_FAILURE() << "no error";
    } catch (const EOleSysError& E) {
      EXPECT_EQ(E.GetMessage(), row.Message);
    }
  }
  EXPECT_THROW(OleVariant::Null().ToString(), EOleSysError);
  EXPECT_THROW(OleVariant("maybe").ToBoolean(), EOleSysError);
}

TEST(VariantTest, ObjectsConvertThroughTheirDefaultMember) {
  const OleVariant count(std::make_unique<TValueObject>(OleVariant(3)));
  EXPECT_EQ(count.ToInteger(), 3);
  EXPECT_EQ(count.ToString(), "3");
  EXPECT_TRUE(count == 3);

  // An object without a default member cannot convert.
  const OleVariant plain(std::make_unique<TValueObject>(OleVariant()));
  const OleVariant inner = plain.Call("Self");
  EXPECT_EQ(inner.GetDispatch(), plain.GetDispatch());
  const OleVariant nested(std::make_unique<TValueObject>(plain));
  EXPECT_THROW(nested.ToString(), EOleSysError);
}

TEST(VariantTest, ComparesAsNumbersStringsAndNull) {
  struct TRow {
    OleVariant Left;
    OleVariant Right;
    bool Equal;
    bool Less;
  };
  const std::vector<TRow> rows = {
      {OleVariant(3), OleVariant(3), true, false},
      {OleVariant(3), OleVariant(4), false, true},
      {OleVariant(true), OleVariant(-1), true, false},  // true reads as -1
      {OleVariant(true), OleVariant(1), false, true},
      {OleVariant("10"), OleVariant(9), false, false},   // parsed: 10 > 9
      {OleVariant("10"), OleVariant("9"), false, true},  // two strings compare as text
      {OleVariant(), OleVariant(0), true, false},
      {OleVariant(), OleVariant(""), true, false},
      {OleVariant(2.0), OleVariant(2), true, false},
      {OleVariant::Null(), OleVariant::Null(), false, false},
      {OleVariant::Null(), OleVariant(0), false, false},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows.data()));
    EXPECT_EQ(row.Left == row.Right, row.Equal);
    EXPECT_EQ(row.Left < row.Right, row.Less);
  }
  EXPECT_TRUE(OleVariant(5) > 4);
  EXPECT_TRUE(-1 == OleVariant(true));
  EXPECT_THROW((void)(OleVariant("abc") == 1), EOleSysError);
}

TEST(VariantTest, ByReferenceArgumentsWriteIntoTheCallersVariable) {
  const OleVariant object(std::make_unique<TValueObject>(OleVariant()));
  OleVariant index = 21;
  object.Call("Double", {OleRef(index)});
  EXPECT_EQ(index.ToInteger(), 42);

  OleVariant named = 5;
  object.Call("Double", {OleNamedRef("Value", named)});
  EXPECT_EQ(named.ToInteger(), 10);

  // A value argument keeps the caller's variable.
  OleVariant value = 4;
  object.Call("Double", {OleArg(value)});
  EXPECT_EQ(value.ToInteger(), 4);
  // A caller's own argument vector sees the write of a ByRef() value.
  TOleArgs args{OleArg(8).ByRef()};
  object.Invoke("Double", dkMethod, args);
  EXPECT_EQ(args[0].GetValue().ToInteger(), 16);
  EXPECT_TRUE(args[0].GetByRef());
}

TEST(VariantTest, AWriteBackIntoTheCalledVariableKeepsTheObjectAliveForTheCall) {
  bool freed = false;
  OleVariant object(std::make_unique<TValueObject>(OleVariant(), nullptr, &freed));
  object.Call("Double", {OleRef(object)});  // the callee replaces the variable with 0
  EXPECT_TRUE(freed);
  EXPECT_EQ(object.GetVarType(), vtInteger);
}

TEST(VariantTest, ReleasingSendsNothingAndFreesOnTheLastReference) {
  int calls = 0;
  bool freed = false;
  OleVariant first(std::make_unique<TValueObject>(OleVariant(), &calls, &freed));
  OleVariant second = first;
  EXPECT_EQ(first.GetDispatch()->GetRefCount(), 2);
  first = OleVariant();
  EXPECT_FALSE(freed);
  second.Clear();
  EXPECT_TRUE(freed);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(second.IsEmpty());
}

TEST(VariantTest, ServerFailuresArriveAsAutomationErrorsWithTheServersText) {
  const OleVariant object(std::make_unique<TValueObject>(OleVariant()));
  struct TRow {
    std::string Member;
    std::string Message;
    std::string ClassName;
  };
  const std::vector<TRow> rows = {
      {"Convert", "'x' is not a valid integer value", "EOleException"},
      {"Abort", "Operation aborted", "EOleException"},  // never a silent abort
      {"Std", "vector::at", "EOleException"},
      {"Ole", "WordBasic Err=1078 Gone", "EOleException"},
      {"Nope", "Unknown name. (Nope)", "EOleSysError"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Member);
    try {
      object.Call(row.Member);
      ADD_FAILURE() << "no error";
    } catch (const EOleError& E) {
      EXPECT_EQ(E.GetMessage(), row.Message);
      EXPECT_EQ(OleErrorClassName(E), row.ClassName);
    }
  }
}

TEST(VariantTest, CallingThroughAValueIsAnAutomationError) {
  try {
    OleVariant(3).Call("Name");
    FAIL() << "no error";
  } catch (const EOleError& E) {
    EXPECT_EQ(E.GetMessage(), "Variant does not reference an automation object (Name)");
  }
  EXPECT_THROW(OleVariant().Put("Visible", true), EOleError);
}

}  // namespace
