#include "platform/host/Registry.h"

#include <cups/cups.h>

#include <memory>
#include <mutex>
#include <optional>

namespace host {

namespace {

constexpr const char* SNoKeyOpen = "No registry key is open";
constexpr const char* SInvalidRootKey = "Invalid registry root key %d";
constexpr const char* DevicesKey = R"(SOFTWARE\MICROSOFT\WINDOWS NT\CURRENTVERSION\DEVICES)";
constexpr const char* PrintersKey = R"(SYSTEM\CURRENTCONTROLSET\CONTROL\PRINT\PRINTERS)";

using TPrinterList = std::vector<std::pair<std::string, std::string>>;

// One key of the tree: its subkeys and its values, both in order.
struct TKeyNode {
  std::string Name;
  std::vector<std::unique_ptr<TKeyNode>> Keys;
  TPrinterList Values;  // name, data

  const TKeyNode* FindKey(const std::string& AName) const {
    for (const auto& key : Keys) {
      if (SameText(key->Name, AName)) return key.get();
    }
    return nullptr;
  }
  TKeyNode* AddKey(const std::string& AName) {
    for (const auto& key : Keys) {
      if (SameText(key->Name, AName)) return key.get();
    }
    Keys.push_back(std::make_unique<TKeyNode>());
    Keys.back()->Name = AName;
    return Keys.back().get();
  }
};

// The whole tree, one node per root key. Built from a printer list and never changed after:
// registry objects keep a snapshot, so a refresh cannot pull a key from under a reader.
struct TRegistryTree {
  TKeyNode CurrentUser;
  TKeyNode LocalMachine;
  TKeyNode Empty;  // the other root keys

