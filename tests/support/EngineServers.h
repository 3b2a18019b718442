#pragma once

// The embedded word processor behind the two ProgIDs the printers ask for, for tests that run a
// printer against the real engine instead of a recording server: the same one-call
// registration that the command and embedding programs use, with the WordBasic server
// following each printer's dialect unless a test chooses its language.
//
//   veltrane::test::RegisterEngineServers();
//   ... run a TVeltraneWord7 with WordbasicDialect = wbdGerman ...
//   veltrane::test::UnregisterEngineServers();

#include "embedding/VeltraneEmbedding.h"

namespace veltrane::test {

inline void RegisterEngineServers() { RegisterEmbeddedWordProcessor(); }
// Quits the engine servers still running and removes both registrations.
inline void UnregisterEngineServers() { UnregisterEmbeddedWordProcessor(); }

}  // namespace veltrane::test
