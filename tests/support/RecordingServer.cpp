#include "support/RecordingServer.h"

#include <map>

namespace veltrane::test {

using automation::OleVariant;
using automation::TDispatchKind;
using automation::TOleArgs;

class TRecordingRoot;

struct TRecord {
  std::string Line;
  bool Chained = false;  // a later call was made on the object this call returned
};

struct TScriptEntry {
  std::string Key;
  std::vector<OleVariant> Results;
  std::size_t Next = 0;
};

struct TFailEntry {
  std::string Key;
  std::string Text;
};

// What the controller and every object of its instances share; the objects keep it alive.
struct TRecorderState {
  std::vector<TRecord> Records;
  std::vector<TScriptEntry> Scripts;
  std::vector<TFailEntry> Fails;
  std::map<int, std::string> FailCalls;
  int Cleared = 0;  // records dropped by ClearLog; record numbers held by objects count them
  int Starts = 0;
  std::vector<TRecordingRoot*> Running;  // not owned: removed when an instance ends
};

namespace {

// Where a call lands: the instance, the object's line path and bare path, and the record of
// the call that returned the object (-1 for the root).
struct TCallSite {
  TRecordingRoot* Root;
  const std::string& Path;
  const std::string& BarePath;
  int Creator;
};

OleVariant Record(TRecorderState& AState, const TCallSite& ASite, const std::string& AName,
                  TDispatchKind AKind, TOleArgs& AArgs);

const automation::TAutoMemberTable& EmptyMemberTable() {
  static const automation::TAutoMemberTable table({});
  return table;
}

}  // namespace

// The root object of one instance.
class TRecordingRoot : public automation::TOleServer {
 public:
  explicit TRecordingRoot(std::shared_ptr<TRecorderState> AState) : FState(std::move(AState)) {
    FState->Running.push_back(this);
    ++FState->Starts;
  }
  ~TRecordingRoot() override { LeaveRunning(); }

  const std::shared_ptr<TRecorderState>& GetState() const { return FState; }

 protected:
  // Every name is recorded: the empty table finds none, and the member is not asked for.
  OleVariant InvokeMember(const automation::TAutoMember*, const std::string& AName,
                          TDispatchKind AKind, TOleArgs& AArgs) override {
    CheckRunning();
    static const std::string none;
    return Record(*FState, {this, none, none, -1}, AName, AKind, AArgs);
  }
  const automation::TAutoMemberTable& GetMemberTable() const override { return EmptyMemberTable(); }
  void DoTerminate() override { LeaveRunning(); }

 private:
  using inherited = automation::TOleServer;

  void LeaveRunning() { std::erase(FState->Running, this); }

  std::shared_ptr<TRecorderState> FState;
};

namespace {

// An object some call returned. It holds its instance, as a server's objects do.
class TRecordingObject : public automation::TDispatch {
 public:
  TRecordingObject(TRecordingRoot* ARoot, std::string APath, std::string ABarePath, int ACreator)
      : FRoot(ARoot),
        FPath(std::move(APath)),
        FBarePath(std::move(ABarePath)),
        FCreator(ACreator) {}

  OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) override {
    auto* root = static_cast<TRecordingRoot*>(FRoot.Get());
    root->CheckRunning();
    return Record(*root->GetState(), {root, FPath, FBarePath, FCreator}, AName, AKind, AArgs);
  }

