#include "identifiers/VeltraneIdentifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltrane;

namespace {

// Adds an identifier with a name, a range and a type, as a back-end does while reading.
TVeltraneIdentifier* AddAt(TVeltraneIdentifiers& AList, const std::string& AName, int AStart,
                           int AEnd, TVeltraneIdentifierType AType = vitBody) {
  auto identifier = std::make_unique<TVeltraneIdentifier>();
  identifier->SetName(AName);
  identifier->SetStartPos(AStart);
  identifier->SetEndPos(AEnd);
  identifier->SetIdentifierType(AType);
  TVeltraneIdentifier* result = identifier.get();
  AList.Add(identifier.release());
  return result;
}

std::vector<std::string> Names(const TVeltraneIdentifiers& AList) {
  std::vector<std::string> result;
  for (int i = 0; i < AList.GetCount(); ++i) result.push_back(AList.Get(i)->GetName());
  return result;
}

}  // namespace

TEST(VeltraneIdentifierTest, NewIdentifierHasTheDefaults) {
  TVeltraneIdentifier identifier;
  EXPECT_EQ(identifier.GetFieldType(), host::ftString);
  EXPECT_EQ(identifier.GetIdentifierType(), vitBody);
  EXPECT_EQ(identifier.GetStartPos(), 0);
  EXPECT_EQ(identifier.GetEndPos(), 0);
  EXPECT_EQ(identifier.GetName(), "");
  EXPECT_EQ(identifier.GetMask(), "");
  EXPECT_EQ(identifier.GetGroupValue(), "");
  EXPECT_EQ(identifier.GetIdentifiers(), nullptr);
}

TEST(VeltraneIdentifierTest, NameSplitsIntoDatasourceAndDatafield) {
  struct TRow {
    std::string Name;
    char Separator;
    bool IsField;
    std::string Datasource;
    std::string Datafield;
  };
  const std::vector<TRow> rows = {
      {"Customers_Name", '_', true, "Customers", "Name"},
      {"Customers_Name_2", '_', true, "Customers", "Name"},
      {"Customers_First_Name", '_', true, "Customers", "First"},
      {"Orders", '_', false, "Orders", ""},
      {"Orders_", '_', true, "Orders", ""},
      {"_Total", '_', true, "", "Total"},
      {"Customers_Name", '.', false, "Customers_Name", ""},
      {"Customers.Name.x", '.', true, "Customers", "Name"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name + " with '" + row.Separator + "'");
    TVeltraneIdentifiers list;
    list.SetDbNamesSeparator(row.Separator);
    TVeltraneIdentifier* identifier = list.AddIdentifier(row.Name);
    EXPECT_EQ(identifier->GetIsField(), row.IsField);
    EXPECT_EQ(identifier->GetDatasourceName(), row.Datasource);
    EXPECT_EQ(identifier->GetDatafieldName(), row.Datafield);
    EXPECT_EQ(identifier->GetAsString(), row.Name);
  }
}

TEST(VeltraneIdentifierTest, UpNameFoldsOnlyAsciiLetters) {
  TVeltraneIdentifiers list;
  EXPECT_EQ(list.AddIdentifier("kunden_Straße_é")->GetUpName(), "KUNDEN_STRAßE_é");
}

TEST(VeltraneIdentifierTest, MaskIsTheTextAfterTheFirstSeparator) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* identifier = list.AddIdentifier("Price");
  identifier->SetMask("Price@#,##0.00");
  EXPECT_EQ(identifier->GetMask(), "#,##0.00");
  identifier->SetMask("a@b@c");
  EXPECT_EQ(identifier->GetMask(), "b@c");
  identifier->SetMask("no separator");
  EXPECT_EQ(identifier->GetMask(), "b@c");
  identifier->SetMask("b@c");  // equal to the mask: nothing changes, although it has a '@'
  EXPECT_EQ(identifier->GetMask(), "b@c");
  list.SetMaskSeparator('#');
  identifier->SetMask("Amount#0.00");
  EXPECT_EQ(identifier->GetMask(), "0.00");
}

TEST(VeltraneIdentifierTest, PositionsKeepEndNotBeforeStart) {
  TVeltraneIdentifier identifier;
  identifier.SetStartPos(10);
  EXPECT_EQ(identifier.GetEndPos(), 10);  // a start beyond the end raises the end
  identifier.SetEndPos(5);
  EXPECT_EQ(identifier.GetEndPos(), 10);  // an end before the start is ignored
  identifier.SetEndPos(20);
  identifier.SetStartPos(3);
  EXPECT_EQ(identifier.GetStartPos(), 3);
  EXPECT_EQ(identifier.GetEndPos(), 20);  // a smaller start leaves the end alone
}

