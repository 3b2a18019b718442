#pragma once

// TVeltraneAuto: the base component of everything that drives an automation server. It owns the
// life cycle of the connection (open, close, release), the server's visibility, the choice
// between attaching to a running server and starting a new one, the events that report opening
// and closing, and the check every document operation makes first. How a server is created,
// shown, asked for its state and released is left to the back-ends.

#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/host/Classes.h"

namespace veltrane {

// Connected or not, as the back-end's GetActive reports. Open and Close are no-ops in the state
// they would enter. A back-end's destructor calls Close, so that an open connection is released
// and OnClose fires while the back-end's part of the object still exists.
class VELTRANE_EXPORT TVeltraneAuto : public host::TComponent {
 public:
  explicit TVeltraneAuto(host::TComponent* AOwner);
  ~TVeltraneAuto() override;
  std::string ClassName() const override { return "TVeltraneAuto"; }

  // Connects the server (CreateOLE) and fires OnOpen; nothing when already active. An error of
  // the back-end leaves at once, without OnOpen.
  virtual void Open();
  // Releases the server (ReleaseOLE) and fires OnClose; nothing when not active.
  virtual void Close();

  // True while the back-end holds a connected server (the back-end's connection flag).
  virtual bool GetActive() const = 0;
  // Raises verVeltraneAutoActive when not connected; every document operation calls it first.
  void TestActive() const;

  bool GetShowServer() const { return FShowServer; }
  // Stores the visibility; while connected, a change is sent to the server at once; otherwise it
  // takes effect at the next Open (and only when true).
  void SetShowServer(bool AShow);
  bool GetUseRunningServer() const { return FUseRunningServer; }
  void SetUseRunningServer(bool AValue) { FUseRunningServer = AValue; }
  const host::TNotifyEvent& GetOnOpen() const { return FOnOpen; }
  void SetOnOpen(host::TNotifyEvent AValue) { FOnOpen = std::move(AValue); }
  const host::TNotifyEvent& GetOnClose() const { return FOnClose; }
  void SetOnClose(host::TNotifyEvent AValue) { FOnClose = std::move(AValue); }

 protected:
  // DoCreateServer, then DoShowServer(true) only when ShowServer is true.
  virtual void CreateOLE();
  // Connect: attach to a running server first when UseRunningServer, else start a new one.
  virtual void DoCreateServer() = 0;
  // Drop the connection; afterwards the back-end reports not active.
  virtual void DoQuitServer() = 0;
  // Make the server application visible or hidden.
  virtual void DoShowServer(bool AShow) = 0;
  // DoQuitServer; the host's silent abort raised inside it is swallowed.
  virtual void ReleaseOLE();

 private:
  using inherited = host::TComponent;

  host::TNotifyEvent FOnOpen;
  host::TNotifyEvent FOnClose;
  bool FShowServer = false;
  bool FUseRunningServer = true;
};

}  // namespace veltrane
