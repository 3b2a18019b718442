#include <gtest/gtest.h>

#include <bitset>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "platform/host/CsvData.h"
#include "platform/host/FormFiles.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/TypInfo.h"
#include "support/TestSupport.h"

namespace {

using host::TComponent;

enum TTestDialect : std::uint8_t { tdEnglish = 0, tdGerman = 1, tdFrench = 2 };
using TTestStyles = std::bitset<3>;  // tsBold, tsItalic, tsUnderline

// A component with one published property of every kind.
class TTestWidget : public TComponent {
 public:
  explicit TTestWidget(TComponent* AOwner) : TComponent(AOwner) {}
  std::string ClassName() const override { return "TTestWidget"; }

  int GetCount() const { return FCount; }
  void SetCount(int AValue) { FCount = AValue; }
  bool GetFormat() const { return FFormat; }
  void SetFormat(bool AValue) { FFormat = AValue; }
  bool GetDocReadonly() const { return FDocReadonly; }
  void SetDocReadonly(bool AValue) { FDocReadonly = AValue; }
  char GetSeparator() const { return FSeparator; }
  void SetSeparator(char AValue) { FSeparator = AValue; }
  const std::string& GetCaption() const { return FCaption; }
  void SetCaption(const std::string& AValue) { FCaption = AValue; }
  TTestDialect GetDialect() const { return FDialect; }
  void SetDialect(TTestDialect AValue) { FDialect = AValue; }
  TTestStyles GetStyles() const { return FStyles; }
  void SetStyles(TTestStyles AValue) { FStyles = AValue; }
  host::TStringList* GetLines() const { return FLines.get(); }
  void SetLines(const host::TStringList* AValue) { FLines->Assign(AValue); }
  host::TDataSource* GetSource() const { return FSource; }
  void SetSource(host::TDataSource* AValue) { FSource = AValue; }
  std::string GetVersion() const { return "1.05"; }
  void SetVersion(const std::string&) {}
  void SetOnOpen(host::TNotifyEvent AValue) { FOnOpen = std::move(AValue); }
  void Fire() {
    if (FOnOpen) FOnOpen(this);
  }

