#include <gtest/gtest.h>

#include <functional>

#include "platform/automation/AutoObject.h"

namespace {

using namespace automation;

// A small object with members of each shape: method with parameters, read/write property,
// write-only property, by-reference output.
class TDocuments : public TAutoObject {
 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TDocuments>({
        {"Open", &TDocuments::Open, {"FileName", "ConfirmConversions", "ReadOnly"}},
        {"Count", &TDocuments::Count},
        {"Visible", &TDocuments::GetVisible, &TDocuments::SetVisible},
        {"Secret", nullptr, &TDocuments::SetSecret},
        {"Item", &TDocuments::Item, &TDocuments::SetItem, {"Index"}},
        {"Measure", &TDocuments::Measure, {"Text", "Length"}},
    });
    return table;
  }

 private:
  OleVariant Open(TAutoCall& ACall) {
    return ACall.GetString(0) + (ACall.GetBoolean(2, false) ? " read-only" : " writable");
  }
  OleVariant Count(TAutoCall&) { return 2; }
  OleVariant GetVisible(TAutoCall&) { return FVisible; }
  void SetVisible(TAutoCall& ACall) { FVisible = ACall.GetValueBoolean(); }
  void SetSecret(TAutoCall& ACall) { FSecret = ACall.GetValueString(); }
  OleVariant Item(TAutoCall& ACall) { return "item " + std::to_string(ACall.GetInteger(0)); }
  void SetItem(TAutoCall& ACall) { FSecret = ACall.GetString(0) + "=" + ACall.GetValueString(); }
  OleVariant Measure(TAutoCall& ACall) {
    ACall.SetRef(1, static_cast<int>(ACall.GetString(0).size()));
    return OleVariant();
  }

 public:
  bool FVisible = false;
  std::string FSecret;
};

// A descendant adds a member and replaces one of its parent's.
class TMoreDocuments : public TDocuments {
 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TMoreDocuments>(
        {
            {"Count", &TMoreDocuments::Count},
            {"Close", &TMoreDocuments::Close},
        },
        &TDocuments::GetMemberTable());
    return table;
  }

 private:
  OleVariant Count(TAutoCall&) { return 5; }
  OleVariant Close(TAutoCall&) { return "closed"; }
};

std::string ErrorOf(const std::function<void()>& ACall) {
  try {
    ACall();
  } catch (const EOleError& E) {
    return E.GetMessage();
  }
  return "no error";
}

TEST(AutoObjectTest, BindsPositionalAndNamedArgumentsToTheDeclaredParameters) {
  const OleVariant documents(std::make_unique<TDocuments>());
  struct TRow {
    std::string Name;
    std::vector<TOleArg> Args;
    std::string Result;
  };
  const std::vector<TRow> rows = {
      {"Open", {"a.docx"}, "a.docx writable"},
      {"Open", {"a.docx", false, true}, "a.docx read-only"},
      {"open", {OleNamed("FileName", "b.docx"), OleNamed("ReadOnly", true)}, "b.docx read-only"},
      {"OPEN", {"c.docx", OleNamed("readonly", -1)}, "c.docx read-only"},
      {"Open", {OleNamed("READONLY", 0), OleNamed("filename", "d.docx")}, "d.docx writable"},
      {"Item", {3}, "item 3"},
      {"iTeM", {"4"}, "item 4"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name + " " + row.Result);
    TOleArgs args = row.Args;
    EXPECT_EQ(documents.Invoke(row.Name, dkMethod, args).ToString(), row.Result);
    args = row.Args;
    EXPECT_EQ(documents.Invoke(row.Name, dkPropertyGet, args).ToString(), row.Result);
  }
}

TEST(AutoObjectTest, WrongCallsRaiseThePlatformsErrorsNamingTheMember) {
  const OleVariant documents(std::make_unique<TDocuments>());
  struct TRow {
    std::function<void()> Call;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {[&] { documents.Call("Frobnicate"); }, "Unknown name. (Frobnicate)"},
      {[&] { documents.Call("Open"); }, "Parameter not found. (Open, argument FileName)"},
      {[&] {
         documents.Call("Open", {"a", 1, 2, 3});
       },
       "Wrong number of arguments or invalid property assignment (Open)"},
      {[&] { documents.Call("Count", {1}); },
       "Wrong number of arguments or invalid property assignment (Count)"},
      {[&] {
         documents.Call("Open", {"a", OleNamed("FileName", "b")});
       },
       "Wrong number of arguments or invalid property assignment (Open, argument FileName)"},
      {[&] { documents.Call("Open", {OleNamed("Path", "a")}); },
       "Unknown name. (Open, argument Path)"},
      {[&] {
         documents.Call("Open", {"a", OleNamed("ReadOnly", "perhaps")});
       },
       "Type mismatch. (Open, argument ReadOnly)"},
      {[&] { documents.Call("Item", {5e10}); }, "Overflow. (Item, argument Index)"},
      {[&] { documents.Call("Open", {OleVariant::Null()}); },
       "Type mismatch. (Open, argument FileName)"},
      {[&] { documents.Put("Count", 3); }, "Member not found. (Count)"},
      {[&] { documents.Call("Secret"); }, "Member not found. (Secret)"},
      {[&] { documents.Put("Visible", "sometimes"); }, "Type mismatch. (Visible)"},
      {[&] {
         TOleArgs none;
         documents.Invoke("Visible", dkPropertyPut, none);
       },
       "Wrong number of arguments or invalid property assignment (Visible)"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Message);
    EXPECT_EQ(ErrorOf(row.Call), row.Message);
  }
}