  const TKeyNode* Root(HKEY ARootKey) const {
    switch (ARootKey) {
      case HKEY_CURRENT_USER:
        return &CurrentUser;
      case HKEY_LOCAL_MACHINE:
        return &LocalMachine;
      case HKEY_CLASSES_ROOT:
      case HKEY_USERS:
      case HKEY_CURRENT_CONFIG:
        return &Empty;
      default:
        return nullptr;
    }
  }
};

std::vector<std::string> SplitPath(const std::string& APath) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : APath) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

TKeyNode* AddPath(TKeyNode& ARoot, const std::string& APath) {
  TKeyNode* node = &ARoot;
  for (const std::string& part : SplitPath(APath)) node = node->AddKey(part);
  return node;
}

std::shared_ptr<const TRegistryTree> BuildTree(const TPrinterList& APrinters) {
  auto tree = std::make_shared<TRegistryTree>();
  TKeyNode* devices = AddPath(tree->CurrentUser, DevicesKey);
  TKeyNode* printers = AddPath(tree->LocalMachine, PrintersKey);
  for (const auto& [name, port] : APrinters) {
    devices->Values.emplace_back(name, "winspool," + port);
    printers->AddKey(name)->Values.emplace_back("PORT", port);
  }
  return tree;
}

// A printer name that the tree can hold: not empty, no backslash (it would split the key
// path), no control characters.
bool UsablePrinterName(const std::string& AName) {
  if (AName.empty()) return false;
  for (unsigned char c : AName) {
    if (c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

// The queues of the print service. No service, or none running, gives no queues: libcups then
// answers with no destinations (and IPP_STATUS_ERROR_SERVICE_UNAVAILABLE), which is no error
// for us.
TPrinterList ReadCupsPrinters() {
  TPrinterList result;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    if (dest.name == nullptr || dest.instance != nullptr) continue;
    const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options);
    if (uri == nullptr)
      uri = cupsGetOption("printer-uri-supported", dest.num_options, dest.options);
    result.emplace_back(dest.name, uri != nullptr ? uri : dest.name);
  }
  cupsFreeDests(count, dests);
  return result;
}

// The published list: the given queues that the tree can hold, each name once (compared
// without regard to case), then the "PDF" stand-in, which takes precedence over a queue of
// the same name.
TPrinterList PublishedPrinters(const TPrinterList& AQueues) {
  TPrinterList result;
  for (const auto& printer : AQueues) {
    if (!UsablePrinterName(printer.first) || SameText(printer.first, PdfPrinterName)) continue;
    bool seen = false;
    for (const auto& other : result) seen = seen || SameText(other.first, printer.first);
    if (!seen) result.push_back(printer);
  }
  result.emplace_back(PdfPrinterName, PdfPrinterPort);
  return result;
}

struct TPrinterState {
  std::mutex Lock;
  std::optional<TPrinterList> Testing;
  TPrinterList Printers;
  std::shared_ptr<const TRegistryTree> Tree;  // null until first use
};

TPrinterState& State() {
  static TPrinterState state;
  return state;
}

// Builds the list and the tree when they are not there; the caller holds the lock.
void EnsureLoaded(TPrinterState& AState) {
  if (AState.Tree != nullptr) return;
  AState.Printers = PublishedPrinters(AState.Testing ? *AState.Testing : ReadCupsPrinters());
  AState.Tree = BuildTree(AState.Printers);
}

std::shared_ptr<const TRegistryTree> CurrentTree() {
  TPrinterState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  EnsureLoaded(state);
  return state.Tree;
}

const TKeyNode* FindPath(const TKeyNode* ARoot, const std::string& APath) {
  const TKeyNode* node = ARoot;
  for (const std::string& part : SplitPath(APath)) {
    if (node == nullptr) return nullptr;
    node = node->FindKey(part);
  }
  return node;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TRegistry

void TRegistry::SetRootKey(HKEY AValue) {
  CloseKey();
  FRootKey = AValue;
}

std::string TRegistry::ResolvePath(const std::string& AKey) const {
  if (!AKey.empty() && AKey[0] == '\\') return AKey;
  return FHasCurrentKey ? FCurrentPath + "\\" + AKey : AKey;
}

bool TRegistry::OpenKey(const std::string& AKey, bool ACanCreate) {
  if (ACanCreate) return false;
  return OpenKeyReadOnly(AKey);
}

bool TRegistry::OpenKeyReadOnly(const std::string& AKey) {
  const auto tree = CurrentTree();
  const TKeyNode* root = tree->Root(FRootKey);
  if (root == nullptr)
    throw ERegistryException(SInvalidRootKey, {static_cast<long long>(FRootKey)});
  const std::string path = ResolvePath(AKey);
  if (FindPath(root, path) == nullptr) return false;
  // The path as the tree spells it, so that GetCurrentPath reads the same for any spelling.
  std::string spelled;
  const TKeyNode* node = root;
  for (const std::string& part : SplitPath(path)) {
    node = node->FindKey(part);
    if (!spelled.empty()) spelled += '\\';
    spelled += node->Name;
  }
  FCurrentPath = spelled;
  FHasCurrentKey = true;
  return true;
}

void TRegistry::CloseKey() {
  FCurrentPath.clear();
  FHasCurrentKey = false;
}

bool TRegistry::KeyExists(const std::string& AKey) const {
  const auto tree = CurrentTree();
  const TKeyNode* root = tree->Root(FRootKey);
  return root != nullptr && FindPath(root, ResolvePath(AKey)) != nullptr;
}

void TRegistry::CheckOpen() const {
  if (!FHasCurrentKey) throw ERegistryException(SNoKeyOpen);
}

void TRegistry::GetKeyNames(TStringList* AStrings) const {
  CheckOpen();
  if (AStrings == nullptr) return;
  AStrings->Clear();
  const auto tree = CurrentTree();
  // A refresh may have dropped the key since it was opened: it then has no subkeys.
  if (const TKeyNode* node = FindPath(tree->Root(FRootKey), FCurrentPath)) {
    for (const auto& key : node->Keys) AStrings->Add(key->Name);
  }
}

void TRegistry::GetValueNames(TStringList* AStrings) const {
  CheckOpen();
  if (AStrings == nullptr) return;
  AStrings->Clear();
  const auto tree = CurrentTree();
  if (const TKeyNode* node = FindPath(tree->Root(FRootKey), FCurrentPath)) {
    for (const auto& value : node->Values) AStrings->Add(value.first);
  }
}

bool TRegistry::ValueExists(const std::string& AName) const {
  CheckOpen();
  const auto tree = CurrentTree();
  if (const TKeyNode* node = FindPath(tree->Root(FRootKey), FCurrentPath)) {
    for (const auto& value : node->Values) {
      if (SameText(value.first, AName)) return true;
    }
  }
  return false;
}

std::string TRegistry::ReadString(const std::string& AName) const {
  CheckOpen();
  const auto tree = CurrentTree();
  if (const TKeyNode* node = FindPath(tree->Root(FRootKey), FCurrentPath)) {
    for (const auto& value : node->Values) {
      if (SameText(value.first, AName)) return value.second;
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Printers

std::vector<std::pair<std::string, std::string>> InstalledPrinters() {
  TPrinterState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  EnsureLoaded(state);
  return state.Printers;
}

void RefreshPrinters() {
  TPrinterState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.Tree.reset();
  EnsureLoaded(state);
}

void SetPrintersForTesting(std::vector<std::pair<std::string, std::string>> APrinters) {
  TPrinterState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.Testing = std::move(APrinters);
  state.Tree.reset();
}

void ResetPrinters() {
  TPrinterState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.Testing.reset();
  state.Tree.reset();
}

}  // namespace host
