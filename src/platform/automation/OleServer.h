#pragma once

// Automation servers and how clients reach them: the registry of server factories by ProgID,
// the running-object table, CreateOleObject and GetActiveOleObject, and TOleServer, the base
// of a server's application object, which carries the server's lifetime.
//
// Lifetime. CreateOleObject starts a server: the factory makes its application object, which
// enters the running-object table under the ProgID, and the caller holds the first reference.
// The table itself holds no reference. A server ends
//   - when its last reference goes while it is not under user control (it was never made
//     visible), or
//   - when it is told to quit (Quit), whether references remain or not.
// Ending removes it from the table and calls DoTerminate, where the server closes its
// documents; after that every call to it raises "The object invoked has disconnected from its
// clients.". A server that is made visible calls SetUserControl(true): the table then holds a
// reference, so the server keeps running without clients until it quits. The objects a server
// hands out (documents, ranges) should hold a reference to the application object, so that the
// server runs while a client holds any of them; objects the server owns itself must not, or
// it can never end.

#include <functional>
#include <memory>
#include <string>

#include "platform/automation/AutoObject.h"
#include "platform/automation/OleTrace.h"

namespace automation {

// The application object of a server. Derive the server's top object from it.
class TOleServer : public TAutoObject {
 public:
  TOleServer();
  ~TOleServer() override;

  // The ProgID it was started under (empty for a server made without CreateOleObject).
  const std::string& GetProgID() const { return FProgID; }
  // True until the server ends.
  bool GetRunning() const { return FRunning; }
  // Raises EOleSysError "The object invoked has disconnected from its clients." once ended;
  // the server's other objects call it before they work.
  void CheckRunning() const;
  bool GetUserControl() const { return FUserControl; }
  // True keeps the server running without client references (the server has been shown to
  // the user); false hands its lifetime back to the clients, which ends it at once when none
  // holds a reference. Call it only while a reference is held (as inside a call).
  void SetUserControl(bool AValue);
  // Ends the server: it leaves the running-object table, DoTerminate runs, and user control is
  // dropped. Does nothing when the server has already ended. Errors of DoTerminate pass on
  // after the server has left the table.
  void Quit();

 protected:
  // Raises the disconnected error once the server has ended; otherwise as TAutoObject.
  OleVariant InvokeMember(const TAutoMember* AMember, const std::string& AName, TDispatchKind AKind,
                          TOleArgs& AArgs) override;
  // The server ends: close the documents and let go of what it holds. Runs once.
  virtual void DoTerminate() {}
  void OnLastRelease() noexcept override;

 private:
  using inherited = TAutoObject;
  friend OleVariant CreateOleObject(const std::string& AProgID);

  std::string FProgID;
  bool FRunning = true;
  bool FUserControl = false;
};

// Makes the application object of a new server instance.
using TOleServerFactory = std::function<std::unique_ptr<TOleServer>()>;

// Registers AFactory under AProgID (compared without regard to ASCII case), replacing an earlier
// factory of that ProgID.
void RegisterOleServer(const std::string& AProgID, TOleServerFactory AFactory);
// Removes the factory of AProgID, if any; running servers of that ProgID go on running.
void UnregisterOleServer(const std::string& AProgID);

// Starts a new server of AProgID and returns its application object. Raises EOleSysError
// "Invalid class string (AProgID)" when no factory is registered; a failing factory raises
// EOleError with its message (other exception classes arrive as EOleException).
OleVariant CreateOleObject(const std::string& AProgID);
// The running server of AProgID that started first. Raises EOleSysError "Operation unavailable
// (AProgID)" when none runs.
OleVariant GetActiveOleObject(const std::string& AProgID);
// The number of running servers of AProgID (every ProgID when empty).
int RunningOleServerCount(const std::string& AProgID = "");
// Tells every running server to quit, newest first, as at the end of the process; errors of
// a server's DoTerminate are dropped so that every server ends.
void ShutdownOleServers();

// While a sink is set, CreateOleObject and GetActiveOleObject write a line for themselves
// (CreateOleObject("Word.Basic") -> Object, or !! and the error) and return their object
// wrapped in a TOleTrace whose path is the ProgID. An empty sink ends tracing for servers
// reached afterwards.
void SetOleTraceSink(TOleTraceSink ASink);

}  // namespace automation