TEST(AutoObjectTest, PropertyWritesTakeTheLastArgumentAsTheValue) {
  auto owned = std::make_unique<TDocuments>();
  TDocuments* documents = owned.get();
  const OleVariant object(std::move(owned));
  object.Put("visible", true);
  EXPECT_TRUE(documents->FVisible);
  EXPECT_TRUE(object.Get("Visible").ToBoolean());
  object.Put("Secret", 12);
  EXPECT_EQ(documents->FSecret, "12");
  object.Put("Item", {"k"}, "v");
  EXPECT_EQ(documents->FSecret, "k=v");
}

TEST(AutoObjectTest, HandlersWriteOnlyIntoByReferenceArguments) {
  const OleVariant documents(std::make_unique<TDocuments>());
  OleVariant length = 0;
  documents.Call("Measure", {"hello", OleRef(length)});
  EXPECT_EQ(length.ToInteger(), 5);
  OleVariant kept = 0;
  documents.Call("Measure", {"hello", OleNamed("Length", kept)});
  EXPECT_EQ(kept.ToInteger(), 0);
}

TEST(AutoObjectTest, ADescendantsTableExtendsAndOverridesItsParents) {
  const OleVariant documents(std::make_unique<TMoreDocuments>());
  EXPECT_EQ(documents.Call("Count").ToInteger(), 5);
  EXPECT_EQ(documents.Call("close").ToString(), "closed");
  EXPECT_EQ(documents.Call("Open", {"x"}).ToString(), "x writable");
}

TEST(AutoObjectTest, LookupFindsEveryMemberOfALargeTableInAnyCase) {
  std::vector<TAutoMember> members;
  for (int i = 0; i < 300; ++i) members.push_back({"Member" + std::to_string(i), {}, {}, {}});
  const TAutoMemberTable table(std::move(members));
  for (int i = 0; i < 300; ++i) {
    const std::string upper = "MEMBER" + std::to_string(i);
    const TAutoMember* member = table.Find(upper);
    ASSERT_NE(member, nullptr) << upper;
    EXPECT_EQ(member->Name, "Member" + std::to_string(i));
  }
  EXPECT_EQ(table.Find("Member300"), nullptr);
  EXPECT_EQ(table.Find(""), nullptr);
  EXPECT_EQ(TAutoMemberTable({}).Find("x"), nullptr);
}

