#include "platform/host/Classes.h"

#include <algorithm>
#include <utility>

namespace host {

namespace {

constexpr const char* SListIndexError = "List index out of bounds (%d)";
constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
constexpr const char* SListCountError = "List count out of bounds (%d)";

bool IsValidIdent(const std::string& AName) {
  if (AName.empty()) return false;
  auto isAlpha = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  };
  if (!isAlpha(AName[0])) return false;
  return std::all_of(AName.begin(), AName.end(),
                     [&](char c) { return isAlpha(c) || (c >= '0' && c <= '9'); });
}

struct TRegistries {
  std::map<std::string, TComponentFactory> Classes;  // key: upper-case class name
  std::vector<std::pair<std::string, std::vector<std::string>>> Pages;
};

TRegistries& Registries() {
  static TRegistries registries;
  return registries;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TList

TList::~TList() = default;

void TList::Error(const std::string& AMessage, int AData) {
  throw EListError(AMessage, {AData});
}

int TList::Add(void* AItem) {
  FList.push_back(AItem);
  return GetCount() - 1;
}

void TList::Insert(int AIndex, void* AItem) {
  if (AIndex < 0 || AIndex > GetCount()) Error(SListIndexError, AIndex);
  FList.insert(FList.begin() + AIndex, AItem);
}

void* TList::Get(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) Error(SListIndexError, AIndex);
  return FList[static_cast<std::size_t>(AIndex)];
}

void TList::Put(int AIndex, void* AItem) {
  if (AIndex < 0 || AIndex >= GetCount()) Error(SListIndexError, AIndex);
  FList[static_cast<std::size_t>(AIndex)] = AItem;
}

void TList::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= GetCount()) Error(SListIndexError, AIndex);
  FList.erase(FList.begin() + AIndex);
}

int TList::Remove(void* AItem) {
  const int index = IndexOf(AItem);
  if (index >= 0) Delete(index);
  return index;
}

int TList::IndexOf(void* AItem) const {
  const auto it = std::find(FList.begin(), FList.end(), AItem);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void* TList::First() const { return Get(0); }

void* TList::Last() const { return Get(GetCount() - 1); }

void TList::Exchange(int AIndex1, int AIndex2) {
  if (AIndex1 < 0 || AIndex1 >= GetCount()) Error(SListIndexError, AIndex1);
  if (AIndex2 < 0 || AIndex2 >= GetCount()) Error(SListIndexError, AIndex2);
  std::swap(FList[static_cast<std::size_t>(AIndex1)], FList[static_cast<std::size_t>(AIndex2)]);
}

void TList::Move(int ACurIndex, int ANewIndex) {
  if (ACurIndex == ANewIndex) return;
  if (ANewIndex < 0 || ANewIndex >= GetCount()) Error(SListIndexError, ANewIndex);
  void* item = Get(ACurIndex);
  FList.erase(FList.begin() + ACurIndex);
  FList.insert(FList.begin() + ANewIndex, item);
}

void TList::Clear() {
  FList.clear();
  FList.shrink_to_fit();
}

void TList::Sort(TListSortCompare ACompare) {
  // A stable sort by the three-way comparison; the host's own quicksort gives no stability
  // guarantee, so callers can rely on nothing more than the order.
  std::stable_sort(FList.begin(), FList.end(),
                   [ACompare](void* a, void* b) { return ACompare(a, b) < 0; });
}

void TList::SetCount(int AValue) {
  if (AValue < 0) Error(SListCountError, AValue);
  FList.resize(static_cast<std::size_t>(AValue), nullptr);
}

void TList::SetCapacity(int AValue) {
  if (AValue < GetCount()) Error(SListCapacityError, AValue);
  FList.reserve(static_cast<std::size_t>(AValue));
}

// ---------------------------------------------------------------------------------------------
// TStringList

int TStringList::Add(const std::string& AValue) {
  FLines.push_back(AValue);
  return GetCount() - 1;
}

void TStringList::Insert(int AIndex, const std::string& AValue) {
  if (AIndex < 0 || AIndex > GetCount()) TList::Error(SListIndexError, AIndex);
  FLines.insert(FLines.begin() + AIndex, AValue);
}

void TStringList::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error(SListIndexError, AIndex);
  FLines.erase(FLines.begin() + AIndex);
}

void TStringList::Assign(const TStringList* ASource) {
  if (ASource == this) return;
  if (ASource == nullptr) {
    FLines.clear();
    return;
  }
  FLines = ASource->FLines;
}

const std::string& TStringList::Get(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error(SListIndexError, AIndex);
  return FLines[static_cast<std::size_t>(AIndex)];
}

void TStringList::Put(int AIndex, const std::string& AValue) {
  if (AIndex < 0 || AIndex >= GetCount()) TList::Error(SListIndexError, AIndex);
  FLines[static_cast<std::size_t>(AIndex)] = AValue;
}

