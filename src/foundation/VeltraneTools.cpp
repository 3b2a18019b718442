#include "foundation/VeltraneTools.h"

#include <algorithm>

#include "platform/host/Registry.h"

namespace veltrane {

bool DatasourceUsable(const host::TDataSource* ADatasource) {
  return ADatasource != nullptr && ADatasource->GetDataSet() != nullptr &&
         ADatasource->GetDataSet()->GetActive();
}

std::string DisplayLabelToFieldName(const host::TField* AField, char ASeparator) {
  const std::string& label = AField->GetDisplayLabel();
  const auto separator = label.find(ASeparator);
  if (separator == std::string::npos) return label;
  return host::Trim(label.substr(0, separator));
}

std::string JustPath(const std::string& APath) {
  // Windows paths separate with '\', this platform's with '/'; either ends the folder part.
  const auto separator = APath.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : APath.substr(0, separator + 1);
}

std::string ExePath() { return JustPath(host::ParamStr(0)); }

host::TComponent* ForEachComponent(const TForEachComponentProc& AProc, const host::TVarRecs& AData,
                                   host::TComponent* AParent, bool ARecursive) {
  if (AParent == nullptr) return nullptr;
  for (int i = 0; i < AParent->GetComponentCount(); ++i) {
    host::TComponent* component = AParent->GetComponents(i);
    if (AProc(component, AData)) return component;
    if (ARecursive) {
      if (host::TComponent* found = ForEachComponent(AProc, AData, component, true)) return found;
    }
  }
  return nullptr;
}

std::string GetSubString(const std::string& AText, std::int64_t AIndex) {
  if (AIndex < 0) return {};
  std::size_t partStart = 0;
  for (;;) {
    const auto separator = AText.find(';', partStart);
    if (AIndex == 0) {
      return AText.substr(partStart, separator == std::string::npos ? std::string::npos
                                                                     : separator - partStart);
    }
    if (separator == std::string::npos) return {};
    --AIndex;
    partStart = separator + 1;
  }
}

std::string FormatInt(const std::string& AMask, std::int64_t AValue) {
  if (AMask.find(';') != std::string::npos && AMask[0] != '#' && AMask[0] != '0') {
    return GetSubString(AMask, AValue);
  }
  // Without a mask the number is written in full: going through a double would cut values
  // beyond 2^53.
  if (AMask.empty()) return host::IntToStr(AValue);
  return host::FormatFloat(AMask, static_cast<double>(AValue));
}

std::string FormatStr(const std::string& AMask, const std::string& AValue) {
  if (AMask.empty()) return AValue;
  if (AMask.find(';') != std::string::npos) return GetSubString(AMask, host::StrToInt(AValue));
  enum TAlignment { alNone, alLeft, alRight };
  TAlignment alignment = alNone;
  std::string width = AMask;
  if (AMask[0] == 'L' || AMask[0] == 'l') {
    alignment = alLeft;
    width.erase(0, 1);
  } else if (AMask[0] == 'R' || AMask[0] == 'r') {
    alignment = alRight;
    width.erase(0, 1);
  }
  // A width beyond a million characters is taken as a million: a mistyped mask must not make
  // the merge allocate gigabytes of blanks.
  const std::int64_t characters = std::min<std::int64_t>(host::StrToInt(width), 1 << 20);
  const int length = host::Utf8Length(AValue);
  if (characters < length) {
    return characters <= 0 ? std::string() : host::Utf8Left(AValue, static_cast<int>(characters));
  }
  const std::string padding(static_cast<std::size_t>(characters - length), ' ');
  return alignment == alRight ? padding + AValue : AValue + padding;
}

std::unique_ptr<host::TStringList> RegistryPrinterNames() {
  auto result = std::make_unique<host::TStringList>();
  host::TRegistry registry;
  if (host::Win32Platform == 2) {
    registry.SetRootKey(host::HKEY_CURRENT_USER);
    if (registry.OpenKey(R"(SOFTWARE\MICROSOFT\WINDOWS NT\CURRENTVERSION\DEVICES)", false)) {
      registry.GetValueNames(result.get());
    }
  } else {
    registry.SetRootKey(host::HKEY_LOCAL_MACHINE);
    if (registry.OpenKey(R"(SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS)", false)) {
      registry.GetKeyNames(result.get());
    }
  }
  return result;
}

}  // namespace veltrane