TEST(VeltraneIdentifierTest, ContainmentAndCrossing) {
  struct TRow {
    int S, E, OtherS, OtherE;
    bool IsIn;
    bool Touches;
  };
  // This range [10, 20] against another.
  const std::vector<TRow> rows = {
      {10, 20, 10, 20, true, false},   // identical
      {10, 20, 12, 18, true, false},   // inside
      {10, 20, 5, 8, false, false},    // wholly before
      {10, 20, 25, 30, false, false},  // wholly after
      {10, 20, 5, 25, false, false},   // encloses both sides
      {10, 20, 5, 15, false, true},    // crosses the start
      {10, 20, 5, 20, false, true},    // starts earlier, shares the end
      {10, 20, 15, 25, false, true},   // crosses the end
      {10, 20, 10, 25, false, true},   // shares the start, ends later
      {10, 20, 5, 10, false, false},   // ends exactly where this one starts: only meets
      {10, 20, 20, 25, false, false},  // starts exactly where this one ends: only meets
      {10, 20, 20, 20, true, false},   // empty range at the end
      {10, 20, 10, 10, true, false},   // empty range at the start
  };
  TVeltraneIdentifiers list;
  for (const TRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.OtherS) + ".." + std::to_string(row.OtherE));
    TVeltraneIdentifier self;
    self.SetStartPos(row.S);
    self.SetEndPos(row.E);
    TVeltraneIdentifier other;
    other.SetStartPos(row.OtherS);
    other.SetEndPos(row.OtherE);
    EXPECT_EQ(self.IsIn(&other), row.IsIn);
    EXPECT_EQ(self.Touches(&other), row.Touches);
  }
}

TEST(VeltraneIdentifierListTest, OrderIsTypeStartEndDescendingName) {
  TVeltraneIdentifiers list;
  AddAt(list, "B_x", 30, 40);
  AddAt(list, "Footer_x", 5, 9, vitHeaderFooter);
  AddAt(list, "Group", 10, 50);
  AddAt(list, "A_y", 10, 20);
  AddAt(list, "A_x", 10, 20);
  AddAt(list, "Header_x", 0, 3, vitHeaderFooter);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Header_x", "Footer_x", "Group", "A_x", "A_y",
                                                   "B_x"}));
}

TEST(VeltraneIdentifierListTest, AddReturnsTheSortedIndex) {
  TVeltraneIdentifiers list;
  AddAt(list, "C", 30, 31);
  AddAt(list, "A", 10, 11);
  auto identifier = std::make_unique<TVeltraneIdentifier>();
  identifier->SetName("B");
  identifier->SetStartPos(20);
  TVeltraneIdentifier* raw = identifier.release();
  EXPECT_EQ(list.Add(raw), 1);
  EXPECT_EQ(raw->GetIdentifiers(), &list);
}

TEST(VeltraneIdentifierListTest, IdentifiersWithoutPositionsSortByNameInByteOrder) {
  TVeltraneIdentifiers list;
  for (const char* name : {"alpha", "Customers_Name", "Zeta", "Customers", "Customers_City"}) {
    list.AddIdentifier(name);
  }
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Customers", "Customers_City",
                                                   "Customers_Name", "Zeta", "alpha"}));
}

TEST(VeltraneIdentifierListTest, GroupMembersAreFoundByWalkingForward) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* g = AddAt(list, "G", 10, 50);
  TVeltraneIdentifier* a = AddAt(list, "A_a", 10, 20);
  TVeltraneIdentifier* b = AddAt(list, "B_b", 25, 40);
  TVeltraneIdentifier* c = AddAt(list, "C_c", 60, 70);
  EXPECT_TRUE(g->GetIsGroup());
  EXPECT_FALSE(a->GetIsGroup());
  EXPECT_FALSE(c->GetIsGroup());  // the last identifier is never a group
  EXPECT_EQ(list.FirstInGroup(g), a);
  EXPECT_EQ(list.LastInGroup(g), b);
  EXPECT_EQ(list.FirstInGroup(a), nullptr);
  EXPECT_EQ(list.LastInGroup(a), nullptr);
  (void)b;
}

TEST(VeltraneIdentifierListTest, GroupTestComparesTypes) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* header = AddAt(list, "H", 0, 100, vitHeaderFooter);
  AddAt(list, "Body_x", 10, 20);
  // The body identifier lies within the header's numbers, but belongs to another story.
  EXPECT_FALSE(header->GetIsGroup());
}

TEST(VeltraneIdentifierListTest, IdenticalRangesMakeTheFirstByNameTheGroup) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* b = AddAt(list, "B", 10, 20);
  TVeltraneIdentifier* a = AddAt(list, "A", 10, 20);
  EXPECT_TRUE(a->GetIsGroup());
  EXPECT_FALSE(b->GetIsGroup());
}

