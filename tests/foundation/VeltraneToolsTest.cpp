#include "foundation/VeltraneTools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/Registry.h"

using namespace veltrane;

TEST(VeltraneToolsTest, GetSubStringPicksPartsBetweenSemicolons) {
  struct TRow {
    std::string Text;
    std::int64_t Index;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {"a;b;c", 0, "a"}, {"a;b;c", 2, "c"}, {"a;b;c", 3, ""}, {"a;;c", 1, ""},
      {"a;b;", 2, ""},   {"", 0, ""},       {"a;b", -1, ""},  {"abc", 0, "abc"},
      {";x", 0, ""},     {";x", 1, "x"},    {"a;b", 1LL << 40, ""},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text + " #" + std::to_string(row.Index));
    EXPECT_EQ(GetSubString(row.Text, row.Index), row.Expected);
  }
}

TEST(VeltraneToolsTest, FormatStrAlignsCutsAndChooses) {
  struct TRow {
    std::string Mask;
    std::string Value;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {"", "abc", "abc"},
      {"", "", ""},
      {"10", "abc", "abc       "},
      {"R10", "abc", "       abc"},
      {"r5", "abc", "  abc"},
      {"L3", "abc", "abc"},
      {"l6", "abc", "abc   "},
      {"2", "abc", "ab"},
      {"R2", "abc", "ab"},
      {"0", "", ""},
      {"-3", "abc", ""},
      {"a;b;c", "1", "b"},
      {"a;b;c", "5", ""},
      {"R6", "Müller", "Müller"},  // characters, not bytes
      {"R8", "Müller", "  Müller"},
      {"3", "Ärger", "Ärg"},       // never cut inside a character
      {"4", "日本語テキスト", "日本語テ"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Mask + " / " + row.Value);
    EXPECT_EQ(FormatStr(row.Mask, row.Value), row.Expected);
  }
}

TEST(VeltraneToolsTest, FormatStrRaisesForWidthsAndChoicesThatAreNoNumbers) {
  for (const auto& [mask, value] : std::vector<std::pair<std::string, std::string>>{
           {"R", "abc"}, {"x5", "abc"}, {"a;b", "one"}, {"L5 ", "abc"}}) {
    SCOPED_TRACE(mask);
    EXPECT_THROW(FormatStr(mask, value), host::EConvertError);
  }
}

TEST(VeltraneToolsTest, FormatStrCapsAbsurdWidths) {
  EXPECT_EQ(host::Utf8Length(FormatStr("999999999999", "x")), 1 << 20);
}

TEST(VeltraneToolsTest, FormatIntChoosesOrFormatsTheNumber) {
  struct TRow {
    std::string Mask;
    std::int64_t Value;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {"No;Yes", 1, "Yes"},
      {"No;Yes", 0, "No"},
      {"No;Yes", 2, ""},
      {"No;Yes", -1, ""},
      {"zero;one;two", 1, "one"},
      {"0;(0)", -5, "(5)"},  // starts with '0': number format sections
      {"#,##0", 1234567, "1,234,567"},
      {"", 42, "42"},
      {"", 9007199254740993LL, "9007199254740993"},  // beyond a double's precision
  };
  const host::TFormatSettings saved = host::DefaultFormatSettings();
  host::DefaultFormatSettings() = host::TFormatSettings();  // US separators
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Mask + " / " + std::to_string(row.Value));
    EXPECT_EQ(FormatInt(row.Mask, row.Value), row.Expected);
  }
  host::DefaultFormatSettings() = saved;
}

TEST(VeltraneToolsTest, DisplayLabelIsCutAtTheSeparatorAndTrimmed) {
  host::TMemDataSet data(nullptr);
  data.GetFieldDefs()->Add("Price", host::ftFloat);
  data.Open();
  host::TField* field = data.GetFields(0);
  struct TRow {
    std::string Label;
    std::string Expected;
  };
  for (const TRow& row : std::vector<TRow>{{"Price @ #,##0.00", "Price"},
                                           {"@x", ""},
                                           {" Name ", " Name "},
                                           {"A@b@c", "A"}}) {
    SCOPED_TRACE(row.Label);
    field->SetDisplayLabel(row.Label);
    EXPECT_EQ(DisplayLabelToFieldName(field, '@'), row.Expected);
  }
}

TEST(VeltraneToolsTest, DatasourceIsUsableOnlyWithAnActiveDataSet) {
  EXPECT_FALSE(DatasourceUsable(nullptr));
  host::TDataSource source(nullptr);
  EXPECT_FALSE(DatasourceUsable(&source));
  host::TMemDataSet data(nullptr);
  data.GetFieldDefs()->Add("Name", host::ftString, 20);
  source.SetDataSet(&data);
  EXPECT_FALSE(DatasourceUsable(&source));
  data.Open();
  EXPECT_TRUE(DatasourceUsable(&source));
  data.Close();
  EXPECT_FALSE(DatasourceUsable(&source));
}

TEST(VeltraneToolsTest, ForEachComponentWalksDepthFirstAndStopsAtTheFirstMatch) {
  host::TComponent root(nullptr);
  auto* a = new host::TComponent(&root);
  a->SetName("A");
  auto* a1 = new host::TComponent(a);
  a1->SetName("Target");
  auto* b = new host::TComponent(&root);
  b->SetName("Target");
  std::vector<std::string> visited;
  const TForEachComponentProc byName = [&](host::TComponent* AComponent,
                                           const host::TVarRecs& AData) {
    visited.push_back(AComponent->GetName());
    return host::SameText(AComponent->GetName(), AData[0].GetString());
  };
  EXPECT_EQ(ForEachComponent(byName, {"target"}, &root, true), a1);
  EXPECT_EQ(visited, (std::vector<std::string>{"A", "Target"}));
  visited.clear();
  EXPECT_EQ(ForEachComponent(byName, {"target"}, &root, false), b);
  EXPECT_EQ(visited, (std::vector<std::string>{"A", "Target"}));
  EXPECT_EQ(ForEachComponent(byName, {"A"}, nullptr, true), nullptr);
  EXPECT_EQ(ForEachComponent(byName, {"nothing"}, &root, true), nullptr);
  // A component is tested before the components it owns.
  a1->SetName("A1");
  const TForEachComponentProc any = [](host::TComponent*, const host::TVarRecs&) { return true; };
  EXPECT_EQ(ForEachComponent(any, {}, &root, true), a);
}

TEST(VeltraneToolsTest, JustPathKeepsTheFolderWithItsSeparator) {
  struct TRow {
    std::string Path;
    std::string Expected;
  };
  for (const TRow& row : std::vector<TRow>{{"C:\\Docs\\Letter.doc", "C:\\Docs\\"},
                                           {"C:\\Docs\\", "C:\\Docs\\"},
                                           {"Letter.doc", ""},
                                           {"C:Letter.doc", ""},
                                           {"", ""},
                                           {"/home/anna/letter.docx", "/home/anna/"}}) {
    SCOPED_TRACE(row.Path);
    EXPECT_EQ(JustPath(row.Path), row.Expected);
  }
  const std::string exe = ExePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.back(), '/');
}

TEST(VeltraneToolsTest, RegistryPrinterNamesListsTheInstalledPrinters) {
  host::SetPrintersForTesting({{"Laser", "ipp://printer/ipp"}, {"Büro", "usb://x"}});
  std::unique_ptr<host::TStringList> names = RegistryPrinterNames();
  host::ResetPrinters();
  ASSERT_NE(names, nullptr);
  EXPECT_NE(names->IndexOf("Laser"), -1);
  EXPECT_NE(names->IndexOf("Büro"), -1);
}
