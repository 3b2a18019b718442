#include <gtest/gtest.h>

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

}  // namespace
