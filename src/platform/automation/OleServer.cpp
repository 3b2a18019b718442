#include "platform/automation/OleServer.h"

#include <algorithm>
#include <vector>

namespace automation {

namespace {

struct TServerFactory {
  std::string ProgID;
  TOleServerFactory Factory;
};

// The process's registry, running-object table and trace sink. The table lists the running
// servers in the order they started; it holds plain pointers, each removed when its server
// ends.
struct TServerState {
  std::vector<TServerFactory> Factories;
  std::vector<TOleServer*> Running;
  std::shared_ptr<const TOleTraceSink> TraceSink;
};

TServerState& State() {
  static TServerState state;
  return state;
}

void LeaveRunningTable(TOleServer* AServer) {
  std::vector<TOleServer*>& running = State().Running;
  running.erase(std::remove(running.begin(), running.end(), AServer), running.end());
}

// With tracing on, the line of a creation or attach call and the object wrapped for tracing.
template <class F>
OleVariant Traced(const char* AOperation, const std::string& AProgID, F AStart) {
  const std::shared_ptr<const TOleTraceSink> sink = State().TraceSink;
  if (!sink) return AStart();
  const std::string line =
      std::string(AOperation) + "(" + OleFormatValue(OleVariant(AProgID)) + ")";
  OleVariant result;
  try {
    result = AStart();
  } catch (const EOleError& E) {
    (*sink)(OleTraceErrorLine(line, E));
    throw;
  }
  (*sink)(OleTraceResultLine(line, result));
  return OleVariant(std::make_unique<TOleTrace>(std::move(result), AProgID, sink));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TOleServer

TOleServer::TOleServer() = default;

TOleServer::~TOleServer() { LeaveRunningTable(this); }

OleVariant TOleServer::InvokeMember(const TAutoMember* AMember, const std::string& AName,
                                    TDispatchKind AKind, TOleArgs& AArgs) {
  CheckRunning();
  return inherited::InvokeMember(AMember, AName, AKind, AArgs);
}

void TOleServer::CheckRunning() const {
  if (!FRunning) OleError(oecDisconnected, FProgID);
}

void TOleServer::SetUserControl(bool AValue) {
  if (AValue == FUserControl || (AValue && !FRunning)) return;
  FUserControl = AValue;
  if (AValue) {
    AddRef();
  } else {
    Release();
  }
}

void TOleServer::Quit() {
  if (!FRunning) return;
  // Held until the end, so dropping user control cannot free the object while it works.
  const TDispatchRef self(this);
  FRunning = false;
  LeaveRunningTable(this);
  if (FUserControl) {
    FUserControl = false;
    Release();
  }
  DoTerminate();
}

void TOleServer::OnLastRelease() noexcept {
  if (!FRunning) return;
  FRunning = false;
  LeaveRunningTable(this);
  // No client is left to hear of a failure while the server closes.
  try {
    DoTerminate();
  } catch (const std::exception&) {
  }
}

// ---------------------------------------------------------------------------------------------
// Registry and running-object table

void RegisterOleServer(const std::string& AProgID, TOleServerFactory AFactory) {
  for (TServerFactory& entry : State().Factories) {
    if (host::SameText(entry.ProgID, AProgID)) {
      entry.Factory = std::move(AFactory);
      return;
    }
  }
  State().Factories.push_back({AProgID, std::move(AFactory)});
}

void UnregisterOleServer(const std::string& AProgID) {
  std::vector<TServerFactory>& factories = State().Factories;
  factories.erase(std::remove_if(factories.begin(), factories.end(),
                                 [&AProgID](const TServerFactory& AEntry) {
                                   return host::SameText(AEntry.ProgID, AProgID);
                                 }),
                  factories.end());
}

OleVariant CreateOleObject(const std::string& AProgID) {
  return Traced("CreateOleObject", AProgID, [&AProgID]() {
    TOleServerFactory factory;
    std::string progID;
    for (const TServerFactory& entry : State().Factories) {
      if (host::SameText(entry.ProgID, AProgID)) {
        factory = entry.Factory;
        progID = entry.ProgID;
      }
    }
    if (!factory) OleError(oecClassString, AProgID);
    std::unique_ptr<TOleServer> server;
    try {
      server = factory();
    } catch (const EOleError&) {
      throw;
    } catch (const std::exception& E) {
      throw EOleException(E.what(), OleErrorTexts[oecFail].Code, AProgID);
    }
    if (!server) OleError(oecFail, AProgID);
    server->FProgID = progID;
    State().Running.push_back(server.get());
    return OleVariant(std::move(server));
  });
}

OleVariant GetActiveOleObject(const std::string& AProgID) {
  return Traced("GetActiveOleObject", AProgID, [&AProgID]() {
    for (TOleServer* server : State().Running) {
      if (host::SameText(server->GetProgID(), AProgID)) return OleVariant(server);
    }
    OleError(oecUnavailable, AProgID);
  });
}

int RunningOleServerCount(const std::string& AProgID) {
  const std::vector<TOleServer*>& running = State().Running;
  return static_cast<int>(std::count_if(running.begin(), running.end(), [&](TOleServer* AServer) {
    return AProgID.empty() || host::SameText(AServer->GetProgID(), AProgID);
  }));
}

void ShutdownOleServers() {
  while (!State().Running.empty()) {
    const TDispatchRef server(State().Running.back());
    try {
      static_cast<TOleServer*>(server.Get())->Quit();
    } catch (const std::exception&) {
      // Quit has already taken the server out of the table; the others must still end.
    }
  }
}

void SetOleTraceSink(TOleTraceSink ASink) {
  State().TraceSink = ASink ? std::make_shared<const TOleTraceSink>(std::move(ASink)) : nullptr;
}

}  // namespace automation