 private:
  int FCount = 0;
  bool FFormat = true;
  bool FDocReadonly = false;
  char FSeparator = '_';
  std::string FCaption;
  TTestDialect FDialect = tdEnglish;
  TTestStyles FStyles;
  std::unique_ptr<host::TStringList> FLines = std::make_unique<host::TStringList>();
  host::TDataSource* FSource = nullptr;
  host::TNotifyEvent FOnOpen;
};

// A data module whose class makes one widget itself.
class TTestModule : public host::TDataModule {
 public:
  explicit TTestModule(TComponent* AOwner) : host::TDataModule(AOwner) {
    auto* builtin = new TTestWidget(this);
    builtin->SetName("Builtin");
    builtin->SetCount(5);
  }
  std::string ClassName() const override { return "TTestModule"; }
};

void RegisterTestClasses() {
  static const bool registered = [] {
    host::RegisterClass("TTestWidget", [](TComponent* AOwner) { return new TTestWidget(AOwner); });
    host::RegisterClass("TTestModule", [](TComponent* AOwner) { return new TTestModule(AOwner); });
    host::RegisterProperties<TTestWidget>("TTestWidget", "TComponent")
        .Integer("Count", &TTestWidget::GetCount, &TTestWidget::SetCount, 0)
        .Boolean("Format", &TTestWidget::GetFormat, &TTestWidget::SetFormat, true)
        .Boolean("DocReadonly", &TTestWidget::GetDocReadonly, &TTestWidget::SetDocReadonly)
        .Char("Separator", &TTestWidget::GetSeparator, &TTestWidget::SetSeparator, '_')
        .String("Caption", &TTestWidget::GetCaption, &TTestWidget::SetCaption)
        .Enumeration("Dialect", "TTestDialect", {"tdEnglish", "tdGerman", "tdFrench"},
                     &TTestWidget::GetDialect, &TTestWidget::SetDialect, tdEnglish)
        .Set("Styles", "TTestStyles", {"tsBold", "tsItalic", "tsUnderline"},
             &TTestWidget::GetStyles, &TTestWidget::SetStyles)
        .Strings("Lines", &TTestWidget::GetLines, &TTestWidget::SetLines)
        .Component("Source", "TDataSource", &TTestWidget::GetSource, &TTestWidget::SetSource)
        .Event<host::TNotifyEvent>("OnOpen", "TNotifyEvent", &TTestWidget::SetOnOpen)
        .String("Version", &TTestWidget::GetVersion, &TTestWidget::SetVersion)
        .Stored(false);
    host::RegisterProperties<TTestModule>("TTestModule", "TDataModule");
    return true;
  }();
  (void)registered;
}

using veltrane::test::ErrorOf;

// Reads a text into a root that the test owns.
std::unique_ptr<TComponent> Read(const std::string& AText) {
  RegisterTestClasses();
  return std::unique_ptr<TComponent>(host::ReadComponentText(AText, "test.vfm"));
}

// The canonical layout: what the writer produces, so reading and writing it again must give
// the same bytes.
const char* const CanonicalModule =
    "object Orders: TDataModule\n"
    "  Tag = -3\n"
    "  object Widget: TTestWidget\n"
    "    Count = 42\n"
    "    Format = False\n"
    "    DocReadonly = True\n"
    "    Separator = '.'\n"
    "    Caption = 'It''s '#13#10'Zoë'#9'x'\n"
    "    Dialect = tdFrench\n"
    "    Styles = [tsBold, tsUnderline]\n"
    "    Lines.Strings = (\n"
    "      'first'\n"
    "      ''\n"
    "      'third ''q''')\n"
    "    Source = LineSource\n"
    "    OnOpen = WidgetOpen\n"
    "  end\n"
    "  object Database: TSQLiteConnection\n"
    "    DatabaseName = 'orders.db'\n"
    "    BusyTimeout = 0\n"
    "  end\n"
    "  object OrderQuery: TSQLiteQuery\n"
    "    Connection = Database\n"
    "    SQL.Strings = (\n"
    "      'SELECT * FROM orders')\n"
    "  end\n"
    "  object OrderSource: TDataSource\n"
    "    DataSet = OrderQuery\n"
    "  end\n"
    "  object LineQuery: TSQLiteQuery\n"
    "    Connection = Database\n"
    "    SQL.Strings = (\n"
    "      'SELECT * FROM lines'\n"
    "      'WHERE order_id = :id')\n"
    "    DataSource = OrderSource\n"
    "  end\n"
    "  object LineSource: TDataSource\n"
    "    DataSet = LineQuery\n"
    "    Enabled = False\n"
    "  end\n"
    "  object People: TCsvDataSet\n"
    "    FileName = 'people.csv'\n"
    "    Delimiter = #9\n"
    "    FieldTypes.Strings = (\n"
    "      'Amount=ftCurrency')\n"
    "  end\n"
    "end\n";

TEST(FormFilesTest, PropertyListsInheritAndRefuseBadValues) {
  RegisterTestClasses();
  // A class that restates an inherited property keeps its place in the list.
  host::RegisterProperties<TTestWidget>("TTestWidgetPlus", "TTestWidget")
      .Integer("Tag", &TComponent::GetTag, &TComponent::SetTag, 7)
      .String("Extra", &TTestWidget::GetCaption, nullptr);
  std::string names;
  for (const host::TPropInfo* info : host::GetPropList("TTestWidgetPlus")) {
    names += info->GetName() + " ";
  }
  EXPECT_EQ(names,
            "Name Tag Count Format DocReadonly Separator Caption Dialect Styles Lines Source "
            "OnOpen Version Extra ");
  EXPECT_TRUE(host::ClassInheritsFrom("TTestWidgetPlus", "tcomponent"));
  EXPECT_FALSE(host::ClassInheritsFrom("TTestWidget", "TDataSet"));

  TTestWidget widget(nullptr);
  const host::TPropInfo* count = host::GetPropInfo(&widget, "COUNT");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(host::GetPropInfo(&widget, "Extra"), nullptr);
  const host::TPropInfo* extra = host::GetPropList("TTestWidgetPlus").back();
  const struct {
    const host::TPropInfo* Info;
    host::TPropValue Value;
    const char* Message;
  } rows[] = {
      {count, std::string("3"), "Invalid value for property Count"},
      {count, std::int64_t{1} << 40, "Value 1099511627776 is out of range for property Count"},
      {extra, std::string("x"), "Property Extra is read-only"},
      {host::GetPropInfo(&widget, "Dialect"), std::int64_t{3},
       "Value 3 is out of range for property Dialect"},
      {host::GetPropInfo(&widget, "Styles"), std::int64_t{8},
       "Value 8 is out of range for property Styles"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Message);
    EXPECT_EQ(ErrorOf([&] { row.Info->SetValue(&widget, row.Value); }), row.Message);
  }
  EXPECT_EQ(ErrorOf([] { host::GetPropList("TUnregistered"); }),
            "No published properties are registered for class TUnregistered");
}

TEST(FormFilesTest, CanonicalFileRoundTripsByteForByte) {
  auto root = Read(CanonicalModule);
  EXPECT_EQ(host::WriteComponentText(root.get()), CanonicalModule);

  // What was read is really there: values, references (one pointing forward) and handler names.
  auto* widget = dynamic_cast<TTestWidget*>(root->FindComponent("Widget"));
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->GetCaption(), "It's \r\nZoë\tx");
  EXPECT_EQ(widget->GetStyles(), TTestStyles("101"));
  EXPECT_EQ(widget->GetLines()->GetCount(), 3);
  EXPECT_EQ(widget->GetSource(), root->FindComponent("LineSource"));
  EXPECT_EQ(host::GetEventHandlerName(widget, "onopen"), "WidgetOpen");
  auto* lines = dynamic_cast<host::TSQLiteQuery*>(root->FindComponent("LineQuery"));
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(lines->GetDataSource(), root->FindComponent("OrderSource"));
  EXPECT_EQ(lines->GetParams()->GetCount(), 1);
  EXPECT_EQ(dynamic_cast<host::TCsvDataSet*>(root->FindComponent("People"))->GetDelimiter(), '\t');
  EXPECT_EQ(root->GetOwner(), host::Application());
}