TEST(VeltraneIdentifierListTest, LastInGroupStopsAtTheFirstIdentifierOutside) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* g = AddAt(list, "G", 10, 50);
  TVeltraneIdentifier* inner = AddAt(list, "Inner", 12, 30);
  AddAt(list, "Inner_a", 12, 15);
  TVeltraneIdentifier* last = AddAt(list, "After_b", 40, 50);
  AddAt(list, "Outside", 60, 61);
  EXPECT_EQ(list.LastInGroup(g), last);
  EXPECT_EQ(list.LastInGroup(inner), list.Get(list.IndexOf(inner) + 1));
}

TEST(VeltraneIdentifierListTest, FindIsExactAndCaseSensitive) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* name = list.AddIdentifier("Customers_Name");
  EXPECT_EQ(list.Find("Customers_Name"), name);
  EXPECT_EQ(list.Find("customers_name"), nullptr);
  EXPECT_EQ(list.Find(""), nullptr);
}

TEST(VeltraneIdentifierListTest, RemoveAndDeleteFreeWhatTheyTakeOut) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* a = list.AddIdentifier("A");
  list.AddIdentifier("B");
  TVeltraneIdentifier foreign;
  EXPECT_EQ(list.Remove(&foreign), -1);
  EXPECT_EQ(list.Remove(a), 0);
  EXPECT_EQ(Names(list), std::vector<std::string>{"B"});
  list.Delete(0);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_THROW(list.Delete(0), host::EListError);
  EXPECT_THROW(list.First(), host::EListError);
}

TEST(VeltraneIdentifierListTest, BadIndexRaisesTheListError) {
  TVeltraneIdentifiers list;
  list.AddIdentifier("A");
  try {
    list.Get(3);
    FAIL() << "no error";
  } catch (const host::EListError& error) {
    EXPECT_EQ(error.GetMessage(), "List index out of bounds (3)");
  }
}

TEST(VeltraneIdentifierListTest, ExchangeKeepsTheOrderAndInsertGoesThroughAdd) {
  TVeltraneIdentifiers list;
  list.AddIdentifier("A");
  list.AddIdentifier("C");
  list.Exchange(0, 1);
  auto b = std::make_unique<TVeltraneIdentifier>();
  b->SetName("B");
  TVeltraneIdentifier* raw = b.release();
  list.Insert(0, raw);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(raw->GetIdentifiers(), &list);
}

TEST(VeltraneIdentifierListTest, PutReplacesWithoutFreeingOrSorting) {
  TVeltraneIdentifiers list;
  list.AddIdentifier("M");
  list.AddIdentifier("N");
  // Put does not free the identifier whose place it takes: the caller does.
  std::unique_ptr<TVeltraneIdentifier> replaced(list.Get(1));
  auto a = std::make_unique<TVeltraneIdentifier>();
  a->SetName("A");
  list.Put(1, a.release());
  EXPECT_EQ(Names(list), (std::vector<std::string>{"M", "A"}));  // not re-sorted
  EXPECT_EQ(list.Get(1)->GetIdentifiers(), nullptr);             // owner not set
}

TEST(VeltraneIdentifierListTest, IndexOfIsByIdentityAfterTheListChanged) {
  TVeltraneIdentifiers list;
  TVeltraneIdentifier* c = AddAt(list, "C", 30, 31);
  EXPECT_EQ(list.IndexOf(c), 0);
  AddAt(list, "A", 10, 11);  // moves C
  AddAt(list, "B", 20, 21);
  EXPECT_EQ(list.IndexOf(c), 2);
  TVeltraneIdentifiers other;
  TVeltraneIdentifier* sameName = other.AddIdentifier("C");
  EXPECT_EQ(list.IndexOf(sameName), -1);
}

#if VELTRANE_HOST_VERSION >= 4
TEST(VeltraneIdentifierListTest, ClearThroughTheBaseListFreesTheIdentifiers) {
  // The version-4 host's list has a virtual clear; leak detection shows the difference.
  auto list = std::make_unique<TVeltraneIdentifiers>();
  list->AddIdentifier("A");
  list->AddIdentifier("B");
  host::TList* base = list.get();
  base->Clear();
  EXPECT_EQ(list->GetCount(), 0);
}
#else
TEST(VeltraneIdentifierListTest, ClearThroughTheBaseListOnlyEmptiesTheList) {
  // The version-3 host's clear is not virtual: the base list forgets the identifiers without
  // freeing them, so the caller frees them.
  auto list = std::make_unique<TVeltraneIdentifiers>();
  std::unique_ptr<TVeltraneIdentifier> a(list->AddIdentifier("A"));
  host::TList* base = list.get();
  base->Clear();
  EXPECT_EQ(list->GetCount(), 0);
}
#endif

TEST(VeltraneIdentifierListTest, SupportedFieldsAreTheTypesThatYieldAValue) {
  std::vector<int> supported;
  for (int type = 0; type < 64; ++type) {
    if (VeltraneSupportedFields.test(static_cast<std::size_t>(type))) supported.push_back(type);
  }
  EXPECT_EQ(supported, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 16, 17, 18}));
}
