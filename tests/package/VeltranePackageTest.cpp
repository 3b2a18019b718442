#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "controller/VeltraneController.h"
#include "package/VeltranePackage.h"
#include "package/VeltranePackageClasses.h"
#include "package/VeltranePackageResources.h"
#include "platform/host/FormFiles.h"
#include "platform/host/Graphics.h"
#include "platform/host/SQLiteData.h"
#include "platform/host/TypInfo.h"
#include "support/TestSupport.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord8.h"

namespace {

using veltrane::TVeltraneController;
using veltrane::TVeltraneWord7;
using veltrane::TVeltraneWord8;

const std::vector<std::string> UnitOrder = {
    "VeltraneException",  "VeltraneTools", "VeltraneIdentifier",
    "VeltraneBookmarks",  "VeltraneAuto",  "VeltranePrinter",
    "VeltraneController", "VeltraneWord7", "VeltraneWord8"};

using veltrane::test::ErrorOf;

unsigned Word(std::string_view ABytes, std::size_t APos, std::size_t ASize) {
  unsigned value = 0;
  for (std::size_t i = 0; i < ASize; ++i) {
    value |= static_cast<unsigned>(static_cast<unsigned char>(ABytes[APos + i])) << (8 * i);
  }
  return value;
}

// Restarts the module as loading started it, whatever a test did to it.
class TModuleRestorer {
 public:
  TModuleRestorer() = default;
  TModuleRestorer(const TModuleRestorer&) = delete;
  TModuleRestorer& operator=(const TModuleRestorer&) = delete;
  ~TModuleRestorer() {
    veltrane::StartupPackageModule(veltrane::PackageFileName(), veltrane::UserLanguage());
  }
};

// Sets the locale variables for one test and puts the old values back.
class TLocaleEnvironment {
 public:
  TLocaleEnvironment() {
    for (const char* name : Names) {
      const char* value = std::getenv(name);
      FSaved.push_back(value == nullptr ? std::nullopt : std::optional<std::string>(value));
    }
  }
  TLocaleEnvironment(const TLocaleEnvironment&) = delete;
  TLocaleEnvironment& operator=(const TLocaleEnvironment&) = delete;
  ~TLocaleEnvironment() {
    for (std::size_t i = 0; i < FSaved.size(); ++i) Set(Names[i], FSaved[i]);
  }
  static void Set(const char* AName, const std::optional<std::string>& AValue) {
    if (AValue) {
      setenv(AName, AValue->c_str(), 1);
    } else {
      unsetenv(AName);
    }
  }
  static constexpr const char* Names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

 private:
  std::vector<std::optional<std::string>> FSaved;
};

// ---------------------------------------------------------------------------------------------
// Description, units and entry points

TEST(VeltranePackageTest, DescriptionNamesThePackageAndItsHostPackages) {
  const veltrane::TVeltranePackageDescription& description = veltrane::PackageDescription();
  EXPECT_EQ(description.Name, "Veltrane");
  EXPECT_EQ(description.Description, "Veltrane Print Component Set");
  EXPECT_EQ(description.Kind, veltrane::vpkDesignAndRunTime);
#if VELTRANE_HOST_VERSION >= 4
  EXPECT_EQ(description.Requires, (std::vector<std::string>{"vcldb40", "vcl40"}));
#else
  EXPECT_EQ(description.Requires, (std::vector<std::string>{"vcldb30", "vcl30"}));
#endif
  EXPECT_EQ(description.Contains,
            (std::vector<std::string>{"VeltraneController", "VeltraneWord7", "VeltraneWord8"}));
  EXPECT_EQ(description.Units, UnitOrder);
  EXPECT_EQ(description.Version, "1.0.0.0");

  // The same as the host reads it from the resources.
  const auto* info = veltrane::FindPackageResource("PACKAGEINFO");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->Bytes, "Name=Veltrane\nKind=DesignAndRunTime\nRequires=" +
                             description.Requires[0] + "," + description.Requires[1] +
                             "\nContains=VeltraneController,VeltraneWord7,VeltraneWord8\n");
  EXPECT_EQ(veltrane::FindPackageResource("description")->Bytes, "Veltrane Print Component Set");
  EXPECT_EQ(veltrane::FindPackageResource("VERSION")->Bytes,
            "FileVersion=1.0.0.0\nProductVersion=1.0.0.0\nCompanyName=\nFileDescription=\n"
            "InternalName=\nLegalCopyright=\nLegalTrademarks=\nOriginalFilename=\nProductName=\n"
            "Comments=\n");
}