TEST(FormFilesTest, DefaultsAndNeverStoredPropertiesAreLeftOut) {
  RegisterTestClasses();
  TTestWidget widget(nullptr);
  widget.SetName("Plain");
  // Only the property without a stream default is written; Version never is.
  EXPECT_EQ(host::WriteComponentText(&widget),
            "object Plain: TTestWidget\n"
            "  DocReadonly = False\n"
            "end\n");
  widget.SetFormat(false);
  widget.SetSeparator('_');
  EXPECT_EQ(host::WriteComponentText(&widget),
            "object Plain: TTestWidget\n"
            "  Format = False\n"
            "  DocReadonly = False\n"
            "end\n");
}

TEST(FormFilesTest, ReaderAcceptsOtherLayoutsOfTheSameTokens) {
  // Joined strings, #$ codes, any case for keywords and names, CR LF, a BOM, nil values.
  auto root = Read(
      "\xEF\xBB\xBFOBJECT W: ttestwidget\r\n"
      "  caption = 'ab' +\r\n    'c'#$41\r\n"
      "  Styles = []  Source = nil  OnOpen = nil\r\n"
      "  Lines.Strings = ('x' 'y')\r\n"
      "END");
  auto* widget = dynamic_cast<TTestWidget*>(root.get());
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->GetCaption(), "abcA");
  EXPECT_EQ(widget->GetLines()->GetText(), "x\ny\n");
}