// A bound name answers exactly as the name does, on the first call (which binds it) and on
// later ones (which use the binding), results and errors alike.
TEST(AutoObjectTest, BoundCallsAnswerAsCallsByName) {
  const OleVariant documents(std::make_unique<TDocuments>());
  struct TRow {
    std::string Name;
    std::function<OleVariant(const OleVariant&, const std::string&)> ByName;
    std::function<OleVariant(const OleVariant&, const TOleName&)> Bound;
  };
  const std::vector<TRow> rows = {
      {"Count", [](auto& AObject, auto& AName) { return AObject.Call(AName); },
       [](auto& AObject, auto& AName) { return AObject.Call(AName); }},
      {"open",
       [](auto& AObject, auto& AName) {
         return AObject.Call(AName, {"a", OleNamed("ReadOnly", true)});
       },
       [](auto& AObject, auto& AName) {
         return AObject.Call(AName, {"a", OleNamed("ReadOnly", true)});
       }},
      {"Item", [](auto& AObject, auto& AName) { return AObject.Call(AName, {7}); },
       [](auto& AObject, auto& AName) { return AObject.Call(AName, OleArg(7)); }},
      {"Frobnicate", [](auto& AObject, auto& AName) { return AObject.Call(AName); },
       [](auto& AObject, auto& AName) { return AObject.Call(AName); }},
      {"Open",
       [](auto& AObject, auto& AName) { return AObject.Call(AName, {OleNamed("Path", "a")}); },
       [](auto& AObject, auto& AName) { return AObject.Call(AName, OleNamed("Path", "a")); }},
      {"Secret", [](auto& AObject, auto& AName) { return AObject.Call(AName); },
       [](auto& AObject, auto& AName) { return AObject.Call(AName); }},
      {"Count",
       [](auto& AObject, auto& AName) {
         AObject.Put(AName, 3);
         return OleVariant();
       },
       [](auto& AObject, auto& AName) {
         AObject.Put(AName, 3);
         return OleVariant();
       }},
      {"Visible",
       [](auto& AObject, auto& AName) {
         AObject.Put(AName, true);
         return AObject.Get(AName);
       },
       [](auto& AObject, auto& AName) {
         AObject.Put(AName, true);
         return AObject.Invoke(AName, dkPropertyGet);
       }},
  };
  const auto answer = [](const std::function<OleVariant()>& ACall) {
    try {
      return "-> " + ACall().ToString();
    } catch (const EOleError& E) {
      return "!! " + std::string(OleErrorClassName(E)) + ": " + E.GetMessage();
    }
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string expected = answer([&] { return row.ByName(documents, row.Name); });
    const TOleName name(row.Name);
    EXPECT_EQ(answer([&] { return row.Bound(documents, name); }), expected);
    EXPECT_EQ(answer([&] { return row.Bound(documents, name); }), expected);
  }
}

// A server of another kind: no member table, every name answered by Invoke.
class TEcho : public TDispatch {
 public:
  OleVariant Invoke(const std::string& AName, TDispatchKind, TOleArgs& AArgs) override {
    return "echo " + AName + (AArgs.empty() ? "" : " " + AArgs[0].GetValue().ToString());
  }
};

// One name used on objects of different tables, and on an object without one, in turn: each
// call reaches the member of the object called, never the one the name was bound to before.
TEST(AutoObjectTest, ABoundNameFollowsTheObjectItIsCalledOn) {
  const OleVariant documents(std::make_unique<TDocuments>());
  const OleVariant more(std::make_unique<TMoreDocuments>());
  const OleVariant echo(std::make_unique<TEcho>());
  const TOleName count("Count");
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(documents.Call(count).ToInteger(), 2);
    EXPECT_EQ(more.Call(count).ToInteger(), 5);
    EXPECT_EQ(echo.Call(count).ToString(), "echo Count");
    EXPECT_EQ(documents.Call(count).ToInteger(), 2);
  }
  // A name one table lacks fails there every time and stays usable where it exists.
  const TOleName close("Close");
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(ErrorOf([&] { documents.Call(close); }), "Unknown name. (Close)");
    EXPECT_EQ(more.Call(close).ToString(), "closed");
  }
  // A copy of a table is another table, even for a name bound to the original.
  std::vector<TAutoMember> members{{"Name", {}, {}, {}}};
  const TAutoMemberTable original(members);
  const TAutoMemberTable copy(original);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_NE(original.GetSerial(), copy.GetSerial());
  const TOleName name("NAME");
  EXPECT_EQ(original.Find(name), &original.Get(0));
  EXPECT_EQ(copy.Find(name), &copy.Get(0));
  EXPECT_EQ(original.Find(name), &original.Get(0));
}

// The argument vectors are reused from call to call: a call made inside another call's handler
// must not disturb the outer call's arguments, and by-reference arguments still write back.
class TRelay : public TAutoObject {
 public:
  explicit TRelay(OleVariant AInner) : FInner(std::move(AInner)) {}

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TRelay>({
        {"Relay", &TRelay::Relay, {"Text", "Length"}},
    });
    return table;
  }

 private:
  OleVariant Relay(TAutoCall& ACall) {
    OleVariant length = 0;
    const std::string inner = FInner.Call("Open", {"inner", OleNamed("ReadOnly", true)}).ToString();
    FInner.Call(TOleName("Measure"), {inner, OleRef(length)});
    ACall.SetRef(1, length);
    return ACall.GetString(0) + " / " + inner;
  }

  OleVariant FInner;
};

TEST(AutoObjectTest, NestedCallsKeepTheirOwnArguments) {
  const OleVariant relay(std::make_unique<TRelay>(OleVariant(std::make_unique<TDocuments>())));
  const TOleName name("Relay");
  for (int round = 0; round < 3; ++round) {
    OleVariant length = 0;
    EXPECT_EQ(relay.Call(name, {"outer", OleRef(length)}).ToString(), "outer / inner read-only");
    EXPECT_EQ(length.ToInteger(), 15);
  }
}

}  // namespace