TEST(VeltranePackageTest, LoadingTwiceInitializesEachUnitOnceAndUnloadingFinalizesOnce) {
  struct TCounts {
    int Count, Inits, Fins;
  };
  std::vector<TCounts> before;
  for (const std::string& unit : UnitOrder) {
    before.push_back({veltrane::UnitInitCount(unit), veltrane::UnitInitializationRuns(unit),
                      veltrane::UnitFinalizationRuns(unit)});
    ASSERT_EQ(before.back().Count, 0) << unit;
  }
  const auto expect = [&](int ACount, int AInits, int AFins) {
    for (std::size_t i = 0; i < UnitOrder.size(); ++i) {
      SCOPED_TRACE(UnitOrder[i]);
      EXPECT_EQ(veltrane::UnitInitCount(UnitOrder[i]), ACount);
      EXPECT_EQ(veltrane::UnitInitializationRuns(UnitOrder[i]), before[i].Inits + AInits);
      EXPECT_EQ(veltrane::UnitFinalizationRuns(UnitOrder[i]), before[i].Fins + AFins);
    }
  };
  veltrane::Initialize();
  veltrane::Initialize();
  expect(2, 1, 0);
  EXPECT_TRUE(host::FindClass("TVeltraneController"));
  EXPECT_TRUE(host::HasClassProperties("TVeltraneWord7"));
  veltrane::Finalize();
  expect(1, 1, 0);
  veltrane::Finalize();
  expect(0, 1, 1);
  // An unbalanced Finalize finalizes nothing a second time.
  veltrane::Finalize();
  expect(0, 1, 1);

  // The host may run the sections itself through the table; they count the same way.
  const veltrane::TPackageInfoTable* table = veltrane::GetPackageInfoTable();
  ASSERT_EQ(table->UnitCount, static_cast<int>(UnitOrder.size()));
  for (int i = 0; i < table->UnitCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table->UnitInfo[i].Name, UnitOrder[i]);
    table->UnitInfo[i].Init();
    table->UnitInfo[i].Init();
  }
  expect(2, 2, 1);
  for (int i = table->UnitCount - 1; i >= 0; --i) {
    table->UnitInfo[i].FInit();
    table->UnitInfo[i].FInit();
  }
  expect(0, 2, 2);
  EXPECT_EQ(veltrane::UnitInitCount("VeltraneMissing"), -1);
}

TEST(VeltranePackageTest, PalettePageHoldsExactlyTheThreeComponents) {
  veltrane::Initialize();
  veltrane::RegisterPackageComponents();
  veltrane::RegisterPackage();  // again, as a designer that registers twice would
  const std::vector<std::string> expected = {"TVeltraneController", "TVeltraneWord7",
                                             "TVeltraneWord8"};
  // Other tests of this program may have registered some of them first, in another order.
  std::vector<std::string> page = host::PaletteClasses("Veltrane");
  std::sort(page.begin(), page.end());
  EXPECT_EQ(page, expected);
  for (const std::string& className : expected) {
    SCOPED_TRACE(className);
    const host::TComponentFactory factory = host::FindClass(className);
    ASSERT_TRUE(factory);
    std::unique_ptr<host::TComponent> component(factory(nullptr));
    EXPECT_EQ(component->ClassName(), className);
  }
  // The abstract bases are no components of the palette.
  EXPECT_FALSE(host::FindClass("TVeltranePrinter"));
  EXPECT_FALSE(host::FindClass("TVeltraneAuto"));
  veltrane::Finalize();
}