TEST(FormFilesTest, BadInputNamesFileLineAndColumnAndLeavesNothingBehind) {
  RegisterTestClasses();
  const struct {
    const char* Text;
    const char* Message;
  } rows[] = {
      {"object A: TNoSuchClass\nend\n",
       "test.vfm, line 1, column 11: Class TNoSuchClass not found"},
      {"object A: TTestWidget\n  Colour = 3\nend\n",
       "test.vfm, line 2, column 3: Property Colour does not exist in class TTestWidget"},
      {"object A: TTestWidget\n  Count = 'x'\nend\n",
       "test.vfm, line 2, column 11: Invalid value 'x' for A.Count: expected a whole number"},
      {"object A: TTestWidget\n  Count = 3000000000\nend\n",
       "test.vfm, line 2, column 11: A.Count: Value 3000000000 is out of range for property "
       "Count"},
      {"object A: TTestWidget\n  Format = Yes\nend\n",
       "test.vfm, line 2, column 12: Invalid value Yes for A.Format: expected True or False"},
      {"object A: TTestWidget\n  Separator = '__'\nend\n",
       "test.vfm, line 2, column 15: Invalid value '__' for A.Separator: expected one ASCII "
       "character in quotes"},
      {"object A: TTestWidget\n  Dialect = tdKlingon\nend\n",
       "test.vfm, line 2, column 13: Invalid value tdKlingon for A.Dialect: expected one of "
       "tdEnglish, tdGerman, tdFrench"},
      {"object A: TTestWidget\n  Styles = [tsBold, tsBlink]\nend\n",
       "test.vfm, line 2, column 12: Invalid set element tsBlink for A.Styles: expected a set "
       "[...] of tsBold, tsItalic, tsUnderline"},
      {"object A: TTestWidget\n  Source = Nowhere\nend\n",
       "test.vfm, line 2, column 12: Component Nowhere referenced by A.Source does not exist"},
      {"object M: TDataModule\n  object A: TTestWidget\n    Source = B\n  end\n"
       "  object B: TTestWidget\n  end\nend\n",
       "test.vfm, line 3, column 14: A.Source: B is a TTestWidget; property Source needs a "
       "TDataSource"},
      {"object A: TTestWidget\n  Caption = 'open\nend\n",
       "test.vfm, line 2, column 13: Unterminated string"},
      {"object A: TTestWidget\n  Count = 1\n",
       "test.vfm, line 3, column 1: A property name or "
       "'end' expected but the end of the file found"},
      {"object A: TTestWidget\nend\nend\n",
       "test.vfm, line 3, column 1: the end of the file expected but 'end' found"},
      {"object M: TDataModule\n  object A: TTestWidget\n  end\n  object a: TTestWidget\n"
       "  end\nend\n",
       "test.vfm, line 4, column 10: A component named a already exists"},
      {"object M: TTestModule\n  inherited Missing: TTestWidget\n  end\nend\n",
       "test.vfm, line 2, column 13: Inherited component Missing: TTestWidget does not exist in "
       "M"},
      {"object A: TTestWidget\n  Count = 1.5\nend\n",
       "test.vfm, line 2, column 11: Invalid value 1.5 for A.Count: expected a whole number"},
      {"object A: TTestWidget\n  Caption = 'x'#55296\nend\n",
       "test.vfm, line 2, column 16: Invalid character code #55296"},
      {"object A: TTestWidget\n  Count = {00FF}\nend\n",
       "test.vfm, line 2, column 11: Binary data and collections are not supported"},
      {"object Ä: TTestWidget\nend\n", "test.vfm, line 1, column 8: Unexpected character 'Ä'"},
  };
  const int before = host::Application()->GetComponentCount();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(ErrorOf([&] { Read(row.Text); }), row.Message);
    EXPECT_EQ(host::Application()->GetComponentCount(), before);
  }
}