int TStringList::IndexOf(const std::string& AValue) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (SameText(FLines[static_cast<std::size_t>(i)], AValue)) return i;
  }
  return -1;
}

std::string TStringList::GetName(int AIndex) const {
  const std::string& line = Get(AIndex);
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

int TStringList::IndexOfName(const std::string& AName) const {
  for (int i = 0; i < GetCount(); ++i) {
    const std::string& line = FLines[static_cast<std::size_t>(i)];
    const auto eq = line.find('=');
    if (eq != std::string::npos && SameText(line.substr(0, eq), AName)) return i;
  }
  return -1;
}

std::string TStringList::GetValue(const std::string& AName) const {
  const int index = IndexOfName(AName);
  if (index < 0) return {};
  const std::string& line = FLines[static_cast<std::size_t>(index)];
  return line.substr(line.find('=') + 1);
}

void TStringList::SetValue(const std::string& AName, const std::string& AValue) {
  const int index = IndexOfName(AName);
  if (index < 0) {
    Add(AName + "=" + AValue);
  } else {
    FLines[static_cast<std::size_t>(index)] = AName + "=" + AValue;
  }
}

std::string TStringList::GetText() const {
  std::string result;
  for (const std::string& line : FLines) {
    result += line;
    result += '\n';
  }
  return result;
}

void TStringList::SetText(const std::string& AValue) {
  FLines.clear();
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < AValue.size()) {
    const char c = AValue[i];
    if (c == '\r' || c == '\n') {
      FLines.push_back(AValue.substr(start, i - start));
      if (c == '\r' && i + 1 < AValue.size() && AValue[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ++i;
  }
  if (start < AValue.size()) FLines.push_back(AValue.substr(start));
}

// ---------------------------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  // Those who asked for a notice learn first, then the owned components go (last created
  // first), then the owner and its other components learn that this one goes.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& back = other->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, opRemove);
  }
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    RemoveComponent(child);
    delete child;
  }
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

TComponent* TComponent::GetComponents(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetComponentCount()) TList::Error(SListIndexError, AIndex);
  return FComponents[static_cast<std::size_t>(AIndex)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* component : FComponents) {
    if (SameText(component->FName, AName)) return component;
  }
  return nullptr;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& ANewName) const {
  if (ANewName.empty()) return;
  TComponent* existing = FindComponent(ANewName);
  if (existing != nullptr && existing != AComponent) {
    throw EComponentError("A component named %s already exists", {ANewName});
  }
}

void TComponent::SetName(const std::string& AValue) {
  if (AValue == FName) return;
  if (!AValue.empty() && !IsValidIdent(AValue)) {
    throw EComponentError("'%s' is not a valid component name", {AValue});
  }
  if (FOwner != nullptr) FOwner->ValidateRename(this, AValue);
  FName = AValue;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
  }
  auto& back = AComponent->FFreeNotifies;
  if (std::find(back.begin(), back.end(), this) == back.end()) back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                      FFreeNotifies.end());
  auto& back = AComponent->FFreeNotifies;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  ValidateRename(AComponent, AComponent->FName);
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent),
                    FComponents.end());
  AComponent->FOwner = nullptr;
}

void TComponent::Loaded() { FLoading = false; }

void TComponent::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // A copy: a handler may create or free components while the notice goes round.
  const std::vector<TComponent*> components = FComponents;
  for (TComponent* component : components) {
    if (component != AComponent || AOperation == opInsert) {
      component->Notification(AComponent, AOperation);
    }
  }
}

TApplication* Application() {
  static const std::unique_ptr<TApplication> application = std::make_unique<TApplication>(nullptr);
  return application.get();
}

// ---------------------------------------------------------------------------------------------
// Registries

void RegisterClass(const std::string& AClassName, TComponentFactory AFactory) {
  Registries().Classes[UpperCase(AClassName)] = std::move(AFactory);
}

TComponentFactory FindClass(const std::string& AClassName) {
  const auto& classes = Registries().Classes;
  const auto it = classes.find(UpperCase(AClassName));
  return it == classes.end() ? TComponentFactory() : it->second;
}

void RegisterComponents(const std::string& APage, const std::vector<std::string>& AClassNames) {
  auto& pages = Registries().Pages;
  auto page = std::find_if(pages.begin(), pages.end(),
                           [&](const auto& entry) { return entry.first == APage; });
  if (page == pages.end()) {
    pages.emplace_back(APage, std::vector<std::string>());
    page = std::prev(pages.end());
  }
  for (const std::string& className : AClassNames) {
    if (std::find(page->second.begin(), page->second.end(), className) == page->second.end()) {
      page->second.push_back(className);
    }
  }
}

std::vector<std::string> PaletteClasses(const std::string& APage) {
  for (const auto& [page, classes] : Registries().Pages) {
    if (page == APage) return classes;
  }
  return {};
}

std::vector<std::string> PalettePages() {
  std::vector<std::string> result;
  for (const auto& entry : Registries().Pages) result.push_back(entry.first);
  return result;
}

}  // namespace host
