#include "printer/VeltraneAuto.h"

#include "foundation/VeltraneException.h"

namespace veltrane {

TVeltraneAuto::TVeltraneAuto(host::TComponent* AOwner) : inherited(AOwner) {
  FUseRunningServer = true;
}

TVeltraneAuto::~TVeltraneAuto() = default;

void TVeltraneAuto::Open() {
  if (GetActive()) return;
  CreateOLE();
  if (FOnOpen) FOnOpen(this);
}

void TVeltraneAuto::Close() {
  if (!GetActive()) return;
  ReleaseOLE();
  if (FOnClose) FOnClose(this);
}

void TVeltraneAuto::TestActive() const {
  if (!GetActive()) VeltraneError(verVeltraneAutoActive);
}

void TVeltraneAuto::SetShowServer(bool AShow) {
  if (AShow == FShowServer) return;
  FShowServer = AShow;
  if (GetActive()) DoShowServer(AShow);
}

void TVeltraneAuto::CreateOLE() {
  DoCreateServer();
  if (FShowServer) DoShowServer(true);
}

void TVeltraneAuto::ReleaseOLE() {
  try {
    DoQuitServer();
  } catch (const host::EAbort&) {
  }
}

}  // namespace veltrane