TEST(FormFilesTest, ReadingOpensDataSetsAfterEverythingIsResolved) {
  veltrane::test::TScratchDir dir;
  const std::string db = (dir / "shop.db").string();
  {
    host::TSQLiteDatabase setup(db, false, true);
    setup.Execute(
        "CREATE TABLE orders (id INTEGER, customer TEXT);"
        "CREATE TABLE lines (order_id INTEGER, item TEXT);"
        "INSERT INTO orders VALUES (1, 'Smith'), (2, 'Jones');"
        "INSERT INTO lines VALUES (1, 'pen'), (2, 'ink'), (2, 'paper');");
  }
  // The detail comes first and names its master and connection before they exist.
  const std::string text =
      "object Shop: TDataModule\n"
      "  object Lines: TSQLiteQuery\n"
      "    Connection = Database\n"
      "    SQL.Strings = (\n"
      "      'SELECT item FROM lines WHERE order_id = :id')\n"
      "    DataSource = OrderSource\n"
      "    Active = True\n"
      "  end\n"
      "  object Orders: TSQLiteQuery\n"
      "    Connection = Database\n"
      "    SQL.Strings = (\n"
      "      'SELECT * FROM orders ORDER BY id')\n"
      "    Active = True\n"
      "  end\n"
      "  object OrderSource: TDataSource\n"
      "    DataSet = Orders\n"
      "  end\n"
      "  object Database: TSQLiteConnection\n"
      "    DatabaseName = " +
      host::QuotedString(db) +
      "\n"
      "  end\n"
      "end\n";
  {
    auto root = Read(text);
    EXPECT_EQ(host::Application()->FindComponent("Shop"), root.get());
    auto* orders = dynamic_cast<host::TDataSet*>(root->FindComponent("Orders"));
    auto* lines = dynamic_cast<host::TDataSet*>(root->FindComponent("Lines"));
    ASSERT_TRUE(orders->GetActive() && lines->GetActive());
    EXPECT_EQ(lines->GetRecordCount(), 1);
    orders->Next();
    EXPECT_EQ(lines->GetRecordCount(), 2);
    EXPECT_NE(
        host::WriteComponentText(root.get()).find("    Active = True\n  end\n  object Orders"),
        std::string::npos);
  }
  // A database that is gone fails the read, and the module is not left in the application.
  std::filesystem::remove(db);
  const int before = host::Application()->GetComponentCount();
  EXPECT_EQ(ErrorOf([&] { Read(text); }),
            "test.vfm: Lines: Database file '" + db + "' does not exist");
  EXPECT_EQ(host::Application()->GetComponentCount(), before);
}

TEST(FormFilesTest, PersistentFieldsAreStoredAndDefaultFieldsAreNot) {
  veltrane::test::TScratchDir dir;
  const std::string csv = (dir / "people.csv").string();
  std::ofstream(csv) << "Name,Age\nSmith,40\n";
  const std::string text =
      "object M: TDataModule\n"
      "  object People: TCsvDataSet\n"
      "    FileName = " +
      host::QuotedString(csv) +
      "\n"
      "    Active = True\n"
      "  end\n"
      "  object PeopleName: TStringField\n"
      "    DataSet = People\n"
      "    FieldName = 'Name'\n"
      "    DisplayLabel = 'Customer'\n"
      "    Size = 40\n"
      "  end\n"
      "end\n";
  auto root = Read(text);
  auto* people = dynamic_cast<host::TDataSet*>(root->FindComponent("People"));
  ASSERT_TRUE(people->GetActive());
  ASSERT_EQ(people->GetFieldCount(), 1);  // persistent fields only: Age is not offered
  EXPECT_EQ(people->GetFields(0)->GetDisplayLabel(), "Customer");
  EXPECT_EQ(people->GetFields(0)->GetAsString(), "Smith");
  EXPECT_EQ(host::WriteComponentText(root.get()), text);

  // The fields an open data set makes for itself are not written.
  host::TCsvDataSet plain(nullptr);
  plain.SetName("Plain");
  plain.SetFileName(csv);
  plain.Open();
  ASSERT_EQ(plain.GetFieldCount(), 2);
  EXPECT_EQ(host::WriteComponentText(&plain).find("object"), 0u);
  EXPECT_EQ(host::WriteComponentText(&plain).find("object", 1), std::string::npos);
}

