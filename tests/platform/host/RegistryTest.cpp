#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/host/Registry.h"

using namespace host;

namespace {

const char* const Devices = "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\DEVICES";
const char* const Printers = "SYSTEM\\CURRENTCONTROLSET\\CONTROL\\PRINT\\PRINTERS";

// Installs test printers for one test and lets the next use read the print service again.
class TRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPrintersForTesting({{"Zeta Laser", "ipp://zeta/ipp"},
                           {"alpha", "socket://10.0.0.7"},
                           {"Über_Drucker", "file:///dev/null"}});
  }
  void TearDown() override { ResetPrinters(); }

  static std::vector<std::string> Lines(const TStringList& AList) { return AList.GetLines(); }
};

}  // namespace

TEST_F(TRegistryTest, DevicesKeyListsEveryPrinterInOrder) {
  TRegistry registry;
  EXPECT_EQ(registry.GetRootKey(), HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.OpenKey(Devices, false));
  TStringList names;
  registry.GetValueNames(&names);
  EXPECT_EQ(Lines(names), (std::vector<std::string>{"Zeta Laser", "alpha", "Über_Drucker", "PDF"}));
  const std::vector<std::pair<std::string, std::string>> values = {
      {"Zeta Laser", "winspool,ipp://zeta/ipp"},
      {"ALPHA", "winspool,socket://10.0.0.7"},
      {"Über_Drucker", "winspool,file:///dev/null"},
      {"pdf", "winspool,PDF:"},
      {"Missing", ""},
  };
  for (const auto& [name, value] : values) {
    SCOPED_TRACE(name);
    EXPECT_EQ(registry.ReadString(name), value);
    EXPECT_EQ(registry.ValueExists(name), !value.empty());
  }
  registry.GetKeyNames(&names);
  EXPECT_EQ(names.GetCount(), 0);
}

TEST_F(TRegistryTest, PrintersKeyHasOneKeyPerPrinterWithItsPort) {
  TRegistry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyReadOnly(Printers));
  TStringList names;
  registry.GetKeyNames(&names);
  EXPECT_EQ(Lines(names), (std::vector<std::string>{"Zeta Laser", "alpha", "Über_Drucker", "PDF"}));
  // A relative path opens below the open key.
  ASSERT_TRUE(registry.OpenKey("alpha", false));
  EXPECT_EQ(registry.GetCurrentPath(), std::string(Printers) + "\\alpha");
  EXPECT_EQ(registry.ReadString("Port"), "socket://10.0.0.7");
  ASSERT_TRUE(registry.OpenKey(std::string("\\") + Printers + "\\pdf", false));
  EXPECT_EQ(registry.ReadString("PORT"), "PDF:");
  registry.GetValueNames(&names);
  EXPECT_EQ(Lines(names), (std::vector<std::string>{"PORT"}));
}

TEST_F(TRegistryTest, PathsIgnoreCaseAndLeadingBackslash) {
  const std::vector<std::pair<HKEY, std::string>> opening = {
      {HKEY_CURRENT_USER, Devices},
      {HKEY_CURRENT_USER, "\\software\\microsoft\\windows nt\\currentversion\\devices"},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\"},
      {HKEY_LOCAL_MACHINE, "\\System\\CurrentControlSet\\Control\\Print\\Printers\\ZETA LASER"},
  };
  for (const auto& [root, path] : opening) {
    SCOPED_TRACE(path);
    TRegistry registry;
    registry.SetRootKey(root);
    EXPECT_TRUE(registry.KeyExists(path));
    EXPECT_TRUE(registry.OpenKey(path, false));
    EXPECT_TRUE(registry.GetHasCurrentKey());
  }
}

TEST_F(TRegistryTest, MissingKeysAndCreationAreRefused) {
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKey(Devices, false));
  const std::vector<std::pair<HKEY, std::string>> missing = {
      {HKEY_CURRENT_USER, "\\SOFTWARE\\Nobody"},
      {HKEY_CURRENT_USER, std::string("\\") + Printers},  // exists only below HKLM
      {HKEY_LOCAL_MACHINE, std::string("\\") + Printers + "\\Gone"},
      {HKEY_CLASSES_ROOT, "\\SOFTWARE"},
  };
  for (const auto& [root, path] : missing) {
    SCOPED_TRACE(path);
    TRegistry other;
    other.SetRootKey(root);
    EXPECT_FALSE(other.KeyExists(path));
    EXPECT_FALSE(other.OpenKey(path, false));
    EXPECT_FALSE(other.GetHasCurrentKey());
  }
  // Asking to create (even a key that exists) is refused and leaves the open key alone.
  EXPECT_FALSE(registry.OpenKey(std::string("\\") + Devices, true));
  EXPECT_FALSE(registry.OpenKey("\\SOFTWARE\\New", true));
  EXPECT_EQ(registry.GetCurrentPath(), Devices);
}

TEST_F(TRegistryTest, ReadingWithoutAnOpenKeyIsMisuse) {
  TRegistry registry;
  TStringList names;
  const std::vector<std::function<void()>> calls = {
      [&] { registry.ReadString("PDF"); },
      [&] { registry.ValueExists("PDF"); },
      [&] { registry.GetValueNames(&names); },
      [&] { registry.GetKeyNames(&names); },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    try {
      calls[i]();
      ADD_FAILURE() << "no error";
    } catch (const ERegistryException& error) {
      EXPECT_EQ(error.GetMessage(), "No registry key is open");
    }
  }
  ASSERT_TRUE(registry.OpenKey(Devices, false));
  registry.SetRootKey(HKEY_LOCAL_MACHINE);  // closes the key
  EXPECT_THROW(registry.ReadString("PDF"), ERegistryException);
  registry.SetRootKey(0x1234);
  EXPECT_THROW(registry.OpenKey("\\SOFTWARE", false), ERegistryException);
}

TEST_F(TRegistryTest, PublishedPrintersAreCleanedAndAlwaysEndWithPdf) {
  SetPrintersForTesting({{"pdf", "cups-pdf:/"},
                         {"Dup", "a"},
                         {"DUP", "b"},
                         {"Bad\\Name", "c"},
                         {"", "d"},
                         {"Good", "e"}});
  EXPECT_EQ(InstalledPrinters(), (std::vector<std::pair<std::string, std::string>>{
                                     {"Dup", "a"}, {"Good", "e"}, {"PDF", "PDF:"}}));
  SetPrintersForTesting({});
  EXPECT_EQ(InstalledPrinters(),
            (std::vector<std::pair<std::string, std::string>>{{"PDF", "PDF:"}}));
}

TEST_F(TRegistryTest, PrintServiceIsReadWithoutError) {
  // Whatever the machine has (often no print service at all), reading it must not fail and
  // the stand-in comes last.
  ResetPrinters();
  RefreshPrinters();
  const auto printers = InstalledPrinters();
  ASSERT_FALSE(printers.empty());
  EXPECT_EQ(printers.back(), (std::pair<std::string, std::string>{"PDF", "PDF:"}));
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKey(Devices, false));
  TStringList names;
  registry.GetValueNames(&names);
  EXPECT_EQ(names.GetCount(), static_cast<int>(printers.size()));
}
