#include "printer/VeltranePrinter.h"

#include "foundation/VeltraneException.h"
#include "foundation/VeltraneTools.h"

namespace veltrane {

TVeltranePrinter::TVeltranePrinter(host::TComponent* AOwner)
    : inherited(AOwner), FIdentifiers(std::make_unique<TVeltraneIdentifiers>()) {}

TVeltranePrinter::~TVeltranePrinter() {
  // The back-end's destructor has closed the connection already; Close skips a list that is
  // gone, so the order of these two steps does not matter to it.
  FIdentifiers.reset();
}

void TVeltranePrinter::Close() {
  if (FIdentifiers) FIdentifiers->Clear();
  FDocLoaded = false;
  inherited::Close();
}

// ---------------------------------------------------------------------------------------------
// Value formatting

std::string TVeltranePrinter::FormatString(const std::string& ASource,
                                           TVeltraneIdentifier* AIdentifier) {
  std::string result;
  std::string source = ASource;
  try {
    if (FBeforeFormatString) FBeforeFormatString(this, source, AIdentifier);
    result = DoFormatString(source, AIdentifier);
    if (FAfterFormatString) {
      std::string seen = source;
      FAfterFormatString(this, seen, AIdentifier);
    }
  } catch (const host::EAbort&) {
  }
  return result;
}

std::string TVeltranePrinter::DoFormatString(const std::string& ASource,
                                             const TVeltraneIdentifier* AIdentifier) {
  const std::string& mask = AIdentifier->GetMask();
  try {
    switch (AIdentifier->GetFieldType()) {
      case host::ftString:
        return FormatStr(mask, ASource);
      case host::ftSmallint:
      case host::ftInteger:
      case host::ftWord:
        return FormatInt(mask, host::StrToInt(ASource));
      case host::ftBoolean:
        if (mask.empty()) return ASource;
        return FormatInt(mask, ASource == host::DefaultFormatSettings().TrueBoolStr ? 1 : 0);
      case host::ftFloat:
      case host::ftBCD:
      case host::ftAutoInc:
        return host::FormatFloat(mask, host::StrToFloat(ASource));
      case host::ftCurrency:
        return host::FormatCurr(mask, host::StrToCurr(ASource));
      case host::ftDate:
      case host::ftTime:
      case host::ftDateTime:
        if (mask.empty()) return ASource;
        return host::FormatDateTime(mask, host::StrToDateTime(ASource));
      default:
        return ASource;
    }
  } catch (const host::EConvertError&) {
    return {};
  }
}

// ---------------------------------------------------------------------------------------------
// Document operations

std::string TVeltranePrinter::GetSelection() {
  std::string result;
  TestActive();
  result = DoGetSelection();
  return result;
}

void TVeltranePrinter::CopyClip() {
  TestActive();
  DoCopyClip();
}

void TVeltranePrinter::CopyDoc() {
  TestActive();
  DoCopyDoc();
}

void TVeltranePrinter::FreeDoc() {
  try {
    if (FBeforeFreeDoc) FBeforeFreeDoc(this);
    TestActive();
    DoFreeDoc();
    FDocLoaded = false;
    FIdentifiers->Clear();
    if (FAfterFreeDoc) FAfterFreeDoc(this);
  } catch (const host::EAbort&) {
  }
}

void TVeltranePrinter::GotoIdentifier(TVeltraneIdentifier* AIdentifier,
                                      TVeltraneGotoPosition APosition) {
  TestActive();
  DoGotoIdentifier(AIdentifier, APosition);
}

void TVeltranePrinter::GotoPos(TVeltraneGotoPosition APosition) {
  TestActive();
  DoGotoPos(APosition);
}

void TVeltranePrinter::InsertClip() {
  TestActive();
  DoInsertClip();
}

void TVeltranePrinter::InsertText(const std::string& AText) {
  try {
    std::string text = AText;
    if (FBeforeInsertText) FBeforeInsertText(this, text);
    TestActive();
    DoInsertText(text);
    if (FAfterInsertText) FAfterInsertText(this, text);
  } catch (const host::EAbort&) {
  }
}

void TVeltranePrinter::LoadDoc() {
  try {
    if (FBeforeLoadDoc) FBeforeLoadDoc(this);
    TestActive();
    if (FDocname.empty()) VeltraneError(verDocnameMissing);
    DoLoadDoc();
    FDocLoaded = true;
    ExtractIdentifiers();
    ExtractMasks();
    if (FAfterLoadDoc) FAfterLoadDoc(this);
  } catch (const host::EAbort&) {
  }
}

void TVeltranePrinter::PrintDoc() {
  try {
    if (FBeforePrintDoc) FBeforePrintDoc(this);
    TestActive();
    SetPrinter(FPrintername);
    DoPrintDoc();
    if (FAfterPrintDoc) FAfterPrintDoc(this);
  } catch (const host::EAbort&) {
  }
}

void TVeltranePrinter::DeleteSelection() {
  TestActive();
  DoDeleteSelection();
}

void TVeltranePrinter::RemoveIdentifier(const TVeltraneIdentifier* AIdentifier) {
  TestActive();
  DoRemoveIdentifier(AIdentifier);
}

void TVeltranePrinter::SaveDoc(const std::string& AFileName) {
  TestActive();
  if (AFileName.empty()) VeltraneError(verDocnameMissing);
  DoSaveDoc(AFileName);
}

void TVeltranePrinter::SelectIdentifier(TVeltraneIdentifier* AIdentifier) {
  TestActive();
  if (FIdentifiers->IndexOf(AIdentifier) < 0) {
    VeltraneErrorFmt(verIdentifierInvalid, {AIdentifier->GetName()});
  }
  DoSelectIdentifier(AIdentifier);
}

void TVeltranePrinter::SelectDoc(TVeltraneWorkdoc AWorkdoc) {
  TestActive();
  DoSelectDoc(AWorkdoc);
}

void TVeltranePrinter::SetPrinter(const std::string& APrinter) {
  TestActive();
  if (!APrinter.empty()) DoSetPrinter(APrinter);
}

void TVeltranePrinter::SetViewMode(TVeltraneViewmode AViewMode) {
  TestActive();
  DoSetViewMode(AViewMode);
}

// ---------------------------------------------------------------------------------------------
// Identifiers

void TVeltranePrinter::ExtractIdentifiers() {
  FIdentifiers->Clear();
  for (;;) {
    std::unique_ptr<TVeltraneIdentifier> identifier =
        DoGetIdentifier(FIdentifiers->GetCount() + 1);
    if (!identifier) break;
    FIdentifiers->Add(identifier.release());
  }
}

void TVeltranePrinter::ExtractMasks() {
  // The author writes the format into the placeholder itself ("Price@#,##0.00"); a group's text
  // holds other identifiers and yields no mask.
  const int count = FIdentifiers->GetCount();
  for (int i = 0; i < count; ++i) {
    TVeltraneIdentifier* identifier = FIdentifiers->Get(i);
    if (identifier->GetIsGroup()) continue;
    SelectIdentifier(identifier);
    identifier->SetMask(GetSelection());
  }
}

void TVeltranePrinter::ReplaceIdentifier(TVeltraneIdentifier* AIdentifier,
                                         const std::string& AValue, bool AFormat,
                                         bool AUseClipboard) {
  SelectIdentifier(AIdentifier);
  RemoveIdentifier(AIdentifier);
  if (AUseClipboard) {
    InsertClip();
  } else if (AFormat) {
    InsertText(FormatString(AValue, AIdentifier));
  } else {
    InsertText(AValue);
  }
}

void TVeltranePrinter::ReplaceName(const std::string& AName, const std::string& AValue,
                                   bool AFormat, bool AUseClipboard) {
  TVeltraneIdentifier* identifier = FIdentifiers->Find(AName);
  if (identifier == nullptr) VeltraneErrorFmt(verIdentifierInvalid, {AName});
  ReplaceIdentifier(identifier, AValue, AFormat, AUseClipboard);
}

bool TVeltranePrinter::GetDocLoaded() {
  if (FDocLoaded) {
    try {
      SelectDoc(vwdOriginal);
    } catch (const host::Exception&) {
      FDocLoaded = false;
    }
  }
  return FDocLoaded;
}

// ---------------------------------------------------------------------------------------------
// Properties

char TVeltranePrinter::GetDbNamesSeparator() const { return FIdentifiers->GetDbNamesSeparator(); }

void TVeltranePrinter::SetDbNamesSeparator(char AValue) {
  if (AValue != GetDbNamesSeparator()) FIdentifiers->SetDbNamesSeparator(AValue);
}

char TVeltranePrinter::GetMaskSeparator() const { return FIdentifiers->GetMaskSeparator(); }

void TVeltranePrinter::SetMaskSeparator(char AValue) {
  if (AValue != GetMaskSeparator()) FIdentifiers->SetMaskSeparator(AValue);
}

void TVeltranePrinter::SetDocname(const std::string& AValue) {
  if (AValue == FDocname) return;
  FDocname = AValue;
  FDocLoaded = false;
}

void TVeltranePrinter::SetVersion(const std::string& AValue) {
  if (FVersion.empty()) FVersion = AValue;
}

}  // namespace veltrane