TEST(FormFilesTest, InheritedComponentsKeepOnlyWhatDiffers) {
  RegisterTestClasses();
  TTestModule module(nullptr);
  module.SetName("Module");
  auto* builtin = dynamic_cast<TTestWidget*>(module.FindComponent("Builtin"));
  builtin->SetCaption("changed");
  auto* added = new TTestWidget(&module);
  added->SetName("Added");
  added->SetDocReadonly(true);
  const std::string expected =
      "object Module: TTestModule\n"
      "  inherited Builtin: TTestWidget\n"
      "    Caption = 'changed'\n"
      "  end\n"
      "  object Added: TTestWidget\n"
      "    DocReadonly = True\n"
      "  end\n"
      "end\n";
  EXPECT_EQ(host::WriteComponentText(&module), expected);
  auto root = Read(expected);
  EXPECT_EQ(root->GetComponentCount(), 2);
  auto* read = dynamic_cast<TTestWidget*>(root->FindComponent("Builtin"));
  EXPECT_EQ(read->GetCount(), 5);  // from the class, untouched by the file
  EXPECT_EQ(read->GetCaption(), "changed");
  EXPECT_EQ(host::WriteComponentText(root.get()), expected);
}

TEST(FormFilesTest, EventHandlersAreBoundByName) {
  auto root = Read(
      "object M: TDataModule\n"
      "  object A: TTestWidget\n    OnOpen = Opened\n  end\n"
      "  object B: TTestWidget\n    OnOpen = Opened\n  end\n"
      "end\n");
  host::TEventHandlers handlers;
  EXPECT_EQ(ErrorOf([&] { host::BindEventHandlers(root.get(), handlers); }),
            "Event handler 'Opened' of A.OnOpen is not defined");
  handlers.Add("opened", std::function<void(int)>([](int) {}));
  EXPECT_EQ(ErrorOf([&] { host::BindEventHandlers(root.get(), handlers); }),
            "Event handler 'Opened' does not fit A.OnOpen, which needs a TNotifyEvent");
  std::string log;
  handlers.Add("Opened", host::TNotifyEvent([&](host::TObject* Sender) {
                 log += dynamic_cast<TComponent*>(Sender)->GetName();
               }));
  host::BindEventHandlers(root.get(), handlers);
  dynamic_cast<TTestWidget*>(root->FindComponent("A"))->Fire();
  dynamic_cast<TTestWidget*>(root->FindComponent("B"))->Fire();
  EXPECT_EQ(log, "AB");
}

TEST(FormFilesTest, FilesAreWrittenThroughATemporaryAndReadBack) {
  RegisterTestClasses();
  veltrane::test::TScratchDir dir;
  const std::string path = (dir / "module.vfm").string();
  {
    auto root = Read(CanonicalModule);
    host::WriteComponentFile(path, root.get());
  }
  std::ifstream stream(path, std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  EXPECT_EQ(text.str(), CanonicalModule);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.GetPath()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary left
  std::unique_ptr<TComponent> again(host::ReadComponentFile(path));
  EXPECT_EQ(again->GetName(), "Orders");

  const std::string missing = (dir / "no" / "x.vfm").string();
  EXPECT_EQ(ErrorOf([&] { host::WriteComponentFile(missing, again.get()); }),
            "Cannot write form file '" + missing + "': No such file or directory");
  EXPECT_EQ(ErrorOf([&] { host::ReadComponentFile(missing); }),
            "Cannot open form file '" + missing + "': No such file or directory");
}

TEST(FormFilesTest, ReferencesOutsideTheTreeNeedANamedForm) {
  RegisterTestClasses();
  host::TDataModule other(host::Application());
  other.SetName("Other");
  auto* source = new host::TDataSource(&other);
  source->SetName("Source");
  TTestWidget widget(nullptr);
  widget.SetName("W");
  widget.SetSource(source);
  EXPECT_NE(host::WriteComponentText(&widget).find("Source = Other.Source\n"), std::string::npos);
  // ...and the reader resolves the same path through the application's forms.
  auto root = Read("object W2: TTestWidget\n  Source = Other.Source\nend\n");
  EXPECT_EQ(dynamic_cast<TTestWidget*>(root.get())->GetSource(), source);

  host::TDataSource loose(nullptr);
  loose.SetName("Loose");
  widget.SetSource(&loose);
  EXPECT_EQ(ErrorOf([&] { host::WriteComponentText(&widget); }),
            "Property W.Source refers to Loose, which is neither in this file nor on a form of "
            "the application");
  widget.SetSource(nullptr);
}

}  // namespace
