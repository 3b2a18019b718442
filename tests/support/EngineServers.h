#pragma once

// The embedded word processor behind the two ProgIDs the printers ask for, for tests that run a
// printer against the real engine instead of a recording server. The WordBasic server gets the
// package's own vocabulary, converted here, so the names exist once in the code base.
//
//   veltrane::test::RegisterEngineServers();
//   docengine::SetWordBasicLanguage("german");
//   ... run a TVeltraneWord7 with WordbasicDialect = wbdGerman ...
//   veltrane::test::UnregisterEngineServers();

#include "platform/docengine/WordBasicServer.h"
#include "word/VeltraneWord7Dialects.h"

namespace veltrane::test {

// The engine's language record of one dialect: its lower-case name and the dialect's column of
// the vocabulary. A dialect without names gives a record without commands.
docengine::TWordBasicLanguage EngineLanguage(TVeltraneWordbasicDialect ADialect);

// Registers "Word.Application.8" and "Word.Basic" on the engine; WordBasic answers in every
// dialect that has names, and printer strings may use the connector of any of them.
void RegisterEngineServers();
// Quits the engine servers still running and removes both registrations.
void UnregisterEngineServers();

}  // namespace veltrane::test