TEST(VeltranePackageTest, EntryPointsAreExportedFromTheSharedLibrary) {
  void* library = dlopen(VELTRANE_PACKAGE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  // The C entry points, and public names of the units under the C++ naming scheme.
  for (const char* name :
       {"Initialize", "Finalize", "GetPackageInfoTable", "VeltraneFindResource", "RegisterPackage",
        "_ZN8veltrane23VeltraneSupportedFieldsE", "_ZN8veltrane10controller8RegisterEv",
        "_ZN8veltrane5word78RegisterEv", "_ZN8veltrane5word88RegisterEv"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(dlsym(library, name), nullptr);
  }

  using TGetTable = const veltrane::TPackageInfoTable* (*)();
  auto getTable = reinterpret_cast<TGetTable>(dlsym(library, "GetPackageInfoTable"));
  ASSERT_NE(getTable, nullptr);
  const veltrane::TPackageInfoTable* table = getTable();
  ASSERT_EQ(table->UnitCount, 9);
  EXPECT_STREQ(table->UnitInfo[0].Name, "VeltraneException");
  EXPECT_STREQ(table->UnitInfo[8].Name, "VeltraneWord8");

  using TFind = const void* (*)(const char*, std::size_t*);
  auto find = reinterpret_cast<TFind>(dlsym(library, "VeltraneFindResource"));
  ASSERT_NE(find, nullptr);
  std::size_t size = 7;
  EXPECT_NE(find("tveltranecontroller", &size), nullptr);
  EXPECT_EQ(size, veltrane::PackageResources()[0].Bytes.size());
  EXPECT_EQ(find("NOSUCHBITMAP", &size), nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(find(nullptr, nullptr), nullptr);
  EXPECT_EQ(dlclose(library), 0);
}

// ---------------------------------------------------------------------------------------------
// Resources and the satellite

TEST(VeltranePackageTest, PaletteBitmapsAre24By24SixteenColourBitmaps) {
  for (const char* name : {"TVELTRANECONTROLLER", "TVELTRANEWORD7", "TVELTRANEWORD8"}) {
    SCOPED_TRACE(name);
    const veltrane::TVeltraneResource* resource = veltrane::FindPackageResource(name);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(resource->Type, veltrane::vrtBitmap);
    EXPECT_EQ(resource->Language, 1031);
    const std::string_view bytes = resource->Bytes;
    host::TPictureInfo info;
    ASSERT_TRUE(host::ReadPictureHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size(), info));
    EXPECT_EQ(info.Format, host::pfBMP);
    EXPECT_EQ(info.Width, 24);
    EXPECT_EQ(info.Height, 24);
    EXPECT_EQ(Word(bytes, 2, 4), bytes.size());  // the file size the header states
    EXPECT_EQ(Word(bytes, 28, 2), 4u);           // bits per pixel
    EXPECT_EQ(Word(bytes, 46, 4), 16u);          // colours
    EXPECT_EQ(bytes.size(), 14u + 40 + 64 + 24 * 12);
    // A drawing, not a blank: several colours, and the palette's face colour (silver, the
    // transparent one) in the bottom-left corner, where the designer takes it from.
    const std::size_t pixels = 14 + 40 + 64;
    EXPECT_EQ(bytes.substr(14 + 40 + 7 * 4, 4), std::string_view("\xC0\xC0\xC0\0", 4));
    EXPECT_EQ(static_cast<unsigned char>(bytes[pixels]) >> 4, 7);
    std::set<int> colours;
    for (std::size_t i = pixels; i < bytes.size(); ++i) {
      colours.insert(static_cast<unsigned char>(bytes[i]) >> 4);
      colours.insert(static_cast<unsigned char>(bytes[i]) & 0x0F);
    }
    EXPECT_GE(colours.size(), 4u);
  }
  // Each component has a picture of its own.
  EXPECT_NE(veltrane::FindPackageResource("TVELTRANEWORD7")->Bytes,
            veltrane::FindPackageResource("TVELTRANEWORD8")->Bytes);

  const veltrane::TVeltraneResource* icon = veltrane::FindPackageResource("MainIcon");
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Type, veltrane::vrtIcon);
  EXPECT_EQ(icon->Language, 1031);
  const std::string_view bytes = icon->Bytes;
  ASSERT_GE(bytes.size(), 22u + 40);
  EXPECT_EQ(Word(bytes, 0, 2), 0u);
  EXPECT_EQ(Word(bytes, 2, 2), 1u);  // an icon
  EXPECT_EQ(Word(bytes, 4, 2), 1u);  // one image
  EXPECT_EQ(Word(bytes, 6, 1), 32u);
  EXPECT_EQ(Word(bytes, 7, 1), 32u);
  EXPECT_EQ(Word(bytes, 8, 1), 16u);
  EXPECT_EQ(Word(bytes, 12, 2), 4u);
  EXPECT_EQ(Word(bytes, 14, 4) + Word(bytes, 18, 4), bytes.size());  // image fills the file
  EXPECT_EQ(Word(bytes, 22 + 8, 4), 64u);  // the image's height counts its mask
  // The mask, after the 32 rows of pixels, makes the corners transparent and the page opaque.
  const std::size_t mask = 22 + 40 + 64 + 32 * 16;
  EXPECT_EQ(static_cast<unsigned char>(bytes[mask]) & 0x80, 0x80);            // bottom left
  EXPECT_EQ(static_cast<unsigned char>(bytes[mask + 16 * 4 + 1]) & 0x80, 0);  // row 16, x 8
  EXPECT_EQ(veltrane::FindPackageResource("NOSUCHBITMAP"), nullptr);
}

TEST(VeltranePackageTest, WithoutSatelliteResourcesComeFromThePackage) {
  TModuleRestorer restorer;
  veltrane::test::TScratchDir dir;
  const std::string library = (dir / "libveltrane.so.1").string();
  veltrane::StartupPackageModule(library, "de_DE");
  EXPECT_EQ(veltrane::PackageModuleFileName(), library);
  EXPECT_EQ(veltrane::ResourceModule(), nullptr);
  for (const veltrane::TVeltraneResource& own : veltrane::PackageResources()) {
    SCOPED_TRACE(own.Name);
    EXPECT_EQ(veltrane::FindPackageResource(own.Name), &own);
  }
  veltrane::ShutdownPackageModule();
  EXPECT_EQ(veltrane::PackageModuleFileName(), "");
  EXPECT_NE(veltrane::FindPackageResource("TVELTRANEWORD8"), nullptr);
}

TEST(VeltranePackageTest, SatelliteBesideTheLibraryReplacesWhatItHolds) {
  TModuleRestorer restorer;
  veltrane::test::TScratchDir dir;
  const std::filesystem::path satellite = dir / "libveltrane.so.de";
  std::filesystem::create_directory(satellite);
  const std::string_view word7 = veltrane::FindPackageResource("TVELTRANEWORD7")->Bytes;
  std::ofstream(satellite / "TVELTRANEWORD8.bmp", std::ios::binary) << word7;
  std::ofstream(satellite / "MAINICON.ico", std::ios::binary) << "not an icon";
  std::ofstream(satellite / "TVELTRANEWORD7.bmp", std::ios::binary) << "BM cut short";
  std::ofstream(satellite / "DESCRIPTION.txt") << "Veltrane Druckkomponenten";

  veltrane::StartupPackageModule((dir / "libveltrane.so").string(), "de_DE");
  ASSERT_NE(veltrane::ResourceModule(), nullptr);
  EXPECT_EQ(veltrane::ResourceModule()->GetDirectory(), satellite.string());
  EXPECT_EQ(veltrane::ResourceModule()->GetCount(), 2);
  EXPECT_EQ(veltrane::FindPackageResource("TVELTRANEWORD8")->Bytes, word7);
  EXPECT_EQ(veltrane::FindPackageResource("DESCRIPTION")->Bytes, "Veltrane Druckkomponenten");
  // What the satellite lacks, or holds unusable, comes from the package.
  EXPECT_EQ(veltrane::FindPackageResource("MAINICON"), &veltrane::PackageResources()[3]);
  EXPECT_EQ(veltrane::FindPackageResource("TVELTRANEWORD7"), &veltrane::PackageResources()[1]);

  // Unloading releases the satellite; the package's own resources serve again.
  veltrane::ShutdownPackageModule();
  EXPECT_EQ(veltrane::ResourceModule(), nullptr);
  EXPECT_EQ(veltrane::FindPackageResource("TVELTRANEWORD8"), &veltrane::PackageResources()[2]);
}

TEST(VeltranePackageTest, SatelliteIsChosenByLanguageThenByLanguageAlone) {
  veltrane::test::TScratchDir dir;
  for (const char* name : {"libveltrane.so.de", "libveltrane.so.fr_CA", "libveltrane.so.it"}) {
    std::filesystem::create_directory(dir / name);
  }
  std::ofstream(dir / "libveltrane.so.it_IT") << "a file, not a satellite";
  const std::string module = (dir / "libveltrane.so.1.0.0").string();
  const struct {
    const char* Language;
    const char* Expected;  // the directory's name, "" for none
  } rows[] = {
      {"de_DE", "libveltrane.so.de"},
      {"de", "libveltrane.so.de"},
      {"fr_CA", "libveltrane.so.fr_CA"},
      {"fr_FR", ""},
      {"it_IT", "libveltrane.so.it"},
      {"", ""},
      {"../x", ""},
      {"de/../fr_CA", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Language);
    const std::string expected = *row.Expected == '\0' ? "" : (dir / row.Expected).string();
    EXPECT_EQ(veltrane::FindResourceModule(module, row.Language), expected);
  }
}

TEST(VeltranePackageTest, UserLanguageComesFromTheLocaleVariables) {
  TLocaleEnvironment environment;
  const struct {
    const char* All;
    const char* Messages;
    const char* Lang;
    const char* Expected;
  } rows[] = {
      {nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
      {"", "", "de_AT.ISO-8859-1@euro", "de_AT"},
      {nullptr, "fr_FR", "de_DE", "fr_FR"},
      {"it", "fr_FR", "de_DE", "it"},
      {"C", "fr_FR", "de_DE", ""},
      {nullptr, nullptr, "POSIX", ""},
      {nullptr, nullptr, nullptr, ""},
      {nullptr, nullptr, "../../etc", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Lang == nullptr ? "(unset)" : row.Lang);
    const char* values[] = {row.All, row.Messages, row.Lang};
    for (std::size_t i = 0; i < 3; ++i) {
      TLocaleEnvironment::Set(
          TLocaleEnvironment::Names[i],
          values[i] == nullptr ? std::nullopt : std::optional<std::string>(values[i]));
    }
    EXPECT_EQ(veltrane::UserLanguage(), row.Expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Form files

// A merge setup as the designer saves it, in the writer's layout: every property that differs
// from its default, references to components declared later, handler names.
const char* const MergeModule =
    "object Mailing: TDataModule\n"
    "  object Database: TSQLiteConnection\n"
    "    DatabaseName = 'DBFILE'\n"
    "    Connected = True\n"
    "  end\n"
    "  object Orders: TSQLiteQuery\n"
    "    Connection = Database\n"
    "    SQL.Strings = (\n"
    "      'SELECT id, customer FROM orders ORDER BY id')\n"
    "    Active = True\n"
    "  end\n"
    "  object OrderSource: TDataSource\n"
    "    DataSet = Orders\n"
    "  end\n"
    "  object Lines: TSQLiteQuery\n"
    "    Connection = Database\n"
    "    SQL.Strings = (\n"
    "      'SELECT item FROM lines'\n"
    "      'WHERE order_id = :id')\n"
    "    DataSource = OrderSource\n"
    "    Active = True\n"
    "  end\n"
    "  object LineSource: TDataSource\n"
    "    DataSet = Lines\n"
    "  end\n"
    "  object Controller: TVeltraneController\n"
    "    Additionalsources.Strings = (\n"
    "      'LineSource'\n"
    "      'Mailing.OrderSource')\n"
    "    AfterPrintField = FieldPrinted\n"
    "    BeforeEndOfGroup = GroupEnding\n"
    "    DatafieldMap.Strings = (\n"
    "      'Kunde=customer')\n"
    "    DatasourceMap.Strings = (\n"
    "      'Auftrag = OrderSource'\n"
    "      'Posten=LineSource')\n"
    "    Format = False\n"
    "    Datasource = OrderSource\n"
    "    VeltranePrinter = Printer\n"
    "    OnIdentifierValue = ValueAsked\n"
    "    OnOpen = Opened\n"
    "    UseInvisibleFields = True\n"
    "  end\n"
    "  object Printer: TVeltraneWord8\n"
    "    OnClose = Opened\n"
    "    BeforeFormatString = Formatting\n"
    "    BeforeLoadDoc = Opened\n"
    "    DbNamesSeparator = '.'\n"
    "    Docname = 'letters/Order ''A''.docx'\n"
    "    DocReadonly = True\n"
    "    MaskSeparator = '#'\n"
    "    Printername = 'Laser 2'\n"
    "    UseRunningServer = False\n"
    "  end\n"
    "  object Word95: TVeltraneWord7\n"
    "    DocReadonly = False\n"
    "    WordbasicDialect = wbdGerman\n"
    "  end\n"
    "end\n";

class VeltranePackageFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    veltrane::Initialize();
    const std::string db = (FDir / "shop.db").string();
    host::TSQLiteDatabase setup(db, false, true);
    setup.Execute(
        "CREATE TABLE orders (id INTEGER, customer TEXT);"
        "CREATE TABLE lines (order_id INTEGER, item TEXT);"
        "INSERT INTO orders VALUES (1, 'Smith'), (2, 'Jones');"
        "INSERT INTO lines VALUES (1, 'pen'), (2, 'ink'), (2, 'paper');");
    FText = MergeModule;
    FText.replace(FText.find("'DBFILE'"), 8, host::QuotedString(db));
  }
  void TearDown() override { veltrane::Finalize(); }

  std::unique_ptr<host::TComponent> Read(const std::string& AText) {
    return std::unique_ptr<host::TComponent>(host::ReadComponentText(AText, "mailing.vfm"));
  }

  veltrane::test::TScratchDir FDir;
  std::string FText;
};

TEST_F(VeltranePackageFormTest, DataModuleRoundTripsByteForByte) {
  auto root = Read(FText);
  EXPECT_EQ(host::WriteComponentText(root.get()), FText);

  auto* controller = dynamic_cast<TVeltraneController*>(root->FindComponent("Controller"));
  auto* printer = dynamic_cast<TVeltraneWord8*>(root->FindComponent("Printer"));
  auto* word95 = dynamic_cast<TVeltraneWord7*>(root->FindComponent("Word95"));
  ASSERT_TRUE(controller != nullptr && printer != nullptr && word95 != nullptr);
  // The reference to the printer, declared after the controller, is resolved.
  EXPECT_EQ(controller->GetVeltranePrinter(), printer);
  EXPECT_EQ(controller->GetDataSource(), root->FindComponent("OrderSource"));
  EXPECT_FALSE(controller->GetFormat());
  EXPECT_TRUE(controller->GetUseInvisibleFields());
  EXPECT_EQ(controller->GetDatasourceMap()->GetCount(), 2);
  EXPECT_EQ(printer->GetDbNamesSeparator(), '.');
  EXPECT_EQ(printer->GetMaskSeparator(), '#');
  EXPECT_EQ(printer->GetDocname(), "letters/Order 'A'.docx");
  EXPECT_TRUE(printer->GetDocReadonly());
  EXPECT_FALSE(printer->GetUseRunningServer());
  EXPECT_EQ(printer->GetVersion(), "1.05");
  EXPECT_EQ(word95->GetWordbasicDialect(), veltrane::wbdGerman);

  // The setup works as read: names go through the maps to the open data sets.
  ASSERT_NE(controller->GetDataSet(), nullptr);
  EXPECT_TRUE(controller->GetDataSet()->GetActive());
  EXPECT_EQ(controller->SearchDatasource("posten"), root->FindComponent("LineSource"));
  host::TField* customer = controller->SearchDataField(controller->GetDataSource(), "KUNDE");
  ASSERT_NE(customer, nullptr);
  EXPECT_EQ(customer->GetAsString(), "Smith");

  // Handlers are bound by the names the file keeps.
  EXPECT_EQ(host::GetEventHandlerName(controller, "OnIdentifierValue"), "ValueAsked");
  host::TEventHandlers handlers;
  std::string log;
  handlers.Add("Opened", host::TNotifyEvent([&](host::TObject*) { log += "opened "; }));
  handlers.Add("FieldPrinted", veltrane::TVeltranePrintEvent());
  handlers.Add("GroupEnding", veltrane::TVeltraneEndOfGroupEvent());
  handlers.Add("Formatting", veltrane::TVeltraneFormatStringEvent());
  handlers.Add("ValueAsked", veltrane::TVeltraneIdentifierValueEvent(
                                 [&](host::TObject*, const veltrane::TVeltraneIdentifier*,
                                     std::string& AValue) { AValue = "asked"; }));
  host::BindEventHandlers(root.get(), handlers);
  veltrane::TVeltraneIdentifier* greeting = printer->GetIdentifiers()->AddIdentifier("Greeting");
  EXPECT_EQ(controller->IdentifierValue(greeting), "asked");

  // A handler of the wrong type is refused, naming the component and the event.
  handlers.Add("ValueAsked", host::TNotifyEvent());
  EXPECT_EQ(ErrorOf([&] { host::BindEventHandlers(root.get(), handlers); }),
            "Event handler 'ValueAsked' does not fit Controller.OnIdentifierValue, which needs a "
            "TVeltraneIdentifierValueEvent");
}

TEST_F(VeltranePackageFormTest, DefaultsAreNotWrittenAndVersionNever) {
  TVeltraneController controller(nullptr);
  controller.SetName("Controller");
  TVeltraneWord8 printer(nullptr);
  printer.SetName("Printer");
  TVeltraneWord7 word95(nullptr);
  word95.SetName("Word95");
  // Only DocReadonly, which has no default, is written for a fresh printer.
  EXPECT_EQ(host::WriteComponentText(&controller), "object Controller: TVeltraneController\nend\n");
  EXPECT_EQ(host::WriteComponentText(&printer),
            "object Printer: TVeltraneWord8\n  DocReadonly = False\nend\n");
  EXPECT_EQ(host::WriteComponentText(&word95),
            "object Word95: TVeltraneWord7\n  DocReadonly = False\nend\n");

  // Each default-bearing property appears once it leaves its default and goes again with it.
  const struct {
    host::TComponent* Instance;
    const char* Property;
    host::TPropValue Changed;
    host::TPropValue Default;
    const char* Line;
  } rows[] = {
      {&controller, "Format", std::int64_t{0}, std::int64_t{1}, "  Format = False\n"},
      {&controller, "UseInvisibleFields", std::int64_t{1}, std::int64_t{0},
       "  UseInvisibleFields = True\n"},
      {&printer, "DbNamesSeparator", std::int64_t{'+'}, std::int64_t{'_'},
       "  DbNamesSeparator = '+'\n"},
      {&printer, "MaskSeparator", std::int64_t{'|'}, std::int64_t{'@'}, "  MaskSeparator = '|'\n"},
      {&printer, "UseRunningServer", std::int64_t{0}, std::int64_t{1},
       "  UseRunningServer = False\n"},
      {&word95, "WordbasicDialect", std::int64_t{veltrane::wbdRussian},
       std::int64_t{veltrane::wbdEnglish}, "  WordbasicDialect = wbdRussian\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Property);
    const host::TPropInfo* info = host::GetPropInfo(row.Instance, row.Property);
    ASSERT_NE(info, nullptr);
    const std::string plain = host::WriteComponentText(row.Instance);
    info->SetValue(row.Instance, row.Changed);
    EXPECT_NE(host::WriteComponentText(row.Instance).find(row.Line), std::string::npos);
    info->SetValue(row.Instance, row.Default);
    EXPECT_EQ(host::WriteComponentText(row.Instance), plain);
  }

  // A Version in a file is read without effect and never written back.
  auto root = Read(
      "object Controller: TVeltraneController\n  Version = '9.99'\nend\n"
      "");
  EXPECT_EQ(dynamic_cast<TVeltraneController*>(root.get())->GetVersion(), "1.05");
  EXPECT_EQ(host::WriteComponentText(root.get()), "object Controller: TVeltraneController\nend\n");
  auto read = Read("object P: TVeltraneWord7\n  Version = '2.0'\n  DocReadonly = True\nend\n");
  EXPECT_EQ(dynamic_cast<TVeltraneWord7*>(read.get())->GetVersion(), "1.05");
  EXPECT_EQ(host::WriteComponentText(read.get()),
            "object P: TVeltraneWord7\n  DocReadonly = True\nend\n");
}

TEST_F(VeltranePackageFormTest, PublishedPropertiesComeInTheirDeclaredOrder) {
  const struct {
    const char* ClassName;
    const char* Names;
  } rows[] = {
      {"TVeltraneController",
       "Name Tag Additionalsources AfterPrintField AfterPrintGroup AfterPrintRecord "
       "BeforeEndOfGroup BeforeNextGroup BeforePrintField BeforePrintGroup BeforePrintRecord "
       "DatafieldMap DatasourceMap Format Datasource VeltranePrinter OnClose "
       "OnIdentifierAvailable OnIdentifierCheck OnIdentifierValue OnOpen UseInvisibleFields "
       "Version"},
      {"TVeltraneWord8",
       "Name Tag OnOpen OnClose AfterFormatString BeforeFormatString AfterFreeDoc BeforeFreeDoc "
       "AfterInsertText BeforeInsertText AfterLoadDoc BeforeLoadDoc AfterPrintDoc "
       "BeforePrintDoc DbNamesSeparator Docname DocReadonly MaskSeparator Printername "
       "UseRunningServer Version"},
      {"TVeltraneWord7",
       "Name Tag OnOpen OnClose AfterFormatString BeforeFormatString AfterFreeDoc BeforeFreeDoc "
       "AfterInsertText BeforeInsertText AfterLoadDoc BeforeLoadDoc AfterPrintDoc "
       "BeforePrintDoc DbNamesSeparator Docname DocReadonly MaskSeparator Printername "
       "UseRunningServer Version WordbasicDialect"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ClassName);
    std::string names;
    for (const host::TPropInfo* info : host::GetPropList(row.ClassName)) {
      names += (names.empty() ? "" : " ") + info->GetName();
    }
    EXPECT_EQ(names, row.Names);
  }
}

TEST_F(VeltranePackageFormTest, BadValuesAreRefusedWithTheirPlace) {
  const struct {
    const char* Text;
    const char* Message;
  } rows[] = {
      {"object P: TVeltraneWord7\n  WordbasicDialect = wbdKlingon\nend\n",
       "mailing.vfm, line 2, column 22: Invalid value wbdKlingon for P.WordbasicDialect: expected "
       "one of wbdGerman, wbdEnglish, wbdFinnish, wbdSwedish, wbdDutch, wbdItalian, wbdFrench, "
       "wbdPortuguese, wbdSpanish, wbdNorwegian, wbdRussian"},
      {"object M: TDataModule\n"
       "  object S: TDataSource\n  end\n"
       "  object C: TVeltraneController\n    VeltranePrinter = S\n  end\n"
       "end\n",
       "mailing.vfm, line 5, column 23: C.VeltranePrinter: S is a TDataSource; property "
       "VeltranePrinter needs a TVeltranePrinter"},
      // The abstract printer cannot be made from a file.
      {"object P: TVeltranePrinter\nend\n",
       "mailing.vfm, line 1, column 11: Class TVeltranePrinter not found"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Text);
    const int before = host::Application()->GetComponentCount();
    EXPECT_EQ(ErrorOf([&] { Read(row.Text); }), row.Message);
    EXPECT_EQ(host::Application()->GetComponentCount(), before);
  }
}

}  // namespace
