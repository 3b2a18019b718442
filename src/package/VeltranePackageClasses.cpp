#include "package/VeltranePackageClasses.h"

#include <array>
#include <string>
#include <vector>

#include "controller/VeltraneController.h"
#include "platform/host/TypInfo.h"
#include "printer/VeltraneAuto.h"
#include "printer/VeltranePrinter.h"
#include "word/VeltraneWord7.h"
#include "word/VeltraneWord7Dialects.h"
#include "word/VeltraneWord8.h"

namespace veltrane {

namespace {

// The dialects by ordinal, as form files spell them.
constexpr std::array<const char*, WordbasicDialectCount> DialectNames = {
    "wbdGerman",      // 0
    "wbdEnglish",     // 1
    "wbdFinnish",     // 2
    "wbdSwedish",     // 3
    "wbdDutch",       // 4
    "wbdItalian",     // 5
    "wbdFrench",      // 6
    "wbdPortuguese",  // 7
    "wbdSpanish",     // 8
    "wbdNorwegian",   // 9
    "wbdRussian",     // 10
};
static_assert(DialectNames.size() == wbdRussian + 1, "one name per dialect");

}  // namespace

void RegisterAutoProperties() {
  host::RegisterProperties<TVeltraneAuto>("TVeltraneAuto", "TComponent")
      .Event<host::TNotifyEvent>("OnOpen", "TNotifyEvent", &TVeltraneAuto::SetOnOpen)
      .Event<host::TNotifyEvent>("OnClose", "TNotifyEvent", &TVeltraneAuto::SetOnClose);
}

// The printer is abstract: it gets properties for its back-ends to inherit, but no factory.
// DocReadonly has no stream default, so it is always written; the separators and the server
// choice are written only when they differ from the values every printer starts with.
void RegisterPrinterProperties() {
  using T = TVeltranePrinter;
  host::RegisterProperties<T>("TVeltranePrinter", "TVeltraneAuto")
      .Event<TVeltraneFormatStringEvent>("AfterFormatString", "TVeltraneFormatStringEvent",
                                         &T::SetAfterFormatString)
      .Event<TVeltraneFormatStringEvent>("BeforeFormatString", "TVeltraneFormatStringEvent",
                                         &T::SetBeforeFormatString)
      .Event<host::TNotifyEvent>("AfterFreeDoc", "TNotifyEvent", &T::SetAfterFreeDoc)
      .Event<host::TNotifyEvent>("BeforeFreeDoc", "TNotifyEvent", &T::SetBeforeFreeDoc)
      .Event<TVeltraneInsertTextEvent>("AfterInsertText", "TVeltraneInsertTextEvent",
                                       &T::SetAfterInsertText)
      .Event<TVeltraneInsertTextEvent>("BeforeInsertText", "TVeltraneInsertTextEvent",
                                       &T::SetBeforeInsertText)
      .Event<host::TNotifyEvent>("AfterLoadDoc", "TNotifyEvent", &T::SetAfterLoadDoc)
      .Event<host::TNotifyEvent>("BeforeLoadDoc", "TNotifyEvent", &T::SetBeforeLoadDoc)
      .Event<host::TNotifyEvent>("AfterPrintDoc", "TNotifyEvent", &T::SetAfterPrintDoc)
      .Event<host::TNotifyEvent>("BeforePrintDoc", "TNotifyEvent", &T::SetBeforePrintDoc)
      .Char("DbNamesSeparator", &T::GetDbNamesSeparator, &T::SetDbNamesSeparator, '_')
      .String("Docname", &T::GetDocname, &T::SetDocname)
      .Boolean("DocReadonly", &T::GetDocReadonly, &T::SetDocReadonly)
      .Char("MaskSeparator", &T::GetMaskSeparator, &T::SetMaskSeparator, '@')
      .String("Printername", &T::GetPrintername, &T::SetPrintername)
      .Boolean("UseRunningServer", &T::GetUseRunningServer, &T::SetUseRunningServer, true)
      .String("Version", &T::GetVersion, &T::SetVersion)
      .Stored(false);
}

// The properties in the order the controller declares them. Datasource and VeltranePrinter are
// references, resolved after the whole file is read, so either may be declared after the
// controller.
void RegisterControllerClass() {
  using T = TVeltraneController;
  host::RegisterClass("TVeltraneController",
                      [](host::TComponent* AOwner) { return new TVeltraneController(AOwner); });
  host::RegisterProperties<T>("TVeltraneController", "TComponent")
      .Strings("Additionalsources", &T::GetAdditionalsources, &T::SetAdditionalSources)
      .Event<TVeltranePrintEvent>("AfterPrintField", "TVeltranePrintEvent", &T::SetAfterPrintField)
      .Event<TVeltranePrintEvent>("AfterPrintGroup", "TVeltranePrintEvent", &T::SetAfterPrintGroup)
      .Event<TVeltranePrintEvent>("AfterPrintRecord", "TVeltranePrintEvent",
                                  &T::SetAfterPrintRecord)
      .Event<TVeltraneEndOfGroupEvent>("BeforeEndOfGroup", "TVeltraneEndOfGroupEvent",
                                       &T::SetBeforeEndOfGroup)
      .Event<TVeltranePrintEvent>("BeforeNextGroup", "TVeltranePrintEvent", &T::SetBeforeNextGroup)
      .Event<TVeltranePrintEvent>("BeforePrintField", "TVeltranePrintEvent",
                                  &T::SetBeforePrintField)
      .Event<TVeltranePrintEvent>("BeforePrintGroup", "TVeltranePrintEvent",
                                  &T::SetBeforePrintGroup)
      .Event<TVeltranePrintEvent>("BeforePrintRecord", "TVeltranePrintEvent",
                                  &T::SetBeforePrintRecord)
      .Strings("DatafieldMap", &T::GetDatafieldMap, &T::SetDatafieldmap)
      .Strings("DatasourceMap", &T::GetDatasourceMap, &T::SetDatasourceMap)
      .Boolean("Format", &T::GetFormat, &T::SetFormat, true)
      .Component("Datasource", "TDataSource", &T::GetDataSource, &T::SetDataSource)
      .Component("VeltranePrinter", "TVeltranePrinter", &T::GetVeltranePrinter,
                 &T::SetVeltranePrinter)
      .Event<host::TNotifyEvent>("OnClose", "TNotifyEvent", &T::SetOnClose)
      .Event<host::TNotifyEvent>("OnIdentifierAvailable", "TNotifyEvent",
                                 &T::SetOnIdentifierAvailable)
      .Event<TVeltraneIdentifierCheckEvent>("OnIdentifierCheck", "TVeltraneIdentifierCheckEvent",
                                            &T::SetOnIdentifierCheck)
      .Event<TVeltraneIdentifierValueEvent>("OnIdentifierValue", "TVeltraneIdentifierValueEvent",
                                            &T::SetOnIdentifierValue)
      .Event<host::TNotifyEvent>("OnOpen", "TNotifyEvent", &T::SetOnOpen)
      .Boolean("UseInvisibleFields", &T::GetUseInvisibleFields, &T::SetUseInvisibleFields, false)
      .String("Version", &T::GetVersion, &T::SetVersion)
      .Stored(false);
}

void RegisterWord7Class() {
  host::RegisterClass("TVeltraneWord7",
                      [](host::TComponent* AOwner) { return new TVeltraneWord7(AOwner); });
  host::RegisterProperties<TVeltraneWord7>("TVeltraneWord7", "TVeltranePrinter")
      .Enumeration("WordbasicDialect", "TVeltraneWordbasicDialect",
                   std::vector<std::string>(DialectNames.begin(), DialectNames.end()),
                   &TVeltraneWord7::GetWordbasicDialect, &TVeltraneWord7::SetWordbasicDialect,
                   wbdEnglish);
}

// The Word 97 printer publishes nothing beyond the printer's properties.
void RegisterWord8Class() {
  host::RegisterClass("TVeltraneWord8",
                      [](host::TComponent* AOwner) { return new TVeltraneWord8(AOwner); });
  host::RegisterProperties<TVeltraneWord8>("TVeltraneWord8", "TVeltranePrinter");
}

}  // namespace veltrane