 private:
  automation::TDispatchRef FRoot;
  std::string FPath;
  std::string FBarePath;
  int FCreator;
};

template <class T>
T* FindKey(std::vector<T>& AEntries, const std::string& ALine, const std::string& ABarePath) {
  for (const std::string* key : {&ALine, &ABarePath}) {
    for (auto it = AEntries.rbegin(); it != AEntries.rend(); ++it) {
      if (host::SameText(it->Key, *key)) return &*it;
    }
  }
  return nullptr;
}

OleVariant Record(TRecorderState& AState, const TCallSite& ASite, const std::string& AName,
                  TDispatchKind AKind, TOleArgs& AArgs) {
  // An unscripted object read as a value: nothing a test wrote, so nothing is logged.
  if (AName.empty() && AKind == automation::dkPropertyGet && AArgs.empty()) return OleVariant();

  const int creator = ASite.Creator - AState.Cleared;
  if (ASite.Creator >= 0 && creator >= 0 && creator < static_cast<int>(AState.Records.size())) {
    AState.Records[creator].Chained = true;
  }
  const std::string prefix = ASite.Path.empty() ? "" : ASite.Path + ".";
  const std::string line = prefix + automation::OleFormatCall(AName, AKind, AArgs);
  const std::string barePath = (ASite.BarePath.empty() ? "" : ASite.BarePath + ".") + AName;
  AState.Records.push_back({line});
  const int number = static_cast<int>(AState.Records.size());

  const auto failCall = AState.FailCalls.find(number);
  const TFailEntry* fail = FindKey(AState.Fails, line, barePath);
  if (failCall != AState.FailCalls.end() || fail != nullptr) {
    const std::string text = failCall != AState.FailCalls.end() ? failCall->second : fail->Text;
    throw automation::EOleException(text, automation::OleErrorTexts[automation::oecException].Code,
                                    "RecordingServer");
  }

  if (AKind == automation::dkMethod && host::SameText(AName, "Quit")) {
    ASite.Root->Quit();
    return OleVariant();
  }
  if ((AKind == automation::dkMethod && host::SameText(AName, "AppShow")) ||
      (AKind == automation::dkPropertyPut && host::SameText(AName, "Visible") && !AArgs.empty() &&
       AArgs.back().GetValue().ToBoolean())) {
    ASite.Root->SetUserControl(true);
  }

  if (TScriptEntry* script = FindKey(AState.Scripts, line, barePath)) {
    const OleVariant& result = script->Results[script->Next];
    if (script->Next + 1 < script->Results.size()) ++script->Next;
    return result;
  }
  if (AKind == automation::dkPropertyPut) return OleVariant();
  return OleVariant(
      std::make_unique<TRecordingObject>(ASite.Root, line, barePath, AState.Cleared + number - 1));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TRecordingServer

TRecordingServer::TRecordingServer() : FState(std::make_shared<TRecorderState>()) {}

TRecordingServer::~TRecordingServer() {
  for (const std::string& progID : FProgIDs) automation::UnregisterOleServer(progID);
  while (!FState->Running.empty()) {
    const automation::TDispatchRef root(FState->Running.back());
    static_cast<TRecordingRoot*>(root.Get())->Quit();
  }
  // Scripted objects may hold the state themselves; dropping them breaks that cycle.
  FState->Scripts.clear();
}

void TRecordingServer::Register(const std::string& AProgID) {
  automation::RegisterOleServer(
      AProgID, [state = FState]() { return std::make_unique<TRecordingRoot>(state); });
  FProgIDs.push_back(AProgID);
}

OleVariant TRecordingServer::Start() {
  return OleVariant(std::make_unique<TRecordingRoot>(FState));
}

void TRecordingServer::Script(const std::string& AKey, OleVariant AResult) {
  Script(AKey, std::vector<OleVariant>{std::move(AResult)});
}

void TRecordingServer::Script(const std::string& AKey, std::vector<OleVariant> AResults) {
  if (AResults.empty()) AResults.emplace_back();
  std::erase_if(FState->Scripts,
                [&AKey](const TScriptEntry& AEntry) { return host::SameText(AEntry.Key, AKey); });
  FState->Scripts.push_back({AKey, std::move(AResults)});
}

void TRecordingServer::Fail(const std::string& AKey, const std::string& AText) {
  FState->Fails.push_back({AKey, AText});
}

void TRecordingServer::FailCall(int ANumber, const std::string& AText) {
  FState->FailCalls[ANumber] = AText;
}

std::vector<std::string> TRecordingServer::GetLog() const {
  std::vector<std::string> result;
  for (const TRecord& record : FState->Records) {
    if (!record.Chained) result.push_back(record.Line);
  }
  return result;
}

std::vector<std::string> TRecordingServer::GetFullLog() const {
  std::vector<std::string> result;
  result.reserve(FState->Records.size());
  for (const TRecord& record : FState->Records) result.push_back(record.Line);
  return result;
}

void TRecordingServer::ClearLog() {
  FState->Cleared += static_cast<int>(FState->Records.size());
  FState->Records.clear();
}

int TRecordingServer::GetStartCount() const { return FState->Starts; }

int TRecordingServer::GetRunningCount() const { return static_cast<int>(FState->Running.size()); }

}  // namespace veltrane::test
