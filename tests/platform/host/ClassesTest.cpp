#include "platform/host/Classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace host;

namespace {

// A component that records the notifications it receives and keeps a reference to another
// component, which it clears when that one goes.
class TWatcher : public TComponent {
 public:
  TWatcher(TComponent* AOwner, std::vector<std::string>* ALog) : TComponent(AOwner), FLog(ALog) {}
  ~TWatcher() override {
    if (FLog != nullptr) FLog->push_back("destroy " + GetName());
  }
  TComponent* FWatched = nullptr;

 protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override {
    TComponent::Notification(AComponent, AOperation);
    if (AOperation == opRemove && AComponent == FWatched) {
      FWatched = nullptr;
      if (FLog != nullptr) FLog->push_back(GetName() + " forgets");
    }
  }

 private:
  std::vector<std::string>* FLog;
};

}  // namespace

TEST(ComponentTest, OwnerDestroysWhatItOwnsAndSiblingsAreTold) {
  std::vector<std::string> log;
  {
    TComponent owner(nullptr);
    auto* a = new TWatcher(&owner, &log);
    a->SetName("A");
    auto* b = new TWatcher(&owner, &log);
    b->SetName("B");
    b->FWatched = a;
    EXPECT_EQ(owner.GetComponentCount(), 2);
    EXPECT_EQ(owner.GetComponents(0), a);
    EXPECT_EQ(a->GetOwner(), &owner);
    delete a;  // an early free tells the owner's other components
    EXPECT_EQ(b->FWatched, nullptr);
    EXPECT_EQ(owner.GetComponentCount(), 1);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"destroy A", "B forgets", "destroy B"}));
}

TEST(ComponentTest, FreeNotificationReachesComponentsOfOtherOwners) {
  std::vector<std::string> log;
  TComponent ownerA(nullptr);
  TComponent ownerB(nullptr);
  auto* watched = new TComponent(&ownerA);
  auto* watcher = new TWatcher(&ownerB, &log);
  watcher->SetName("W");
  watcher->FWatched = watched;
  watched->FreeNotification(watcher);
  delete watched;
  EXPECT_EQ(watcher->FWatched, nullptr);
}

TEST(ComponentTest, FreeNotificationIsWithdrawnWhenTheWatcherGoesFirst) {
  TComponent ownerA(nullptr);
  auto* watched = new TComponent(&ownerA);
  {
    TWatcher watcher(nullptr, nullptr);
    watched->FreeNotification(&watcher);
  }
  delete watched;  // must not reach the watcher that is gone
  SUCCEED();
}

TEST(ComponentTest, NamesAreUniqueAmongSiblingsWithoutRegardToCase) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  a->SetName("Source");
  auto* b = new TComponent(&owner);
  try {
    b->SetName("SOURCE");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& error) {
    EXPECT_EQ(error.GetMessage(), "A component named SOURCE already exists");
  }
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  b->SetName("Source2");
  a->SetName("source");  // renaming itself is fine
  EXPECT_EQ(owner.FindComponent("SOURCE2"), b);
  EXPECT_EQ(owner.FindComponent("nothing"), nullptr);
  TComponent other(nullptr);
  other.SetName("Source");  // no owner, no siblings
}

TEST(ComponentTest, ApplicationOwnsFormsAndDataModules) {
  auto* module = new TDataModule(Application());
  module->SetName("JobModule");
  EXPECT_EQ(Application()->FindComponent("jobmodule"), module);
  EXPECT_NE(dynamic_cast<TForm*>(module), nullptr);
  delete module;
  EXPECT_EQ(Application()->FindComponent("JobModule"), nullptr);
}

TEST(ListTest, IndexErrorsNameTheIndexAndLeaveTheListUnchanged) {
  TList list;
  int a = 1;
  int b = 2;
  list.Add(&a);
  list.Add(&b);
  struct TRow {
    const char* What;
    std::function<void()> Call;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {"Get", [&] { list.Get(2); }, "List index out of bounds (2)"},
      {"Put", [&] { list.Put(-1, &a); }, "List index out of bounds (-1)"},
      {"Delete", [&] { list.Delete(5); }, "List index out of bounds (5)"},
      {"Insert", [&] { list.Insert(3, &a); }, "List index out of bounds (3)"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.What);
    try {
      row.Call();
      ADD_FAILURE() << "no error";
    } catch (const EListError& error) {
      EXPECT_EQ(error.GetMessage(), row.Message);
    }
    EXPECT_EQ(list.GetCount(), 2);
  }
  TList empty;
  EXPECT_THROW(empty.First(), EListError);
  EXPECT_THROW(empty.Last(), EListError);
}

TEST(ListTest, SortRemoveAndIndexOf) {
  std::vector<int> values = {5, 3, 9, 1};
  TList list;
  for (int& value : values) list.Add(&value);
  list.Sort([](void* a, void* b) { return *static_cast<int*>(a) - *static_cast<int*>(b); });
  std::vector<int> sorted;
  for (int i = 0; i < list.GetCount(); ++i) sorted.push_back(*static_cast<int*>(list.Get(i)));
  EXPECT_EQ(sorted, (std::vector<int>{1, 3, 5, 9}));
  EXPECT_EQ(list.IndexOf(&values[2]), 3);
  EXPECT_EQ(list.Remove(&values[2]), 3);
  EXPECT_EQ(list.Remove(&values[2]), -1);
  EXPECT_EQ(list.IndexOf(nullptr), -1);
}

TEST(StringListTest, TextNamesAndValues) {
  TStringList list;
  list.SetText("Customers = Kunden\r\nOrders=Auftraege\nplain\rlast");
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.Get(0), "Customers = Kunden");
  EXPECT_EQ(list.GetValue("orders"), "Auftraege");
  EXPECT_EQ(list.GetName(2), "");
  EXPECT_EQ(list.IndexOf("PLAIN"), 2);
  TStringList copy;
  copy.Add("old");
  copy.Assign(&list);
  EXPECT_TRUE(copy.Equals(list));
  EXPECT_EQ(copy.GetText(), "Customers = Kunden\nOrders=Auftraege\nplain\nlast\n");
  copy.SetValue("Orders", "X");
  EXPECT_EQ(copy.Get(1), "Orders=X");
}

TEST(RegistryTest, ClassesAndPalettePages) {
  RegisterClass("TTestThing", [](TComponent* AOwner) { return new TComponent(AOwner); });
  ASSERT_TRUE(static_cast<bool>(FindClass("ttestthing")));
  EXPECT_FALSE(static_cast<bool>(FindClass("TNoSuchClass")));
  TComponent owner(nullptr);
  TComponent* made = FindClass("TTestThing")(&owner);
  EXPECT_EQ(made->GetOwner(), &owner);
  RegisterComponents("Test page", {"TA", "TB"});
  RegisterComponents("Test page", {"TB", "TC"});
  EXPECT_EQ(PaletteClasses("Test page"), (std::vector<std::string>{"TA", "TB", "TC"}));
  EXPECT_TRUE(PaletteClasses("No page").empty());
}
